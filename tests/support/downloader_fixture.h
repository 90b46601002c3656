// What the Downloader tests share: a listener that logs the object's events,
// argument helpers, and a fixture whose hosts run on one fake platform.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/automation/variant.h"
#include "common/automation/variant_arg.h"
#include "server/downloader/downloader.h"
#include "server/downloader/host.h"
#include "tests/support/event_log.h"
#include "tests/support/fake_platform.h"

namespace wex {

// Logs the object's events as the engine tests log the engine's.
class DownloaderLog : public DownloaderEvents, public EventLines {
 public:
  void OnConnect(const ustring& ServerURL) override { Connected(ServerURL); }
  void OnDownloadFinish(int32_t ResponseCode, const ustring& ResponseString) override {
    Finished(ResponseCode, ResponseString);
  }
  void OnDisconnect() override { Disconnected(); }
};

// An argument as a script passes it: a variant and its by-reference view.
struct Arg {
  Variant value;
  VariantArg arg{value};
  explicit Arg(Variant v) : value(std::move(v)) {}
  explicit Arg(const char* utf8) : value(Variant::String(FromUtf8(utf8))) {}
  Arg(const Arg&) = delete;
  operator AutomationArg&() { return arg; }
  std::string Text() const {
    ustring s;
    VariantArg view(const_cast<Variant&>(value));
    return Failed(view.ToString(s)) ? std::string("<not a string>") : ToUtf8(s);
  }
};

class DownloaderTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakePlatform> fake = std::make_shared<FakePlatform>();
  DownloaderLog log;

  DownloaderTest() {
    Host::SetPlatformFactory([this] { return fake; });
  }
  ~DownloaderTest() override { Host::SetPlatformFactory(nullptr); }

  std::shared_ptr<Downloader> Make(DownloaderLog* listener = nullptr) {
    auto d = Downloader::Create();
    d->SetListener(listener ? listener : &log);
    return d;
  }

  static int32_t StartUp(Downloader& d) {
    Arg err("");
    int32_t result = -1;
    EXPECT_EQ(d.StartUp(err, result), kS_OK);
    return result;
  }

  // RequestFile with string arguments; what FilePath holds afterwards lands in `filePath`.
  int32_t Request(Downloader& d, const char* server = "fileserver", const char* path = "/a") {
    Arg s(server);
    Arg f(path);
    int32_t result = -1;
    EXPECT_EQ(d.RequestFile(s, f, result), kS_OK);
    filePath = f.Text();
    return result;
  }

  // The server's side of one transfer: the response arrives in one block,
  // then the server closes.
  void Respond(const std::string& response) {
    fake->ReceiveData(response);
    fake->NotifyRead();
    fake->DeliverAll();
    fake->ReceiveEnd();
    fake->NotifyRead();
    fake->DeliverAll();
  }

  std::string filePath;
};

}  // namespace wex
