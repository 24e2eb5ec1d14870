// The movie player over fuzzed MXV files: opening, drawing the pictures at positions the
// input picks (partly off the screen), seeking and reading the sound. A file the reader
// refuses leaves nothing open; whatever opens is drawn without reading past a picture.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "fuzz/MxvFuzz.h"
#include "media/SLMoviePlayer.h"
#include "tests/support/MoviePlayerFakes.h"

using namespace SLMxvFuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool registered = (SLRegisterMediaClasses(), true);
  static CBackBufferGfx gfx;
  static CSL_GS_MoviePlayer* player = [] {
    auto* made = new CSL_GS_MoviePlayer;
    Check(made->SetGfx(&gfx));
    return made;
  }();
  static const std::string path = [] {
    char name[] = "/tmp/slplayerfuzzXXXXXX";
    close(mkstemp(name));
    return std::string(name);
  }();
  (void)registered;
  FILE* file = fopen(path.c_str(), "wb");
  fwrite(data, 1, size, file);
  fclose(file);
  u64 frames = 0;
  if (!player->Open(path.c_str(), CSLVideoAudioReaderMXV::GetClassRecord())) {
    Check(!player->GetFrameCount(&frames) && SLGetLastError() == SL_E_NOT_INITIALISED);
    return 0;
  }
  SLAudioFormat format{};
  Check(player->GetFrameCount(&frames));
  player->GetAudioFormat(&format);
  for (size_t trial = 0; size && trial < 6; ++trial) {
    const u32 word = Word(data, size, trial);
    player->SeekToFrame(frames ? word % frames : 0);
    player->RenderFrame(i32(word >> 8 & 0x3FF) - 512, i32(word >> 20) - 2048);
    const void* samples = nullptr;
    u32 got = 0;
    if (player->ReadAudio(word % 100000, 2205, &samples, &got)) Touch(samples, u64(got) * format.blockAlign);
  }
  return 0;
}
