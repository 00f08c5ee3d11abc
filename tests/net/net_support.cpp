#include "tests/net/net_support.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/harness.h"

extern char** environ;

namespace nt {

uint16_t TestPort(uint16_t offset) { return zt::TestPort(offset); }

void Recorder::OnNetMessage(uint8_t connection, int32_t peer, int32_t event, int32_t length,
                            uint8_t* data) {
  lastConnection = connection;
  Event e{peer, event, {}};
  if (data && length > 0) e.data.assign(data, data + length);
  events.push_back(e);
  if (react) react(*this, events.back());
}

size_t Recorder::Count(int32_t event, int32_t peer) const {
  size_t n = 0;
  for (const Event& e : events) n += e.event == event && (peer < 0 || e.peer == peer);
  return n;
}

Bytes Recorder::DataOf(int32_t peer) const {
  Bytes out;
  for (const Event& e : events)
    if (e.event == ENET_DATA && e.peer == peer) out.insert(out.end(), e.data.begin(), e.data.end());
  return out;
}

namespace {

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

}  // namespace

int LoopbackConnect(uint16_t port, int receiveBuffer) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return -1;
  setsockopt(s, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  const sockaddr_in a = Loopback(port);
  if (connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
    close(s);
    return -1;
  }
  return s;
}

int Listen(uint16_t port) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return -1;
  const int one = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  const sockaddr_in a = Loopback(port);
  if (bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || listen(s, 16) != 0) {
    close(s);
    return -1;
  }
  return s;
}

Bytes ReadAtLeast(int socket, size_t count) {
  Bytes out;
  const uint32_t start = NowMs();
  while (out.size() < count && NowMs() - start < 10000) {
    pollfd p{socket, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    uint8_t buffer[4096];
    const ssize_t n = recv(socket, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    out.insert(out.end(), buffer, buffer + n);
  }
  return out;
}

int Spawn(const std::string& command) {
  // posix_spawn as system() does: a plain fork of an emulated process (the ARM
  // build under qemu-user) does not survive.
  pid_t pid = -1;
  // exec: the pid is the command itself, so a kill reaches it.
  std::string c = "exec " + command;
  char sh[] = "sh", dash[] = "-c";
  char* argv[] = {sh, dash, &c[0], nullptr};
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) return -1;
  return pid;
}

Child::Child(const std::string& arguments)
    : pid_(Spawn(std::string(zt::kPython) + " " + arguments)) {}

Child::~Child() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
}

int Child::Wait(int ms) {
  const int status = pid_ > 0 ? Reap(pid_, ms) : -1;
  pid_ = -1;
  return status;
}

bool HavePython() { return zt::HaveExecutable(zt::kPython); }

int Reap(int pid, int ms) {
  const uint32_t start = NowMs();
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (r < 0) return -1;
    if (static_cast<int32_t>(NowMs() - start) > ms) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    usleep(5000);
  }
}

uint32_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(ts.tv_sec) * 1000u + static_cast<uint32_t>(ts.tv_nsec / 1000000);
}

}  // namespace nt
