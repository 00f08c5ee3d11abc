// The framework's sound front. (Minimal form: the null driver; the game never
// opens it, so every call does nothing.)
#ifndef ZARN_SOUND_EMOD_SOUND_H
#define ZARN_SOUND_EMOD_SOUND_H

#include <cstdint>

class ClassESound {
 public:
  ClassESound();
  ~ClassESound();
  void Update(uint32_t elapsed);
  void Suspend();
  void Resume();
  void Close();
};

#endif
