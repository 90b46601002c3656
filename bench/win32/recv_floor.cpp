// The floor of any Winsock client under Wine: one GET, then blocking
// receives of BLOCK bytes (8192 unless given) until the server closes.
// Prints "floor_BLOCK SECONDS BYTES".
//   recv_floor.exe PORT PATH [BLOCK]
#include <winsock2.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return 1;
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(std::atoi(argv[1])));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  auto start = std::chrono::steady_clock::now();
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 1;
  std::string request = std::string("GET ") + argv[2] + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  send(s, request.data(), static_cast<int>(request.size()), 0);
  const int block = argc > 3 ? std::atoi(argv[3]) : 8192;
  if (block < 1) return 2;
  std::vector<char> buffer(static_cast<size_t>(block));
  long long total = 0;
  for (;;) {
    int n = recv(s, buffer.data(), block, 0);
    if (n <= 0) break;
    total += n;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("floor_%d %.4f %lld\n", block, seconds, total);
  closesocket(s);
  WSACleanup();
  return 0;
}
