#include "tests/support/harness.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>

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

std::string ResParent() {
  const std::string dir = ZARN_RES_PARENT;
  struct stat st;
  return stat((dir + "/res/gfx.epk").c_str(), &st) == 0 ? dir : std::string();
}

bool LinkRes(const std::string& dir) {
  const std::string parent = ResParent();
  if (parent.empty()) return false;
  return Run("ln -sfn '" + parent + "/res' '" + dir + "/res'") == 0;
}

std::string GameDir(const std::string& name) {
  const std::string dir = TempDir(name);
  return LinkRes(dir) ? dir : std::string();
}

InFolder::InFolder(const std::string& dir) {
  char buf[4096];
  if (getcwd(buf, sizeof buf)) old_ = buf;
  ok_ = !old_.empty() && chdir(dir.c_str()) == 0;
}

InFolder::~InFolder() {
  if (ok_ && chdir(old_.c_str()) != 0) std::abort();
}

bool HaveCompare() { return access("/usr/bin/compare", X_OK) == 0; }

long DifferentPixels(const std::string& a, const std::string& b) {
  const std::string out = a + ".ae";
  const int rc = Run("/usr/bin/compare -metric AE '" + a + "' '" + b + "' null: 2> '" + out + "'");
  if (rc != 0 && rc != 1) return -1;
  std::ifstream in(out);
  double v = -1;
  if (!(in >> v)) return -1;
  return static_cast<long>(v);
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
