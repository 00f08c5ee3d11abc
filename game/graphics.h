// The game's drawing helpers. In this form it holds only the title picture that
// the placeholder intro loads.
#ifndef ZARN_GAME_GRAPHICS_H
#define ZARN_GAME_GRAPHICS_H

#include "display/esurf_2d.h"

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
  E2DSurface title;  // empty when the picture could not be loaded
};

#endif
