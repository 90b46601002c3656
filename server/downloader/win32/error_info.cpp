#include "server/downloader/win32/error_info.h"

#include <windows.h>

#include <oleauto.h>

#include <cwchar>
#include <string>

#include "common/win32/com_ptr.h"
#include "common/win32/system_message.h"
#include "wexlo.h"

namespace wex {
namespace {

// Codes of the script engines' own range (FACILITY_CONTROL, 0x800A....),
// such as 0x800A005B "Object variable or With block variable not set": the
// engine shows its own text, in the user's language, when the description
// is left empty.
bool ScriptEngineKnows(HRESULT hr) {
  return (static_cast<unsigned long>(hr) & 0xFFFF0000ul) == 0x800A0000ul;
}

std::wstring DescriptionOf(HRESULT hr) {
  if (ScriptEngineKnows(hr)) return std::wstring();
  std::wstring description = SystemMessageText(hr);
  if (description.empty()) {
    wchar_t buffer[64];
    swprintf(buffer, 64, L"Unexpected failure (0x%08lX).", static_cast<unsigned long>(hr));
    description = buffer;
  }
  return description;
}

}  // namespace

HRESULT ReportAutomationError(HRESULT hr) {
  if (SUCCEEDED(hr)) {
    SetErrorInfo(0, nullptr);
    return hr;
  }
  ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.put()))) return hr;
  std::wstring description = DescriptionOf(hr);
  create->SetGUID(IID__Downloader);
  create->SetSource(const_cast<LPOLESTR>(L"Wexlo.Downloader"));
  if (!description.empty()) create->SetDescription(&description[0]);
  ComPtr<IErrorInfo> info;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.putVoid())))
    SetErrorInfo(0, info.get());
  return hr;
}

}  // namespace wex
