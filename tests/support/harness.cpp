#include "tests/support/harness.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>

#include "framework/emod_device.h"

namespace zt {

standin::Config HeadlessConfig() {
  standin::Config c = standin::DefaultConfig();
  c.backend = "headless";
  c.fakeClock = true;
  c.menuExits = false;
  return c;
}

Devices::Devices(const standin::Config& config) {
  standin::Configure(config);
  ok_ = HandleDevicePtr(false) != nullptr;
}

Devices::~Devices() { HandleDevicePtr(true); }

std::string TempDir(const std::string& name) {
  const char* base = std::getenv("ZARN_TEST_TMP");
  std::string root = base && *base ? base : "/tmp/zarn-tests";
  Run("mkdir -p '" + root + "'");
  std::string dir = root + "/" + name;
  Run("rm -rf '" + dir + "' && mkdir -p '" + dir + "'");
  return dir;
}

int Run(const std::string& command) {
  int r = std::system(command.c_str());
  if (r == -1) return -1;
  return WIFEXITED(r) ? WEXITSTATUS(r) : -1;
}

bool HaveTool(const std::string& name) {
  return Run("command -v '" + name + "' >/dev/null 2>&1") == 0;
}

}  // namespace zt
