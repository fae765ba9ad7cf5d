#include "loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

LoopbackSocket::LoopbackSocket(int backlog) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback(0);
  socklen_t length = sizeof address;
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      (backlog >= 0 && listen(fd_, backlog) != 0)) {
    throw std::runtime_error("cannot open a loopback socket");
  }
  port_ = ntohs(address.sin_port);
}

LoopbackSocket::~LoopbackSocket() {
  if (filler_fd_ >= 0) close(filler_fd_);
  if (fd_ >= 0) close(fd_);
}

bool LoopbackSocket::has_pending_connection() const {
  pollfd pending{fd_, POLLIN, 0};
  return poll(&pending, 1, 0) == 1;
}

void LoopbackSocket::connect_filler() {
  filler_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = loopback(port_);
  if (filler_fd_ < 0 || connect(filler_fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    throw std::runtime_error("cannot connect the filler");
  }
}
