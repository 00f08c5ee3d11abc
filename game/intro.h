// The intro: the graphics pack loads stage by stage behind a progress bar over
// the splash, then the 3D logo turns over its banner and the title takes over.
#ifndef ZARN_GAME_INTRO_H
#define ZARN_GAME_INTRO_H

#include <cstdint>

class E2DSurface;
struct MAINDATA;

enum : uint8_t {
  INTRO_LOADING = 0,
  INTRO_LOGO = 1,
  INTRO_REVEAL = 2,
  INTRO_OUT = 3,  // a closing transition; nothing enters it
};

class ClassIntro {
 public:
  int Manage(E2DSurface* screen, uint32_t* module, uint32_t* message, int32_t* keys, uint32_t elapsed);
  void RenderAll(E2DSurface* screen);
  void RenderZarnLogo(E2DSurface* screen);
  // The logo's and the banner's rows; returns the banner's height.
  uint32_t GetScreenLayout(int32_t* logoY, int32_t* bannerY);
  // One loading step: the graphics stage, the effect and music packs at steps 13
  // and 14, and the splash's hold at step 3; false when the stage failed.
  bool ScriptLoad(uint32_t ms);

  MAINDATA* maindata = nullptr;
  uint32_t elapsed = 0;
  uint32_t splashTime = 0;
  uint8_t step = 0;
  uint8_t phase = INTRO_LOADING;
  bool quick = false;  // ZARN_START: no splash hold and no logo

 private:
  void Gradient();
  // The frame's steps by phase.
  void LoadingFrame(E2DSurface* screen, uint32_t* module, uint32_t* message, uint32_t ms);
  void LogoFrame(E2DSurface* screen, uint32_t* module, uint32_t* message, uint32_t ms);
  static void ToTitle(uint32_t* module, uint32_t* message);
};

#endif
