// The scriptable Downloader object, portable: the twelve members of the
// _Downloader interface and the three events of __Downloader, over the one
// engine of the process (see host.h). The COM class in com/ wraps it; natively
// tests call it directly.
//
// Arguments arrive as AutomationArg (the caller's VARIANT under COM, the
// portable variant natively). Members that may pass an unexpected failure to
// the caller as an automation error return an hresult and hand their result
// through an out parameter; the others always succeed and skip failing steps.
//
// The object may be released from inside one of its own event handlers: it is
// always owned by a shared_ptr and holds itself alive across every raise.
#pragma once

#include <cstdint>
#include <memory>

#include "common/automation/automation_arg.h"
#include "common/ustring.h"
#include "server/engine/http_uc.h"

namespace wex {

class Host;

// The events as the object raises them. Each argument is the object's own
// copy for this one raise; what a handler does with it goes nowhere.
class DownloaderEvents {
 public:
  virtual void OnConnect(const ustring& ServerURL) = 0;
  virtual void OnDownloadFinish(int32_t ResponseCode, const ustring& ResponseString) = 0;
  virtual void OnDisconnect() = 0;

 protected:
  ~DownloaderEvents() = default;
};

class Downloader final : private httpUCEvents, public std::enable_shared_from_this<Downloader> {
 public:
  // Construction: busy flag False, the process's host created or reused, the
  // engine's events subscribed, the feed formatter's fragments set.
  static std::shared_ptr<Downloader> Create();
  // Destruction: unsubscribe, CloseDown, unload the host, drop it.
  ~Downloader();
  Downloader(const Downloader&) = delete;
  Downloader& operator=(const Downloader&) = delete;

  // The one listener of the object's events (the COM class fans them out to
  // its connection point); null to stop listening.
  void SetListener(DownloaderEvents* listener);

  bool Busy() const;
  void Port(const AutomationArg& PortNumber);
  hresult Online(bool& result);
  hresult ProxyConnection(bool& result);
  hresult CurSize(int32_t& result);
  hresult CurFileAsString(ustring& result);
  hresult StartUp(AutomationArg& ErrString, int32_t& result);
  hresult RequestFile(AutomationArg& Server, AutomationArg& FilePath, int32_t& result);
  int32_t WriteTextFile(const AutomationArg& sPath, const AutomationArg& IfDelete);
  int32_t WriteBinaryFile(const AutomationArg& sPath, const AutomationArg& IfDelete);
  ustring FormatCurRSS(const AutomationArg& NumberItems, const AutomationArg& IfDescription);
  hresult ShutDown();

 private:
  Downloader();

  // The engine while the host is loaded; null after another object of the
  // process was destroyed and unloaded it.
  std::shared_ptr<httpUC> Engine() const;

  // WriteTextFile and WriteBinaryFile, given the engine member to call.
  int32_t Save(int32_t (httpUC::*save)(const ustring&, bool), const AutomationArg& sPath,
               const AutomationArg& IfDelete);

  // Relays of the engine's events.
  void OnConnect1(const ustring& sURL) override;
  void OnFinish1(int32_t LErrCode, const ustring& sErrStr) override;
  void OnDisconnect1() override;

  bool busy_ = false;
  std::shared_ptr<Host> host_;
  std::weak_ptr<httpUC> subscribedTo_;
  DownloaderEvents* listener_ = nullptr;
};

}  // namespace wex
