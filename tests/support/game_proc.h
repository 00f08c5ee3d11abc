// Test support: the real program as a child process, headless, in its own
// folder, with the environment a test gives it.
#ifndef ZARN_TESTS_SUPPORT_GAME_PROC_H
#define ZARN_TESTS_SUPPORT_GAME_PROC_H

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace zt {

// The program built beside the tests; empty when it is not there.
std::string GameExe();

// Starts the program in dir with ZARN_BACKEND=headless, the real clock, no
// sound device and the given NAME=VALUE settings on top; its standard error
// goes to errPath when one is given. On ARM builds a program the kernel cannot
// start is run through qemu-arm. -1 on failure.
pid_t SpawnGame(const std::string& dir, const std::vector<std::string>& env, const std::string& errPath = "");

struct Child {
  pid_t pid = -1;
  // Exit status; 200 killed by a signal, 300 killed at the deadline, -1 running.
  int status = -1;
};

// Waits for every child up to the deadline and kills the rest.
void WaitAll(std::vector<Child>& kids, int seconds);

// One line of a ZARN_TRACE file as its key=value fields; "kind" holds the
// first word (turn, end, box) and a box line's "text" the rest.
using TraceLine = std::map<std::string, std::string>;
std::vector<TraceLine> ReadTrace(const std::string& path);

}  // namespace zt

#endif
