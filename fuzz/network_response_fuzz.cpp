// The engine on the scripted fake platform with whatever a server may send:
// any response, split into any blocks, ended by an empty read, a close
// notification (with the rest left for its drain), a failed receive or a
// close that reports a reset. Whatever arrives, one transfer ends exactly
// once (connect, disconnect, finish) and the finish and the body are what the
// head rules say.
//
// Byte 0: bits 0-1 the ending, bit 2 every notification comes in while
// OnConnect is raised (held, then posted again). Byte 1: how many block sizes
// follow (0-15), each byte one size (1-256), used in turn. The rest is the
// response.
#include <cctype>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "common/codepage.h"
#include "server/engine/http_uc.h"
#include "server/engine/response_head.h"
#include "tests/support/fake_platform.h"

namespace wex {
namespace {

enum Ending { kEmptyRead, kCloseWithDrain, kFailedReceive, kCloseReportingReset };

struct Log : httpUCEvents {
  std::vector<std::string> events;
  std::function<void()> onConnect;
  void OnConnect1(const ustring&) override {
    events.push_back("connect");
    if (onConnect) onConnect();
  }
  void OnFinish1(int32_t code, const ustring& text) override {
    events.push_back("finish " + std::to_string(code) + " " + ToUtf8(text));
  }
  void OnDisconnect1() override { events.push_back("disconnect"); }
};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// What the head rules make of a response that arrived whole: the finish the
// transfer reports when it ends normally, the body, and the promised length.
struct Expected {
  std::string status;  // "code text"
  std::string body;
  int64_t length = kNoContentLength;
};

Expected ReadResponse(const std::string& response) {
  Expected out;
  out.status = "0 ";
  out.body = response;
  size_t blank = response.find("\r\n\r\n");
  // A head is looked for in the first 64 KiB only.
  if (blank == std::string::npos || blank + 4 > 64 * 1024) return out;
  const std::string head = response.substr(0, blank + 4);
  out.body = response.substr(blank + 4);
  // The length as the parser reads it from the whole head at once; the engine
  // gets the same head in pieces.
  ResponseHead whole;
  whole.Add(reinterpret_cast<const uint8_t*>(head.data()), head.size());
  out.length = whole.ContentLength();
  const std::string line = head.substr(0, head.find("\r\n"));
  size_t space = line.find(' ');
  if (space == std::string::npos) return out;
  int code = 0;
  std::string digits = line.substr(space + 1, 3);
  if (digits.size() == 3 && std::isdigit(static_cast<unsigned char>(digits[0])) &&
      std::isdigit(static_cast<unsigned char>(digits[1])) &&
      std::isdigit(static_cast<unsigned char>(digits[2]))) {
    code = std::stoi(digits);
  }
  std::string text = space + 5 < line.size() ? line.substr(space + 5) : "";
  if (code > 300 && code < 304) {
    std::string lower;
    for (char c : head) lower += Lower(c);
    size_t at = lower.find("location:");
    if (at != std::string::npos) text += head.substr(at, head.find("\r\n", at) - at);
  }
  out.status = std::to_string(code) + " " + text;
  const bool noBody = (code >= 100 && code < 200) || code == 204 || code == 304;
  if (noBody) out.length = kNoContentLength;
  return out;
}

// The status text as the engine reports it: its bytes in the ANSI code page.
std::string Utf8Of(const std::string& bytes) { return ToUtf8(AnsiToText(bytes)); }

}  // namespace
}  // namespace wex

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace wex;
  if (size < 2) return 0;
  const Ending ending = static_cast<Ending>(data[0] & 3);
  const bool duringConnect = (data[0] & 4) != 0;
  const size_t sizeCount = data[1] & 15;
  if (size < 2 + sizeCount) return 0;
  std::vector<size_t> sizes;
  for (size_t i = 0; i < sizeCount; ++i) sizes.push_back(size_t{data[2 + i]} + 1);
  if (sizes.empty()) sizes.push_back(8192);
  const std::string response(reinterpret_cast<const char*>(data + 2 + sizeCount),
                             size - 2 - sizeCount);

  std::vector<std::string> blocks;
  for (size_t at = 0, k = 0; at < response.size(); ++k) {
    blocks.push_back(response.substr(at, sizes[k % sizes.size()]));
    at += blocks.back().size();
  }

  auto fake = std::make_shared<FakePlatform>();
  Log log;
  auto engine = httpUC::Create(fake);
  engine->Subscribe(&log);
  ustring error, server = u"fileserver", path = u"/a";
  engine->StartUp1(error);

  // The server's side: blocks through read notifications (for a close with
  // drain the second half is left for the drain), then the ending.
  auto play = [&] {
    const size_t notified = ending == kCloseWithDrain ? blocks.size() / 2 : blocks.size();
    for (size_t i = 0; i < blocks.size(); ++i) {
      fake->ReceiveData(blocks[i]);
      if (i < notified) fake->NotifyRead();
    }
    switch (ending) {
      case kEmptyRead:
        fake->ReceiveEnd();
        fake->NotifyRead();
        break;
      case kCloseWithDrain:
        fake->ReceiveEnd();
        fake->NotifyClose();
        break;
      case kFailedReceive:
        fake->ReceiveError(10054);
        fake->NotifyRead();
        break;
      case kCloseReportingReset:
        fake->ReceiveEnd();
        fake->NotifyClose(0, 10054);
        break;
    }
  };
  if (duringConnect) {
    log.onConnect = [&] {
      play();
      fake->DeliverAll();  // as COM's modal loop would, inside the raise
    };
  }
  if (engine->RequestFile1(server, path) != 0) std::abort();
  if (duringConnect && log.events.size() != 1) std::abort();  // nothing inside the call
  if (!duringConnect) play();
  fake->DeliverAll();

  const Expected expected = ReadResponse(response);
  // A failed receive fails; so does a body short of its promised length,
  // and a close reporting a reset unless the promised body arrived whole.
  const bool promised = expected.length != kNoContentLength;
  const bool complete = promised && static_cast<int64_t>(expected.body.size()) >= expected.length;
  std::string finish = "finish " + Utf8Of(expected.status);
  if (ending == kFailedReceive || (promised && !complete) ||
      (ending == kCloseReportingReset && !complete)) {
    finish = "finish -1 10054";
  }
  const std::vector<std::string> events = {"connect", "disconnect", finish};
  if (log.events != events) std::abort();

  std::string body;
  for (const Chunk& chunk : *engine->CurFileBytes1()) body.append(chunk.begin(), chunk.end());
  if (body != expected.body) std::abort();
  if (engine->CurSize1() != static_cast<int32_t>(body.size())) std::abort();
  engine->CurFileString1();

  engine->Unsubscribe(&log);
  engine->CloseDown();
  return 0;
}
