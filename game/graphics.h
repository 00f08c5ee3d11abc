// The game's drawing helpers. (Minimal form until resource loading lands.)
#ifndef ZARN_GAME_GRAPHICS_H
#define ZARN_GAME_GRAPHICS_H

class ClassEDisplay;
struct MAINDATA;

class ClassGraphics {
 public:
  void Link(MAINDATA* data, ClassEDisplay* display) {
    maindata = data;
    this->display = display;
  }
  MAINDATA* maindata = nullptr;
  ClassEDisplay* display = nullptr;
};

#endif
