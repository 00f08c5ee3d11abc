// The dialog layer: modal dialogs drawn over whatever the current module drew.
// A module opens a dialog through the openers (or by writing the fields) and
// reads the answer back from the state and the answer fields.
#ifndef ZARN_GAME_DIALOG_H
#define ZARN_GAME_DIALOG_H

#include <cstddef>
#include <cstdint>

class E2DSurface;
struct MAINDATA;

// Dialog states.
enum : uint8_t {
  DLG_IDLE = 0,
  DLG_MESSAGE = 1,        // a message line for 2000 ms
  DLG_INPUT_CLOSING = 2,  // the keyboard slides out for 250 ms
  DLG_INPUT = 3,          // text input with the on-screen keyboard; the owner ends it
  DLG_VOLUME = 4,         // volume slider
  DLG_VOLUME_CLOSING = 5,
  DLG_CONFIRM = 6,        // yes/no question
  DLG_CONFIRMED = 7,      // answered yes; the owner sets idle
  DLG_HELP = 8,           // help pages (close on their first frame)
  DLG_SETKEY = 10,        // "Press a key"; the owner sets idle
  DLG_OPTION = 11,        // four-way choice
  DLG_OPTION_CHOSEN = 12, // choice made; the owner sets idle
};

class ClassConsole {
 public:
  ClassConsole();

  int Manage(E2DSurface* screen, uint32_t* module, uint32_t* message, int32_t* keys, uint32_t elapsed);
  void RenderAll(E2DSurface* screen);

  // Openers. Each does nothing while another dialog is open, except
  // SendMessage, which replaces it.
  void SendMessage(const char* text);
  void ShowInput();
  void HideInput();
  void OpenSoundChange(uint8_t kind);
  void AskConfirm(const char* text);
  void AskOption(const char* a, const char* b, const char* c, const char* d);
  void OpenHelp(uint32_t colour, const char* page1, const char* page2, const char* page3);
  void OpenSetkey(uint8_t slot);
  void HideMessage();
  void SetIdle() { state = DLG_IDLE; }
  uint8_t Busy() const { return state; }

  // The oldest typed character (0 when none); the queue moves up by one.
  char GetC();
  // Types a character as the keyboard does; shiftable false ignores caps lock.
  void PutC(char c, bool shiftable);

  // ---- The record (owners read and write these directly) ----
  MAINDATA* maindata = nullptr;
  char typed[64];
  char text[64];
  char help[3][512];
  char options[4][32];
  uint32_t helpColour = 0;
  uint32_t timer = 0;  // ms in the state; the yes/no answer (0 yes, 1 no); the highlighted
                       // choice; the key slot; the help page
  uint32_t sampleTimer = 0;
  uint32_t holdTimer = 0;
  uint32_t runTime = 0;
  uint8_t volumeKind = 0;
  uint8_t state = DLG_IDLE;
  uint8_t kbColumn = 26, kbRow = 2;
  uint8_t shift = 0;
  uint8_t chosen = 0;

 private:
  void Frame(uint32_t ms);
  void TextInput(uint32_t ms);
  void VolumeSlider(uint32_t ms);
  void Confirm();
  void Option();
  void TypeKey(uint8_t code, bool shiftable);
  void Append(char c);
  void MoveSound();
  void MoveVertical(int dir);
  void MoveLeft();
  void MoveRight();
  void VolumeStep(int dir, uint32_t ms);
  uint32_t Pulse() const;
  uint32_t FontHeight() const;
  uint32_t TextWidth(const char* t) const;
  // Drawing: one function per dialog, and the pieces they share.
  static constexpr size_t kSpacedSize = sizeof(text) + 2;
  void Box(E2DSurface* screen, int32_t l, int32_t t, int32_t r, int32_t b, uint32_t colour) const;
  void DarkBox(E2DSurface* screen, int32_t l, int32_t t, int32_t r, int32_t b, uint32_t colour) const;
  const char* Spaced(char (&out)[kSpacedSize], const char* t) const;
  void Centred(E2DSurface* screen, int32_t y, const char* t) const;
  void RenderMessage(E2DSurface* screen);
  void RenderKeyboard(E2DSurface* screen);
  void RenderVolume(E2DSurface* screen);
  void RenderConfirm(E2DSurface* screen);
  void RenderSetkey(E2DSurface* screen);
  void RenderOption(E2DSurface* screen);
  void RenderHelp(E2DSurface* screen);
};

#endif
