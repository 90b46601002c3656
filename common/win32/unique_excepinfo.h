// An EXCEPINFO that an Invoke may fill, whose strings are freed exactly once.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <oleauto.h>

namespace wex {

class UniqueExcepInfo {
 public:
  UniqueExcepInfo() : info_() {}
  UniqueExcepInfo(const UniqueExcepInfo&) = delete;
  UniqueExcepInfo& operator=(const UniqueExcepInfo&) = delete;
  ~UniqueExcepInfo() { reset(); }

  EXCEPINFO* get() { return &info_; }
  // For out parameters: frees what an earlier call left and hands out the record.
  EXCEPINFO* put() {
    reset();
    return &info_;
  }
  void reset() {
    SysFreeString(info_.bstrSource);
    SysFreeString(info_.bstrDescription);
    SysFreeString(info_.bstrHelpFile);
    info_ = EXCEPINFO();
  }

 private:
  EXCEPINFO info_;
};

}  // namespace wex
