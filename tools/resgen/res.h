// The generator's parts and the files they produce.
#ifndef RESGEN_RES_H
#define RESGEN_RES_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "canvas.h"

namespace rg {

constexpr uint32_t kMagenta = 0xFF00FF;  // sprite and font key
constexpr uint32_t kPurple = 0x800080;   // template key of the stone frames

// Everything the generator makes, by pack entry name, in pack order.
struct Output {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> gfx, sfx, bgm;
  std::map<std::string, Image> pictures;  // for the preview sheet
  std::vector<std::pair<std::string, std::vector<int16_t>>> sounds;  // decoded effects for the preview
};

// Stone colours as 0xRRGGBB (the game's table is 0x00BBGGRR).
extern const uint32_t kStoneRGB[7];

void MakeFonts(Output& out);
void MakeSprites(Output& out);
void MakeScreens(Output& out);
void MakeModel(Output& out);
void MakeEffects(Output& out);
void MakeMusic(Output& out);
Image MakePreview(const Output& out);

// The fonts' glyph images (ink masks) for reuse in pictures: draws text with the
// face font at (x, y), outlined, in the given colour.
void DrawText(Image& img, int x, int y, const std::string& s, Col face, Col outline, bool centre = false);
void DrawBigText(Image& img, float cx, float top, const std::string& s, float block, Col top_col, Col bottom_col,
                 Col outline, float depth);

// Logo mesh for the preview: vertices in file units, triangles, and polygon colours.
struct Mesh {
  std::vector<float> v;      // x, y, z in file coordinates
  std::vector<uint16_t> f;   // a, b, c
};
const Mesh& LogoMesh();

}  // namespace rg

#endif
