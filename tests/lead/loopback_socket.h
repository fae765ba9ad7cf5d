// TCP sockets on 127.0.0.1 that a test holds open to play a server that misbehaves.
#pragma once

class LoopbackSocket {
 public:
  // Bound to a free port; listening with that backlog unless it is negative.
  explicit LoopbackSocket(int backlog);
  ~LoopbackSocket();
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;

  int port() const { return port_; }
  bool has_pending_connection() const;  // without waiting
  void connect_filler();                // takes a place in the backlog

 private:
  int fd_ = -1;
  int filler_fd_ = -1;
  int port_ = 0;
};
