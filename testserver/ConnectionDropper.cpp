#include "testserver/ConnectionDropper.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <charconv>
#include <filesystem>
#include <string>
#include <system_error>

namespace plexora::testserver {

namespace {

constexpr const char* kOwnDescriptors = "/proc/self/fd";

int portOf(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  return -1;
}

bool hasPorts(int descriptor, int localPort, int peerPort) {
  sockaddr_storage local{};
  sockaddr_storage peer{};
  socklen_t localLength = sizeof local;
  socklen_t peerLength = sizeof peer;
  if (getsockname(descriptor, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) return false;
  if (getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) return false;
  return portOf(local) == localPort && portOf(peer) == peerPort;
}

}  // namespace

bool dropConnection(int serverPort, int peerPort) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(kOwnDescriptors, error)) {
    std::string name = entry.path().filename().string();
    int descriptor = -1;
    auto [end, parseError] = std::from_chars(name.data(), name.data() + name.size(), descriptor);
    if (parseError != std::errc() || end != name.data() + name.size()) continue;
    if (!hasPorts(descriptor, serverPort, peerPort)) continue;
    // Not close(): the library still owns the descriptor and closes it.
    return shutdown(descriptor, SHUT_RDWR) == 0;
  }
  return false;
}

}  // namespace plexora::testserver
