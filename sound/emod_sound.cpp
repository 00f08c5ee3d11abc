#include "sound/emod_sound.h"

ClassESound::ClassESound() = default;
ClassESound::~ClassESound() = default;
void ClassESound::Update(uint32_t) {}
void ClassESound::Suspend() {}
void ClassESound::Resume() {}
void ClassESound::Close() {}
