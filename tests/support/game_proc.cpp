#include "tests/support/game_proc.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "tests/support/harness.h"
#include "tests/support/play_rig.h"

namespace zt {

std::string GameExe() {
  const std::string exe = std::string(ZARN_BINARY_DIR) + "/zarn";
  return access(exe.c_str(), X_OK) == 0 ? exe : std::string();
}

pid_t SpawnGame(const std::string& dir, const std::vector<std::string>& env, const std::string& errPath) {
  const std::string exe = GameExe();
  if (exe.empty()) return -1;
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (chdir(dir.c_str()) != 0) _exit(100);
  if (!errPath.empty() && !std::freopen(errPath.c_str(), "w", stderr)) _exit(102);
  setenv("ZARN_BACKEND", "headless", 1);
  unsetenv("ZARN_CLOCK");
  unsetenv("ZARN_SAVE_STOP");
  setenv("ZARN_FAIL", "dsp", 1);
  for (const std::string& e : env) {
    const size_t eq = e.find('=');
    if (eq == std::string::npos) continue;
    setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
  }
  execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
#if defined(ZARN_EMULATOR)
  // Under qemu-user without a binfmt handler the kernel cannot start an ARM
  // program by itself: start it through the emulator, as ctest does.
  execl(ZARN_EMULATOR, ZARN_EMULATOR, exe.c_str(), static_cast<char*>(nullptr));
#endif
  _exit(101);
}

void WaitAll(std::vector<Child>& kids, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  size_t left = 0;
  for (const Child& k : kids) left += k.pid >= 0 && k.status < 0;
  while (left && std::chrono::steady_clock::now() < end) {
    for (Child& k : kids) {
      if (k.pid < 0 || k.status >= 0) continue;
      int st = 0;
      if (waitpid(k.pid, &st, WNOHANG) == k.pid) {
        k.status = WIFEXITED(st) ? WEXITSTATUS(st) : 200;
        left--;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  for (Child& k : kids) {
    if (k.pid < 0 || k.status >= 0) continue;
    kill(k.pid, SIGKILL);
    waitpid(k.pid, nullptr, 0);
    k.status = 300;
  }
}

std::vector<TraceLine> ReadTrace(const std::string& path) {
  std::vector<TraceLine> out;
  for (const std::string& line : Split(ReadText(path), '\n')) {
    if (line.empty()) continue;
    TraceLine fields;
    const size_t sp = line.find(' ');
    fields["kind"] = line.substr(0, sp);
    if (fields["kind"] == "box") {
      fields["text"] = sp == std::string::npos ? "" : line.substr(sp + 1);
    } else if (sp != std::string::npos) {
      for (const std::string& word : Split(line.substr(sp + 1), ' ')) {
        const size_t eq = word.find('=');
        if (eq != std::string::npos) fields[word.substr(0, eq)] = word.substr(eq + 1);
      }
    }
    out.push_back(fields);
  }
  return out;
}

}  // namespace zt
