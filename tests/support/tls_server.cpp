#include "tests/support/tls_server.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace wex {

std::string TlsServer::TrustFile() { return std::string(WEX_TLS_DIR) + "/ca.pem"; }

TlsServer::TlsServer(const std::string& certificate, Kind kind) {
  const std::string dir = WEX_TLS_DIR;
  std::vector<std::string> args = {
      "python3", std::string(WEX_SOURCE_DIR) + "/tests/support/tls_fixture.py",
      "--root",  std::string(WEX_SOURCE_DIR) + "/tests/wine/site",
      "--cert",  dir + "/" + certificate,
      "--key",   dir + "/server.key"};
  if (kind == Kind::kSilent) args.push_back("--silent");
  if (kind == Kind::kPlain) args.push_back("--plain");
  int out[2];
  if (pipe(out) != 0) return;
  child_ = fork();
  if (child_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  // The fixture prints its port once it listens (or ends, and nothing comes).
  FILE* reader = fdopen(out[0], "r");
  unsigned port = 0;
  if (reader != nullptr) {
    if (std::fscanf(reader, "%u", &port) != 1) port = 0;
    std::fclose(reader);
  } else {
    close(out[0]);
  }
  port_ = static_cast<uint16_t>(port);
}

TlsServer::~TlsServer() {
  if (child_ <= 0) return;
  kill(child_, SIGTERM);
  int status = 0;
  waitpid(child_, &status, 0);
}

}  // namespace wex
