// The game's drawing helpers: every surface loaded from the graphics pack, the
// staged loading behind the intro's progress bar, fonts drawn over a darkening
// back mask, stone sprites with pulsing overlays, bars, the diamond transition,
// the on-screen keyboard, the banner and the 3D logo.
#ifndef ZARN_GAME_GRAPHICS_H
#define ZARN_GAME_GRAPHICS_H

#include <cstdint>

#include "display/esurf_2d.h"
#include "display/esurf_2drgba.h"
#include "display/esurf_3d.h"
#include "framework/emod_file.h"
#include "framework/zarn_types.h"

class ClassEDisplay;
struct MAINDATA;

// Stone colours 1 to 7 as 0x00BBGGRR.
extern const uint32_t kStoneColour[7];

class ClassGraphics {
 public:
  ClassGraphics();
  ~ClassGraphics();
  ClassGraphics(const ClassGraphics&) = delete;
  ClassGraphics& operator=(const ClassGraphics&) = delete;

  void Init(ClassEDisplay* display, MAINDATA* data);

  // Pack entry -> surface. 1 on success, 0 when the name is missing, the read
  // fails or the surface refuses the data (what was read is freed either way).
  int QuickLoadFileSurface(const char* name, E2DSurface* surface);
  int QuickLoadFileSurface(const char* name, E2DSurfaceRGBA* surface);
  int QuickLoadFileSurface(const char* name, E3DSurface& model);

  // One loading stage (0 to 15); false when a load of the stage failed.
  bool ScriptLoad(uint32_t stage);
  void LoadBackDrop(const char* name);
  // Why the last stage failed ("" when none did); names the file and folder.
  const char* LoadError() const { return loadError_; }

  void GetBackSurface(E2DSurface*& out) { out = &back_; }
  void CaptureBackDrop(E2DSurface* surface);
  void DrawBackDrop(E2DSurface* surface);
  void DrawBackSurface(E2DSurface* surface);

  // Fonts: 0 face, 1 its back mask, 2 fixed width, 3 keyboard. Others give 0.
  uint32_t GetFontHeight(uint8_t font) const;
  uint32_t GetFontWidth(uint8_t font) const;
  uint32_t GetFontWidth(uint8_t font, const char* text);
  uint32_t GetFontWidth(uint8_t font, int32_t number);
  void DrawFont(E2DSurface* s, uint8_t font, int32_t x, int32_t y, const char* text);
  void DrawFont(E2DSurface* s, uint8_t font, int32_t x, int32_t y, int32_t number);
  void DrawFontColor(E2DSurface* s, uint8_t font, int32_t x, int32_t y, const char* text, uint32_t colour);
  void DrawFontColor(E2DSurface* s, uint8_t font, int32_t x, int32_t y, int32_t number, uint32_t colour);
  void DrawFontAlpha(E2DSurface* s, uint8_t font, int32_t x, int32_t y, const char* text, uint8_t opacity);
  void DrawFontAlpha(E2DSurface* s, uint8_t font, int32_t x, int32_t y, int32_t number, uint8_t opacity);
  void DrawFontFx(E2DSurface* s, uint8_t font, int32_t x, int32_t y, const char* text, uint32_t flags,
                  uint32_t value);
  void DrawFontFx(E2DSurface* s, uint8_t font, int32_t x, int32_t y, int32_t number, uint32_t flags,
                  uint32_t value);

  void Clear(E2DSurface* s, uint32_t colour);
  void DrawBar(E2DSurface* s, int32_t l, int32_t t, int32_t r, int32_t b, uint32_t colour);
  void DrawAlphaBar(E2DSurface* s, int32_t l, int32_t t, int32_t r, int32_t b, uint32_t colour,
                    uint8_t opacity);
  void DrawRectangle(E2DSurface* s, int32_t l, int32_t t, int32_t r, int32_t b, uint32_t colour);
  void DrawLine(E2DSurface* s, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
  void DrawLine(E2DSurface* s, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour,
                uint8_t flags, uint32_t value);
  void ScreenAlpha(E2DSurface* s, uint32_t colour, uint8_t opacity);

  // Stone sheet sprites (24 x 24, column kind & 7, row kind >> 3).
  void DrawSprite(E2DSurface* s, int32_t x, int32_t y, uint8_t kind) { DrawSprite(s, x, y, kind, 1, 0); }
  void DrawSprite(E2DSurface* s, int32_t x, int32_t y, uint8_t kind, uint8_t flags, uint32_t value);
  void DrawQSprite(E2DSurface* s, int32_t x, int32_t y, uint8_t kind);
  void DrawQSprite(E2DSurface* s, int32_t x, int32_t y, uint8_t kind, uint8_t flags, uint32_t value);
  // Small-grid stones (6 x 6) and the 12 x 12 small explosions (kinds above 15).
  void DrawSQSprite(E2DSurface* s, int32_t x, int32_t y, uint8_t kind);
  void DrawSQSprite(E2DSurface* s, int32_t x, int32_t y, uint8_t kind, uint8_t flags, uint32_t value);
  void DrawMiniSprite(E2DSurface* s, int32_t x, int32_t y, uint8_t kind, uint8_t flags, uint32_t value);

  void AddAnitimer(uint32_t ms) { aniTimer_ += ms; }
  uint32_t Anitimer() const { return aniTimer_; }
  void SetAnitimer(uint32_t ms) { aniTimer_ = ms; }
  // The pulse of special stones: 0 to 128 and back over 1024 ms.
  uint32_t Pulse() const;
  void SetColorBlind(bool on) { colorBlind_ = on ? 1 : 0; }

  // Milliseconds of play, advanced by the level while it plays.
  void AddPlayTime(uint32_t ms) { playTime_ += ms; }
  uint32_t PlayTime() const { return playTime_; }
  void ResetPlayTime() { playTime_ = 0; }

  // One step of the diamond reveal of the back surface; 0xFFFFFF resets it.
  bool Transition(E2DSurface* screen, uint32_t ms);

  void DrawKeyboard(E2DSurface* s, uint32_t progress, uint8_t layout);
  void DrawKBKey(E2DSurface* panel, E2DSurfaceRGBA* keyimage, tagRECT* key);
  void DrawKBChar(E2DSurface* s, uint8_t column, uint8_t row, uint8_t layout, uint32_t progress,
                  bool atPanel, bool highlighted);
  // The label of the key that covers cell (row, column); "" for no key.
  static void KeyLabel(uint8_t layout, uint8_t row, uint8_t column, char* out);
  // The layout byte of a cell (0: no key, also outside the layout).
  static uint8_t KeyCell(uint8_t layout, uint8_t row, uint8_t column);

  uint32_t GetZarnBannerHeight() const;
  void DrawZarnBanner(E2DSurface* s, int32_t y);
  void DrawLogo(E2DSurface* s, uint32_t angle, int32_t y);
  void ShowFPS(E2DSurface* s, uint32_t whole, uint32_t hundredths);

  // Surfaces, for the modules that draw them directly and for tests.
  E2DSurface* Font(uint8_t font) { return font < 4 ? &font_[font] : nullptr; }
  E2DSurface& StoneSheet() { return sheet_; }
  E2DSurface& MiniSheet() { return mini_; }
  E2DSurface& MiniBombSheet() { return miniBomb_; }
  E2DSurface& BackDrop() { return backdrop_; }
  E2DSurface& Keyboard(uint8_t layout) { return keyboard_[layout & 1]; }
  E3DSurface& Logo() { return logo_; }
  E2DSurfaceRGBA& Banner() { return banner_; }
  char* PackIndex() const { return packIndex_; }
  ClassEDisplay* Display() const { return display_; }

 private:
  // The data of a pack entry, for a QuickLoadFileSurface form (the caller frees
  // it); false when there is no display, no such entry or it cannot be read.
  bool PackEntry(const char* name, void*& data, uint32_t& length);
  bool OpenPack();
  void UseIndex();
  bool Fail(const char* name);
  // The load script's stages that do work.
  bool LoadSplash();
  bool LoadFonts();
  bool LoadLogo();
  bool LoadStoneSheet();
  bool LoadMiniSheets();
  bool BuildKeyboards();
  // The pictures with per-pixel alpha: the banner, and the key caps drawn onto
  // the keyboard panels (the key image is only needed while they are drawn).
  bool LoadAlphaPictures();
  bool DrawKeyCaps();
  void DrawFontPair(E2DSurface* s, uint8_t font, int32_t x, int32_t y, const char* text, uint32_t faceFlags,
                    uint32_t faceValue, uint32_t maskFlags, uint32_t maskValue, bool mask);

  MAINDATA* maindata_ = nullptr;
  ClassEDisplay* display_ = nullptr;
  ClassEFile pack_;
  E2DSurface back_;
  E2DSurface backdrop_;
  E2DSurface keyboard_[2];
  E2DSurface font_[4];
  E2DSurface sheet_;
  E2DSurface mini_;
  E2DSurface miniBomb_;
  E2DSurfaceRGBA banner_;
  E3DSurface logo_;
  char* packIndex_ = nullptr;
  uint32_t packIndexCount_ = 0;
  uint32_t aniTimer_ = 0;
  uint32_t transition_ = 0;
  uint32_t playTime_ = 0;
  uint8_t colorBlind_ = 0;
  char loadError_[320] = {};
};

#endif
