// The members that run a download and read it back: RequestFile, CurSize,
// CurFileAsString.
#include <new>

#include "server/downloader/downloader.h"
#include "server/downloader/host.h"
#include "server/downloader/member_errors.h"

namespace wex {

hresult Downloader::CurSize(int32_t& result) {
  auto engine = Engine();
  if (!engine) return kObjectNotSet;
  result = engine->CurSize1();
  return kS_OK;
}

// While a transfer runs the body is incomplete: the engine is not asked.
hresult Downloader::CurFileAsString(ustring& result) {
  if (busy_) {
    result.clear();
    return kS_OK;
  }
  auto engine = Engine();
  if (!engine) return kObjectNotSet;
  try {
    result = engine->CurFileString1();
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
  return kS_OK;
}

// Arguments that do not convert are the caller's error: no request, no event,
// busy flag unchanged. On a refusal FilePath receives the message text; the
// server text as the engine changed it never leaves this member.
hresult Downloader::RequestFile(AutomationArg& Server, AutomationArg& FilePath, int32_t& result) {
  ustring s;
  ustring f;
  hresult hr = Server.ToString(s);
  if (Failed(hr)) return hr;
  hr = FilePath.ToString(f);
  if (Failed(hr)) return hr;

  auto self = weak_from_this().lock();  // OnConnect is raised inside
  std::shared_ptr<Host> host = host_;
  auto engine = Engine();
  if (!engine) return kObjectNotSet;

  result = engine->RequestFile1(s, f);
  if (result != 0) return FilePath.SetString(f);
  busy_ = true;
  if (host) host->NoteTransferStarted();
  return kS_OK;
}

}  // namespace wex
