#include "tests/wine/support/automation.h"

#include <tlhelp32.h>

#include <cwctype>

#include "tests/wine/support/suite.h"

namespace wex {
namespace {

// Any value as text, through VariantChangeType; "<no text>" when it has none.
std::wstring TextOf(VARIANT* value) {
  Var direct, text;
  if (FAILED(VariantCopyInd(&direct, value)) ||
      FAILED(VariantChangeType(&text, &direct, 0, VT_BSTR)))
    return L"<no text>";
  return text.Text();
}

}  // namespace

HRESULT Invoke(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT*> args,
               VARIANT* result, EXCEPINFO* exception, bool byValue) {
  if (object == nullptr) return E_POINTER;
  std::vector<VARIANT> slots(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    VARIANT* arg = args[args.size() - 1 - i];
    if (byValue) {
      slots[i] = *arg;  // borrowed: the caller keeps ownership
    } else {
      V_VT(&slots[i]) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&slots[i]) = arg;
    }
  }
  DISPID named = DISPID_PROPERTYPUT;
  const bool put = flags == DISPATCH_PROPERTYPUT;
  DISPPARAMS params = {slots.empty() ? nullptr : slots.data(), put ? &named : nullptr,
                       static_cast<UINT>(slots.size()), put ? 1u : 0u};
  UniqueExcepInfo ignored;
  UINT argError = 0;
  HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                              exception ? exception : ignored.get(), &argError);
  // What the call left in a by-value slot is the caller's again.
  if (byValue)
    for (size_t i = 0; i < args.size(); ++i) *args[args.size() - 1 - i] = slots[i];
  return hr;
}

HRESULT IdOfName(IDispatch* object, std::wstring name, DISPID* id) {
  LPOLESTR names[] = {&name[0]};
  return object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
}

std::vector<std::wstring> NamesOf(ITypeInfo* info, MEMBERID id) {
  BSTR found[8] = {};
  UINT count = 0;
  std::vector<std::wstring> names;
  if (FAILED(info->GetNames(id, found, 8, &count))) return names;
  for (UINT n = 0; n < count; ++n) {
    names.emplace_back(found[n], SysStringLen(found[n]));
    SysFreeString(found[n]);
  }
  return names;
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = towlower(c);
  return text;
}

size_t FakeDispatch::Count(DISPID id) const {
  size_t n = 0;
  for (const Event& e : events) n += e.id == id;
  return n;
}

std::vector<DISPID> FakeDispatch::Order() const {
  std::vector<DISPID> ids;
  for (const Event& e : events) ids.push_back(e.id);
  return ids;
}

HRESULT FakeDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* out,
                             EXCEPINFO*, UINT*) {
  if (id == DISPID_VALUE) {
    if ((flags & DISPATCH_PROPERTYGET) == 0 || out == nullptr) return DISP_E_MEMBERNOTFOUND;
    ++asked;
    if (value != nullptr) {
      V_VT(out) = VT_BSTR;
      V_BSTR(out) = SysAllocString(value);
    } else {
      IDispatch* object = next != nullptr ? next : this;
      object->AddRef();
      V_VT(out) = VT_DISPATCH;
      V_DISPATCH(out) = object;
    }
    return S_OK;
  }
  Event e;
  e.id = id;
  if (names) Name(e, *params);
  for (UINT i = 0; i < params->cArgs; ++i) {
    VARIANT* arg = &params->rgvarg[i];
    if (V_VT(arg) != (VT_BYREF | VT_VARIANT)) {
      e.allByReference = false;
    } else if (scribble) {
      VARIANT* value = V_VARIANTREF(arg);
      VariantClear(value);
      V_VT(value) = VT_BSTR;
      V_BSTR(value) = SysAllocString(L"scribbled");
    }
  }
  events.push_back(e);
  if (handler) handler(e);
  return result;
}

// GetNames gives the event's name, then its parameters in declaration order;
// rgvarg holds the arguments last first.
void FakeDispatch::Name(Event& e, const DISPPARAMS& params) {
  const std::vector<std::wstring> found = NamesOf(names.get(), e.id);
  if (found.empty()) return;
  e.name = found[0];
  for (UINT n = 1; n < found.size(); ++n)
    e.args.emplace_back(
        found[n], n <= params.cArgs ? TextOf(&params.rgvarg[params.cArgs - n]) : L"<not passed>");
  if (params.cArgs + 1 > found.size())
    e.args.emplace_back(L"<unnamed>", std::to_wstring(params.cArgs));
}

std::vector<UniqueHandle> ServerProcesses() {
  std::vector<UniqueHandle> found;
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return found;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (lstrcmpiW(entry.szExeFile, L"Wexlo.exe") != 0) continue;
    UniqueHandle process(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (process) found.push_back(std::move(process));
  }
  return found;
}

bool WaitForExit(HANDLE process, DWORD timeoutMs) {
  return PumpMessagesUntil([&] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; },
                           timeoutMs);
}

}  // namespace wex
