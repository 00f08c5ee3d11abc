// resgen OUTDIR: writes OUTDIR/gfx, OUTDIR/sfx, OUTDIR/bgm (files and a list in
// pack order each) and OUTDIR/preview.png.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "res.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: resgen OUTDIR\n");
    return 2;
  }
  std::string dir = argv[1];
  rg::Output out;
  rg::MakeFonts(out);
  rg::MakeSprites(out);
  rg::MakeScreens(out);
  rg::MakeModel(out);
  rg::MakeEffects(out);
  rg::MakeMusic(out);
  bool ok = true;
  auto write_set = [&](const std::string& sub, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& set) {
    std::string d = dir + "/" + sub;
    ::mkdir(dir.c_str(), 0755);
    ::mkdir(d.c_str(), 0755);
    std::string list;
    for (const auto& [name, data] : set) {
      ok = rg::WriteFile(d + "/" + name, data) && ok;
      list += name + "\n";
    }
    ok = rg::WriteFile(d + "/files.txt", std::vector<uint8_t>(list.begin(), list.end())) && ok;
  };
  write_set("gfx", out.gfx);
  write_set("sfx", out.sfx);
  write_set("bgm", out.bgm);
  ok = rg::WriteFile(dir + "/preview.png", rg::EncodePngRGBA(rg::MakePreview(out))) && ok;
  if (!ok) {
    std::fprintf(stderr, "resgen: cannot write below %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
