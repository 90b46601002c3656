// Speed of the native engine: a 64 MiB download from a local server thread
// through the POSIX platform, and CurFileString1 on that body.
//
//   build/native/bench/engine_bench                  Google Benchmark runs
//   build/native/bench/engine_bench --download-once PORT PATH
//       one download from 127.0.0.1:PORT, then prints seconds, bytes and the
//       peak memory of the process (bench/engine_download.sh compares it with
//       curl on the same file) and how much of its memory the kernel backs
//       with transparent huge pages (0 where it grants none).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "server/engine/http_uc.h"
#include "server/engine/posix/posix_platform.h"

namespace wex {
namespace {

constexpr size_t kBodyBytes = 64u << 20;

bool Online(uint32_t& flags) {
  flags = 0x02;
  return true;
}

// Text with a line feed every 64 bytes, so that CurFileString1 has work.
std::string MakeBody(size_t count) {
  std::string body(count, 'a');
  for (size_t i = 0; i < count; ++i)
    body[i] = (i % 64 == 63) ? '\n' : static_cast<char>('a' + i % 26);
  return body;
}

// Serves one fixed response to every connection until destroyed.
class LocalServer {
 public:
  explicit LocalServer(std::string response) : response_(std::move(response)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
    listen(listener_, 8);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~LocalServer() {
    stopping_ = true;
    shutdown(listener_, SHUT_RDWR);  // wakes accept()
    thread_.join();
    close(listener_);
  }
  uint16_t Port() const { return port_; }

 private:
  void Run() {
    while (!stopping_) {
      int connection = accept(listener_, nullptr, nullptr);
      if (connection < 0) continue;
      char request[4096];
      std::string head;
      while (head.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = recv(connection, request, sizeof request, 0);
        if (n <= 0) break;
        head.append(request, static_cast<size_t>(n));
      }
      size_t done = 0;
      while (done < response_.size()) {
        ssize_t n =
            send(connection, response_.data() + done, response_.size() - done, MSG_NOSIGNAL);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
      close(connection);
    }
  }

  std::string response_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

struct FinishFlag : httpUCEvents {
  void OnConnect1(const ustring&) override {}
  void OnFinish1(int32_t code, const ustring&) override {
    finished = true;
    status = code;
  }
  void OnDisconnect1() override {}
  bool finished = false;
  int32_t status = 0;
};

// One download through a fresh engine; the engine is returned holding the body.
std::shared_ptr<httpUC> Download(uint16_t port, const char* path, int32_t& status) {
  auto platform = std::make_shared<PosixPlatform>(&Online);
  auto engine = httpUC::Create(platform);
  FinishFlag flag;
  engine->Subscribe(&flag);
  ustring error;
  engine->StartUp1(error);
  engine->Port(port);
  ustring server = u"127.0.0.1", file = FromUtf8(path);
  if (engine->RequestFile1(server, file) == 0) {
    while (!flag.finished) platform->Pump(1000);
  }
  engine->Unsubscribe(&flag);
  status = flag.status;
  return engine;
}

void BM_EngineDownload64MiB(benchmark::State& state) {
  LocalServer server("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + MakeBody(kBodyBytes));
  for (auto _ : state) {
    int32_t status = 0;
    auto engine = Download(server.Port(), "/body.txt", status);
    if (status != 200 || engine->CurSize1() != static_cast<int32_t>(kBodyBytes)) {
      state.SkipWithError("download failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBodyBytes);
}
BENCHMARK(BM_EngineDownload64MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CurFileString1(benchmark::State& state) {
  LocalServer server("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + MakeBody(kBodyBytes));
  int32_t status = 0;
  auto engine = Download(server.Port(), "/body.txt", status);
  for (auto _ : state) {
    ustring text = engine->CurFileString1();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * engine->CurSize1());
}
BENCHMARK(BM_CurFileString1)->Unit(benchmark::kMillisecond)->UseRealTime();

// AnonHugePages of this process, in KiB, while the body is still held.
long HugePagesKib() {
  FILE* file = std::fopen("/proc/self/smaps_rollup", "r");
  if (file == nullptr) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, file) != nullptr)
    if (std::sscanf(line, "AnonHugePages: %ld kB", &kib) == 1) break;
  std::fclose(file);
  return kib;
}

int DownloadOnce(const char* port, const char* path) {
  auto start = std::chrono::steady_clock::now();
  int32_t status = 0;
  auto engine = Download(static_cast<uint16_t>(std::atoi(port)), path, status);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("status %d bytes %d seconds %.4f peak_kib %ld blocks %zu huge_kib %ld\n", status,
              engine->CurSize1(), seconds, usage.ru_maxrss, engine->CurFileBytes1()->size(),
              HugePagesKib());
  return status == 200 ? 0 : 1;
}

}  // namespace
}  // namespace wex

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--download-once") == 0) {
    return wex::DownloadOnce(argv[2], argv[3]);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
