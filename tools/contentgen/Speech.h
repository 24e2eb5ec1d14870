// Spoken Spanish through espeak-ng (Latin American voice), handed back as 16-bit mono
// samples at 22,050 Hz.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/contentgen/Content.h"

namespace contentgen {

struct Voice {
  const char* name;  // espeak-ng voice with its variant
  int speed;         // words per minute
  int pitch;         // 0..99
};

inline constexpr Voice kVoiceMan{"es-419", 150, 45};
inline constexpr Voice kVoiceWoman{"es-419+f3", 150, 60};
inline constexpr Voice kVoiceWelcome{"es-419+f4", 145, 65};
inline constexpr Voice kVoiceGirl{"es-419+f4", 155, 80};

bool Speak(Context& context, const Voice& voice, const std::string& text, std::vector<int16_t>* samples,
           std::string* error);

// The samples of a 16-bit PCM WAVE file; false for anything else.
bool ReadWave(const std::string& bytes, std::vector<int16_t>* samples, uint32_t* rate, uint32_t* channels);

}  // namespace contentgen
