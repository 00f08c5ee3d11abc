// Test support: run the real frame loop headless with the fake clock, a button
// script and a frame limit, and observe what the program did.
#ifndef ZARN_TESTS_SUPPORT_HARNESS_H
#define ZARN_TESTS_SUPPORT_HARNESS_H

#include <cstdint>
#include <string>

#include "standin/standin.h"

namespace zt {

// Headless, fake clock, 320x240 5:6:5, the menu program only recorded.
standin::Config HeadlessConfig();

// Configures the stand-in and maps the devices as the program entry does; unmaps
// on destruction.
class Devices {
 public:
  explicit Devices(const standin::Config& config = HeadlessConfig());
  ~Devices();
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// A fresh empty folder for one test, below the build's test folder.
std::string TempDir(const std::string& name);

// The folder that holds the game's res/ (empty when the packs are not there).
std::string ResParent();
// Makes dir/res point at the game's packs; false when there are none.
bool LinkRes(const std::string& dir);
// A fresh folder for one run of the game: its packs linked in and no settings
// file, so runs never see what an earlier run saved. Empty without packs.
std::string GameDir(const std::string& name);
// Works in another folder for its lifetime.
class InFolder {
 public:
  explicit InFolder(const std::string& dir);
  ~InFolder();
  bool ok() const { return ok_; }

 private:
  std::string old_;
  bool ok_ = false;
};

// Runs a command with the shell; returns its exit status (-1 when it could not run).
int Run(const std::string& command);
// Pixels that differ between two pictures (ImageMagick's compare); -1 when
// they could not be compared.
long DifferentPixels(const std::string& a, const std::string& b);
bool HaveCompare();
// True when a program is on the PATH.
bool HaveTool(const std::string& name);

}  // namespace zt

#endif
