// The members about the socket library and connectivity: Busy, Port, Online,
// ProxyConnection, StartUp, ShutDown.
#include "server/downloader/downloader.h"
#include "server/downloader/member_errors.h"

namespace wex {

bool Downloader::Busy() const { return busy_; }

// A value that is not numeric changes nothing; a numeric one that does not
// fit a 32-bit integer gives port 0.
void Downloader::Port(const AutomationArg& PortNumber) {
  if (!PortNumber.IsNumeric()) return;
  int32_t value = 0;
  if (Failed(PortNumber.ToInt32(value))) value = 0;
  if (auto engine = Engine()) engine->Port(value);
}

hresult Downloader::Online(bool& result) {
  auto engine = Engine();
  if (!engine) return kObjectNotSet;
  result = engine->IsOnline();
  return kS_OK;
}

hresult Downloader::ProxyConnection(bool& result) {
  auto engine = Engine();
  if (!engine) return kObjectNotSet;
  result = engine->IsConnectionProxy();
  return kS_OK;
}

// ErrString always receives the engine's text: empty on success.
hresult Downloader::StartUp(AutomationArg& ErrString, int32_t& result) {
  auto engine = Engine();
  if (!engine) return kObjectNotSet;
  ustring s;
  result = engine->StartUp1(s);
  return ErrString.SetString(s);
}

// Closing an open connection raises OnDisconnect before this returns; the
// busy flag is left as it is.
hresult Downloader::ShutDown() {
  auto self = weak_from_this().lock();
  auto engine = Engine();
  if (!engine) return kObjectNotSet;
  engine->CloseDown();
  return kS_OK;
}

}  // namespace wex
