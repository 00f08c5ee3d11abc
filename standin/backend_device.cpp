// Device backend: the real console's devices. Built into the ARM build only.
#include <fcntl.h>
#include <linux/fb.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/soundcard.h>
#include <unistd.h>

#include <cstring>

#include "standin/backend.h"

namespace standin {

namespace {

constexpr off_t kRegisterBase = static_cast<off_t>(0xC0000000u);

class DeviceBackend : public Backend {
 public:
  int MemOpen() override { return open("/dev/mem", O_RDWR); }
  uint8_t* MemMap(int fd) override {
    void* p = mmap(nullptr, kRegisterBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, kRegisterBase);
    return p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
  }
  void MemUnmap(uint8_t* block) override {
    if (block) munmap(block, kRegisterBlockSize);
  }
  void MemClose(int fd) override {
    if (fd >= 0) close(fd);
  }

  int FbOpen() override { return open("/dev/fb0", O_RDWR); }
  int FbGetScreenInfo(int fd, FbScreenInfo* info) override {
    fb_var_screeninfo v;
    std::memset(&v, 0, sizeof v);
    if (!info || ioctl(fd, FBIOGET_VSCREENINFO, &v) != 0) return -1;
    info->xres = v.xres;
    info->yres = v.yres;
    info->xres_virtual = v.xres_virtual;
    info->yres_virtual = v.yres_virtual;
    info->xoffset = v.xoffset;
    info->yoffset = v.yoffset;
    info->bits_per_pixel = v.bits_per_pixel;
    info->grayscale = v.grayscale;
    info->red = {v.red.offset, v.red.length, v.red.msb_right};
    info->green = {v.green.offset, v.green.length, v.green.msb_right};
    info->blue = {v.blue.offset, v.blue.length, v.blue.msb_right};
    info->transp = {v.transp.offset, v.transp.length, v.transp.msb_right};
    return 0;
  }
  uint8_t* FbMap(int fd, uint32_t bytes) override {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) return nullptr;
    state::fbPixels = static_cast<uint8_t*>(p);
    state::fbBytes = bytes;
    return state::fbPixels;
  }
  void FbUnmap(uint8_t* pixels, uint32_t bytes) override {
    if (!pixels) return;
    munmap(pixels, bytes);
    if (pixels == state::fbPixels) {
      state::fbPixels = nullptr;
      state::fbBytes = 0;
    }
  }
  void FbClose(int fd) override {
    if (fd >= 0) close(fd);
  }
  void FbPresented() override { AfterPresent(); }

  int DspOpen() override { return open("/dev/dsp", O_WRONLY); }
  int DspSetSpeed(int fd, int* rate) override { return ioctl(fd, SNDCTL_DSP_SPEED, rate) == 0 ? 0 : -1; }
  int DspSetFormat(int fd, int* format) override {
    return ioctl(fd, SNDCTL_DSP_SETFMT, format) == 0 ? 0 : -1;
  }
  int DspSetStereo(int fd, int* stereo) override {
    return ioctl(fd, SNDCTL_DSP_STEREO, stereo) == 0 ? 0 : -1;
  }
  int32_t DspWrite(int fd, const void* data, uint32_t bytes) override {
    return static_cast<int32_t>(write(fd, data, bytes));
  }
  int DspReset(int fd) override { return ioctl(fd, SNDCTL_DSP_RESET, 0) == 0 ? 0 : -1; }
  void DspClose(int fd) override {
    if (fd >= 0) close(fd);
  }

  int BatteryRead(uint16_t* value) override {
    int fd = open("/dev/batt", O_RDONLY);
    if (fd < 0) return -1;
    uint8_t b[2];
    ssize_t n = read(fd, b, 2);
    close(fd);
    if (n != 2) return -1;
    std::memcpy(value, b, 2);  // the console's own byte order
    return 2;
  }

  void RunMenuProgram() override {
    state::menuCalls++;
    // Only start the menu when its folder is really there: a relative exec from
    // the wrong folder could start anything called gp2xmenu.
    if (chdir("/usr/gp2x") == 0) execl("/usr/gp2x/gp2xmenu", "gp2xmenu", static_cast<char*>(nullptr));
  }
};

}  // namespace

Backend* MakeDeviceBackend() { return new DeviceBackend(); }

}  // namespace standin
