#include "game/intro.h"

#include <cstdlib>

#include "display/esurf_2d.h"
#include "game/app.h"
#include "game/modules.h"

namespace {

constexpr uint32_t kSplashMs = 500;
constexpr uint32_t kLoadingMinMs = 3499;
constexpr uint32_t kLogoMs = 4096;
constexpr int32_t kLogoY = -20;
constexpr int32_t kBannerY = 200;
const char kLoadingText[] = "Loading Tavlin 2";

}  // namespace

uint32_t ClassIntro::GetScreenLayout(int32_t* logoY, int32_t* bannerY) {
  if (logoY) *logoY = kLogoY;
  if (bannerY) *bannerY = kBannerY;
  return maindata && maindata->graphics ? maindata->graphics->GetZarnBannerHeight() : 0;
}

void ClassIntro::RenderZarnLogo(E2DSurface* s) {
  ClassGraphics* gfx = maindata->graphics;
  if (elapsed < kLogoMs) gfx->DrawLogo(s, elapsed & 0xFFF, kLogoY);
  gfx->DrawZarnBanner(s, kBannerY);
}

void ClassIntro::Gradient() {
  E2DSurface* back = nullptr;
  maindata->graphics->GetBackSurface(back);
  if (back) back->GradientRect(nullptr, 0xA47354, 0x8E5434, 0xEEDEC6, 0xEEDEC6, 256);
}

void ClassIntro::RenderAll(E2DSurface* s) {
  ClassGraphics* gfx = maindata->graphics;
  if (!s) return;
  if (step < 2)
    s->FillRect(nullptr, 0x000000);
  else
    gfx->DrawBackDrop(s);
  if (step >= 3) {
    gfx->DrawBar(s, 16, 216, 16 + 288 * step / 16, 228, 0x000000);
    gfx->DrawRectangle(s, 16, 216, 304, 228, 0x000000);
    const int32_t y = 216 - static_cast<int32_t>(4 * gfx->GetFontHeight(3)) / 3;
    gfx->DrawFontFx(s, 3, 160, y, kLoadingText, 0x221, 0);
  }
  if (splashTime < kSplashMs)
    gfx->ScreenAlpha(s, 0x000000, static_cast<uint8_t>(255 - splashTime * 255 / kSplashMs));
}

bool ClassIntro::ScriptLoad(uint32_t ms) {
  ClassGraphics* gfx = maindata ? maindata->graphics : nullptr;
  if (!gfx || step > 15) return gfx != nullptr;
  if (!gfx->ScriptLoad(step)) return false;
  // A missing effect or music pack leaves the game silent, not stopped.
  if (maindata->sound && step == 13) maindata->sound->LoadSfxFiles();
  if (maindata->sound && step == 14) maindata->sound->LoadBgmFiles();
  if (step == 3 && !quick) {
    splashTime += ms;
    if (splashTime >= kSplashMs) step++;
  } else {
    step++;
  }
  return true;
}

int ClassIntro::Manage(E2DSurface* screen, uint32_t* module, uint32_t* message, int32_t* keys, uint32_t ms) {
  if (*message == MSG_ATTACH) {
    maindata = reinterpret_cast<MAINDATA*>(keys);
    return 0;
  }
  if (*message == MSG_ENTER) {
    step = 0;
    phase = INTRO_LOADING;
    *message = MSG_FRAME;
    // ZARN_START (a test switch) goes from loading straight to its game.
    const char* start = std::getenv("ZARN_START");
    quick = start && *start;
  }
  if (*message != MSG_FRAME) return 0;
  ClassGraphics* gfx = maindata ? maindata->graphics : nullptr;
  if (!gfx) {
    *module = MODULE_QUIT;
    return 0;
  }
  switch (phase) {
    case INTRO_LOADING:
      elapsed += ms;
      if (step <= 15) {
        if (step == 0) elapsed = splashTime = 0;
        if (!ScriptLoad(ms)) {
          if (maindata->app) maindata->app->LoadingFailed(gfx->LoadError());
          *module = MODULE_QUIT;
          return 0;
        }
      }
      if (step > 15 && quick) {
        RenderAll(screen);
        *module = MODULE_TITLE;
        *message = MSG_ENTER;
        return 0;
      }
      if (step > 15 && elapsed > kLoadingMinMs) {
        elapsed = 0;
        Gradient();
        E2DSurface* back = nullptr;
        gfx->GetBackSurface(back);
        RenderZarnLogo(back);
        gfx->Transition(nullptr, 0xFFFFFF);
        phase = INTRO_REVEAL;
        maindata->zerodelta = 1;
      }
      RenderAll(screen);
      break;
    case INTRO_REVEAL:
      if (gfx->Transition(screen, ms)) {
        Gradient();
        maindata->zerodelta = 1;
        phase = INTRO_LOGO;
        if (maindata->sound) maindata->sound->PlaySfx(16);
      }
      break;
    case INTRO_LOGO:
      elapsed += ms;
      if (elapsed >= kLogoMs) elapsed = kLogoMs;
      gfx->DrawBackSurface(screen);
      RenderZarnLogo(screen);
      if (elapsed >= kLogoMs) {
        maindata->zerodelta = 1;
        *module = MODULE_TITLE;
        *message = MSG_ENTER;
      }
      break;
    case INTRO_OUT:
      if (gfx->Transition(screen, ms)) {
        *module = MODULE_TITLE;
        *message = MSG_ENTER;
      }
      break;
    default: break;
  }
  return 0;
}
