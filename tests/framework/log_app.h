// A test application that logs its callbacks and quits after a number of frames.
#ifndef ZARN_TESTS_FRAMEWORK_LOG_APP_H
#define ZARN_TESTS_FRAMEWORK_LOG_APP_H

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "framework/zarn.h"

namespace zt {

inline std::string Narrow(const uint16_t* t) {
  std::string s;
  while (*t) s.push_back(static_cast<char>(*t++));
  return s;
}

class LogApp : public ClassZarn {
 public:
  LogApp() : ClassZarn(nullptr) {}
  std::vector<std::string> log;
  std::function<void(ZARNCONFIG*)> configure;
  int createResult = 0, pluginResult = 0, initResult = 0, displayInitResult = 0;
  uint32_t quitAfter = 3;
  uint32_t frames = 0;
  std::vector<uint32_t> deltas;
  std::function<void(LogApp*)> eachFrame;

  int OnCreate(ZARNCONFIG* c, ZARNDATA*) override {
    log.push_back("create");
    c->width = 320;
    c->height = 240;
    if (configure) configure(c);
    return createResult;
  }
  int OnPluginLoad(ClassEDisplay*) override {
    log.push_back("plugin");
    return pluginResult;
  }
  int OnInit(int) override {
    log.push_back("init");
    return initResult;
  }
  int OnDisplayInit(int, ClassEDisplay*) override {
    log.push_back("displayinit");
    return displayInitResult;
  }
  int OnNextFrame(ClassEDisplay*, uint32_t elapsed) override {
    frames++;
    deltas.push_back(elapsed);
    if (eachFrame) eachFrame(this);
    if (frames >= quitAfter) Quit();
    return 0;
  }
  void OnExit(int) override { log.push_back("exit"); }
  int OnMinimize() override {
    log.push_back("minimize");
    return 0;
  }
  int OnRestore() override {
    log.push_back("restore");
    return 0;
  }
  void OnButtonDown(uint32_t code, EBUTTONLIST*) override { log.push_back("down" + std::to_string(code)); }
  void OnButtonUp(uint32_t code, EBUTTONLIST*) override { log.push_back("up" + std::to_string(code)); }
  ClassEVTimer& VTimer() { return vtimer_; }
  ClassEInput& Input() { return input_; }
  void SetState(uint8_t s) { state_ = s; }
};

}  // namespace zt

#endif
