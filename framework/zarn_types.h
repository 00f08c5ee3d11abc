// Records shared by the whole framework and the game.
//
// The console is 32-bit: the framework's "long" values are int32_t/uint32_t here,
// 16-bit text is uint16_t. Nothing here is stored on disk or sent on the wire, so
// the records use natural layout.
#ifndef ZARN_FRAMEWORK_ZARN_TYPES_H
#define ZARN_FRAMEWORK_ZARN_TYPES_H

#include <cstdint>

class ClassEDisplay;
class ClassESound;
class ClassEInput;
class ClassEVTimer;
class ClassEFile;
class ClassEIni;
class ClassEMemory;
class ClassEMath;
class ClassEDevice;
class ClassEConsole;
class ClassEConnect;
class ClassZarn;

// A rectangle (right and bottom exclusive) and a point, signed 32-bit.
struct tagRECT {
  int32_t left, top, right, bottom;
};
struct tagPOINT {
  int32_t x, y;
};

// The six pixel formats of the surfaces. Surfaces keep and pass the numbers, so
// the values never change.
enum EPIXELFORMAT : uint8_t {
  EFMT_INDEX8 = 1,  // palette index
  EFMT_RGB12 = 2,   // 16 bits: 4:4:4
  EFMT_RGB15 = 3,   // 16 bits: 5:5:5
  EFMT_RGB16 = 4,   // 16 bits: 5:6:5
  EFMT_RGB24 = 5,   // three bytes: blue, green, red
  EFMT_RGB32 = 6,   // 0x00RRGGBB
};

// Results of surface creation, drawing and blits, and of the image and model
// loaders (which also pass on a surface callback's refusal as it is).
enum ERESULT : int {
  ERES_OK = 0,
  ERES_BAD = 1,            // bad format or data, or a surface not created
  ERES_NOMEMORY = 2,
  ERES_NOTTHISFORMAT = 3,  // a loader that does not read the data; no loader took it
  ERES_BADARGS = 4,        // bad arguments, or nothing left after clipping
  ERES_NOIMAGE = 7,        // a GIF without an image
  ERES_NOTHINGDRAWN = 10,  // the opacity masked to zero
  ERES_FORMATSDIFFER = 11,
  ERES_NOPIXELS = 12,      // a surface without a pixel buffer
};

// The start-up configuration that the application's OnCreate fills.
struct ZARNCONFIG {
  uint32_t reserved0;
  uint32_t reserved1;
  uint32_t fpslock;     // frames per second of the lock, 0 = no lock
  uint32_t flags;       // 0x1 no flip; 0x20 no tilt emulator; 0x4, 0x8, 0x10 display
  uint32_t width;       // logical screen size
  uint32_t height;
  uint32_t reserved2;
  uint32_t reserved3;
  uint8_t displaybpp;
  uint8_t renderformat;  // 32 = the screen's own
  uint8_t orientation;   // 0-3 fixed, 4 landscape, 5 portrait, 6 ask the system
  uint8_t maxconnections;
  uint8_t reserved4;
  uint8_t reserved5;
  uint8_t surfacetype;
  uint8_t idlesleep;
  uint8_t reserved6;
  uint8_t reserved7;
  uint8_t reserved8;
  uint8_t fullscreen;
  uint8_t reserved9;
  uint8_t reserved10;
  uint8_t inactivesuspend;
  uint8_t reserved11;
  uint8_t reserved12;
};

// The application data record handed to the application's constructor.
struct ZARNDATA {
  uint32_t reserved;
  int32_t startvalue;           // handed to OnInit, OnDisplayInit and OnExit
  uint16_t title[256];
  uint16_t appfolder[512];      // ends in "/"
  char commandline[4108];
};

constexpr int kMaxConnections = 16;

// The framework's context: pointers to its modules, configuration and data.
struct ECD {
  uint32_t* reserved;
  ClassEDisplay* dsp;
  ClassESound* snd;
  ClassEInput* input;
  ClassEVTimer* vtimer;
  ClassEFile* file;
  ClassEIni* ini;
  ClassEMemory* mem;
  ClassEMath* math;
  void* reserved2;
  ClassEDevice* device;
  ClassEConsole* console;
  ClassEConnect* net[kMaxConnections];
  ZARNCONFIG* cfg;
  ZARNDATA* data;
};

// Button codes by role.
struct EBUTTONLIST {
  uint32_t ButtonA;
  uint32_t ButtonB;
  uint32_t ButtonX;
  uint32_t ButtonStart;
  uint32_t DPadUp;
  uint32_t DPadDown;
  uint32_t DPadLeft;
  uint32_t DPadRight;
  uint32_t reserved[2];
  uint32_t ButtonL;
  uint32_t ButtonR;
  uint32_t unused[19];
};

// One queued input event.
struct E_INPUTEVENT {
  int32_t x, y;
  uint8_t type;    // 1 down, 2 double, 3 repeat, 4 up
  uint8_t action;
};

enum : uint8_t {
  EIT_DOWN = 1,
  EIT_DOUBLE = 2,
  EIT_REPEAT = 3,
  EIT_UP = 4,
};

// Application states.
enum : uint8_t {
  ZAS_RUNNING = 0,
  ZAS_INACTIVE = 1,
  ZAS_MINIMIZED = 2,
  ZAS_STARTING = 3,
  ZAS_QUITTING = 4,
  ZAS_ENDED = 255,
};

// Rectangle helpers over tagRECT and tagPOINT.
void SetRect(tagRECT* rc, int32_t left, int32_t top, int32_t right, int32_t bottom);
int InRect(const tagRECT* rc, const tagPOINT* pt);
int RectIntersect(const tagRECT* a, const tagRECT* b, tagRECT* out);

#endif
