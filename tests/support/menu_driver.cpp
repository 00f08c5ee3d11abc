#include "tests/support/menu_driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>

#include "game/dialog.h"
#include "game/graphics.h"
#include "tests/support/harness.h"

namespace zt {

std::string Driver::Hook(ClassMain& app, uint32_t frame) {
  if (held_) {
    if (frame < pressed_ + 2) return "";
    Set(frame, held_, false);
    held_ = 0;
    idle_ = frame + 2;
  }
  if (frame < idle_) return "";
  if (!queue_.empty()) {
    Press(frame, queue_.front());
    queue_.erase(queue_.begin());
    return "";
  }
  if (playing_) {
    if (Playing(app)) {
      PlayTap(app, frame);
      return "";
    }
    playing_ = false;
  }
  if (next_ >= steps_.size()) return "";
  const Step& s = steps_[next_];
  if (!s.when(app)) return "";
  if (s.plan) {
    queue_ = s.plan(app);
    if (queue_.empty()) next_++;
    return "";
  }
  next_++;
  if (s.act) {
    s.act(app);
    return "";
  }
  if (s.play) {
    playing_ = true;
    sweep_ = s.sweep;
    drops_ = 0;
    return "";
  }
  if (!s.shot.empty()) {
    shots.push_back(s.shot);
    shotFrames.push_back(frame);
    return s.shot;
  }
  queue_ = s.taps;
  return "";
}

std::string Driver::Script() const {
  std::ostringstream o;
  for (size_t i = 0; i < script_.size(); i++)
    o << (i ? "," : "") << script_[i].frame << ":" << (script_[i].pressed ? "+" : "-") << script_[i].code;
  return o.str();
}

void Driver::Set(uint32_t frame, uint32_t code, bool down) {
  standin::SetButton(code, down);
  script_.push_back({frame, code, down});
}

void Driver::Press(uint32_t frame, uint32_t code) {
  Set(frame, code, true);
  held_ = code;
  pressed_ = frame;
}

// A plain player: in its own phase it aims a few steps by a pattern of the
// drop count (or the sweep's next position) and drops.
void Driver::PlayTap(ClassMain& app, uint32_t frame) {
  const ClassLevel& L = app.Level();
  if (L.turnPhase != 0 || L.fadeTimer != 0) return;
  const uint32_t sweep = drops_ % 32;  // 0 to 16 and back down to 1
  const uint32_t target = sweep_ ? (sweep <= 16 ? sweep : 32 - sweep) : (drops_ * 7 + (drops_ / 5) * 3) % 17;
  if (L.dropPos < target) {
    Press(frame, RIGHT);
  } else if (L.dropPos > target) {
    Press(frame, LEFT);
  } else {
    Press(frame, B);
    drops_++;
  }
}

bool Menu(ClassMain& app, uint8_t menu) {
  const ClassTitle& t = app.Title();
  return app.ModuleId() == MODULE_TITLE && t.state == TITLE_MENU && t.menu == menu && app.Console().state == DLG_IDLE;
}
std::function<bool(ClassMain&)> AtItem(uint8_t menu, uint8_t item) {
  return [menu, item](ClassMain& app) { return Menu(app, menu) && app.Title().cursor == item; };
}
std::function<bool(ClassMain&)> Dialog(uint8_t state, uint32_t openMs) {
  return [state, openMs](ClassMain& app) {
    return app.Console().state == state && (state != DLG_INPUT || app.Console().timer >= openMs);
  };
}

std::vector<Step> Choose(uint8_t menu, uint8_t from, uint8_t to) {
  std::vector<Step> s;
  s.push_back({AtItem(menu, from), std::vector<uint32_t>(to >= from ? to - from : from - to, to >= from ? DOWN : UP), ""});
  s.push_back({AtItem(menu, to), {B}, ""});
  return s;
}

void Add(std::vector<Step>& to, const std::vector<Step>& more) { to.insert(to.end(), more.begin(), more.end()); }

Step Shot(std::function<bool(ClassMain&)> when, const std::string& name) { return {std::move(when), {}, name}; }

Step TypeKey(uint8_t code) {
  // Where the key is, in the plain layout (the first cell of its span).
  int row = -1, first = -1, last = -1;
  for (uint8_t r = 0; r < 5 && row < 0; r++)
    for (uint8_t c = 0; c <= 26; c++)
      if (ClassGraphics::KeyCell(0, r, c) == code) {
        if (row < 0) {
          row = r;
          first = c;
        }
        last = c;
      }
  auto typed = std::make_shared<bool>(false);
  // Once typed it is done, even when the key closed the input.
  const auto open = Dialog(DLG_INPUT, 250);
  Step s{[=](ClassMain& app) { return *typed || open(app); }, {}, ""};
  s.plan = [=](ClassMain& app) -> std::vector<uint32_t> {
    if (*typed || row < 0) {
      *typed = false;  // the same step may run again in another run
      return {};
    }
    const ClassConsole& k = app.Console();
    if (k.kbRow != row) return {k.kbRow > row ? UP : DOWN};
    if (k.kbColumn < first) return {RIGHT};
    if (k.kbColumn > last) return {LEFT};
    *typed = true;
    return {B};
  };
  return s;
}

ShellRun::ShellRun(std::vector<Step> steps, const std::string& folder, const std::string& dir, uint32_t frames)
    : driver(std::move(steps)) {
  run.start = "";
  run.folder = folder;
  run.frames = frames;
  run.dumpDir = dir;
  run.hook = [this](ClassMain& app, uint32_t f) {
    const std::string shot = driver.Hook(app, f);
    if (driver.Done() && !quitAsked && quitWhenDone) {
      quitAsked = true;
      standin::RequestQuit();
    }
    if (hook) hook(app, f);
    return shot;
  };
}

void CheckShots(const Driver& d, const std::string& dir, const std::string& golden) {
  const char* update = std::getenv("ZARN_UPDATE_GOLDEN");
  for (const std::string& name : d.shots) {
    const std::string got = dir + "/" + name + ".png", want = golden + name + ".png";
    if (update && *update) Run("cp '" + got + "' '" + want + "'");
    EXPECT_EQ(DifferentPixels(got, want), 0) << got << " vs " << want;
  }
}

}  // namespace zt
