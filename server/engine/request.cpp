// Starting a download: reset, argument checks, prefix removal, connection
// (secure for "https://"), and the GET request sent whole over it.
#include <chrono>

#include "common/codepage.h"
#include "server/engine/http_uc.h"
#include "server/engine/operation.h"
#include "server/resources/message_table.h"

namespace wex {
namespace {

constexpr int32_t kConnected = 100;
constexpr int32_t kSendFailed = 99;

constexpr std::chrono::milliseconds kSendTimeout{kSendTimeoutMs};

bool StartsWith(const ustring& text, const char16_t* prefix) {
  return text.compare(0, std::char_traits<char16_t>::length(prefix), prefix) == 0;
}

void AppendPercent(ustring& out, uint8_t byte) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  out += u'%';
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

bool IsControl(char16_t c) { return c < 0x20 || c == 0x7F; }

// Control characters (0x00 to 0x1F and 0x7F) become %XX with upper-case hex,
// so that no request field can end its line or add one; everything else,
// blanks included, goes out unchanged.
ustring WithoutControlCharacters(const ustring& text) {
  ustring out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (IsControl(c)) {
      AppendPercent(out, static_cast<uint8_t>(c));
    } else {
      out += c;
    }
  }
  return out;
}

// The path as it goes out: control characters as above, and a character the
// code page cannot hold as the %XX of its UTF-8 bytes, the form servers take
// for such a path, instead of the code page's "?", which would start a query.
// A path the code page holds goes out as it always did.
ustring PathForRequest(const ustring& path) {
  ustring out;
  out.reserve(path.size());
  for (size_t i = 0; i < path.size();) {
    const char16_t c = path[i];
    const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < path.size() && path[i + 1] >= 0xDC00 &&
                      path[i + 1] <= 0xDFFF;
    const ustring_view character(path.data() + i, pair ? 2 : 1);
    if (IsControl(c)) {
      AppendPercent(out, static_cast<uint8_t>(c));
    } else if (c < 0x80 || AnsiHolds(character)) {
      out.append(character);
    } else {
      for (char byte : ToUtf8(character)) AppendPercent(out, static_cast<uint8_t>(byte));
    }
    i += character.size();
  }
  return out;
}

}  // namespace

int32_t httpUC::RequestFile1(ustring& sServer1, ustring& sFile1) {
  Operation operation(*this);
  // The previous download is discarded first, even by a request refused
  // below; a transfer still running is left whole, since a refused request
  // must not end it. A request that goes on to connect ends it and resets
  // then (ConnectToServer).
  if (LSock <= 0) ResetTransfer();
  if (sServer1.empty()) {
    sFile1 = MessageText(kMessageServerMissing);
    return kMessageServerMissing;
  }
  if (sFile1.empty()) {
    sFile1 = MessageText(kMessageFileMissing);
    return kMessageFileMissing;
  }
  if (StartsWith(sServer1, u"http://")) sServer1.erase(0, 7);
  if (StartsWith(sServer1, u"ftp://")) sServer1.erase(0, 6);
  // Only after the two removals above, and in lower case only like them:
  // "https://" asks for a secure connection to the bare server.
  const bool secure = StartsWith(sServer1, u"https://");
  if (secure) sServer1.erase(0, 8);
  if (sFile1[0] != u'/') sFile1.insert(sFile1.begin(), u'/');

  ustring message;
  int32_t result = 0;
  const uint32_t ourConnection = connectionSerial_ + 1;
  ConnectToServer(sServer1, secure, message, result);
  if (result != kConnected) {
    sFile1 = message;
    return result;
  }
  // OnConnect1's handlers have run: one of them may have closed the connection
  // (CloseDown) or replaced it with another request's. The request goes to
  // this call's own connection or nowhere.
  if (LSock <= 0 || connectionSerial_ != ourConnection) {
    sFile1 = DecimalText(kWSAENOTSOCK);
    return kSendFailed;
  }
  if (!SendRequest(sServer1, sFile1, message)) {
    sFile1 = message;
    return kSendFailed;
  }
  return 0;
}

// GET path HTTP/1.0, then the User-Agent and Host lines and the empty line.
bool httpUC::SendRequest(const ustring& server, const ustring& path, ustring& message) {
  ustring request;
  request.reserve(39 + path.size() + sUserAgent.size() + server.size());
  request += u"GET ";
  request += PathForRequest(path);
  request += u" HTTP/1.0\r\nUser-Agent: ";
  request += WithoutControlCharacters(sUserAgent);
  request += u"\r\nHost: ";
  request += WithoutControlCharacters(server);
  request += u"\r\n\r\n";
  ustring sendMessage;
  if (SendText(request, sendMessage) != 0) {
    message = sendMessage;
    return false;
  }
  return true;
}

// Sends the whole text: what the socket did not take is offered again, and
// while it would block the engine waits until it is writable, 30 s at most in
// all. A failure (the time-out included, as 10060) leaves the error number as
// the message and returns -1.
int32_t httpUC::SendText(const ustring& text, ustring& message) {
  if (text.empty()) return 0;
  const std::string bytes = TextToAnsi(text);
  const auto deadline = std::chrono::steady_clock::now() + kSendTimeout;
  size_t sent = 0;
  while (sent < bytes.size()) {
    int32_t n = platform_->Send(LSock, reinterpret_cast<const uint8_t*>(bytes.data()) + sent,
                                static_cast<int32_t>(bytes.size() - sent), 0);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n == kSocketError) {
      int32_t error = platform_->LastError();
      if (error != kWSAEWOULDBLOCK) {
        message = DecimalText(error);
        return -1;
      }
    }
    // Would block (or took nothing): wait for room, within what is left of the time.
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      message = DecimalText(kWSAETIMEDOUT);
      return -1;
    }
    if (!platform_->WaitWritable(LSock, static_cast<int32_t>(left.count()))) {
      int32_t error = platform_->LastError();
      if (error == 0 || error == kWSAEWOULDBLOCK) error = kWSAETIMEDOUT;
      message = DecimalText(error);
      return -1;
    }
  }
  return 0;
}

}  // namespace wex
