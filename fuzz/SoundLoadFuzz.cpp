// Whole-sound loads through a reader whose streams, format, length and delivered frame
// counts come from the input. A load succeeds exactly when everything the reader said
// is usable and it delivered what was asked, the samples are the reader's, and sizes
// past 2^31 - 1 bytes are refused before anything is allocated or copied.
#include <cstdint>
#include <vector>

#include "foundation/SLError.h"
#include "fuzz/FuzzProgram.h"
#include "fuzz/SoundFuzzDevice.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/ScriptedAudioReader.h"

namespace {

SLFuzzProgram* g_in = nullptr;

bool g_deliveredShort = false;

u8 FrameByte(u64 frame, u32 i) { return u8(frame * 31 + i); }

// Delivers what was asked give or take a few frames, as the input says.
u32 Deliver(u32 count) {
  const int delta = int(g_in->Take() % 16) - 13;  // mostly exact, sometimes short or long
  const u32 frames = delta < 0 && u32(-delta) > count ? 0 : u32(i64(count) + (delta > 0 ? delta : 0) -
                                                             (delta < 0 ? -delta : 0));
  if (frames < count) g_deliveredShort = true;
  return frames;
}

u32 Expected(const SLAudioScript& s, bool* fullRead) {
  *fullRead = false;
  u32 audio = 3;
  for (u32 i = 0; i < s.streams; ++i)
    if (s.types[i] == SL_STREAM_AUDIO) {
      audio = i;
      break;
    }
  if (audio == 3) return 0x800F000A;
  const SLAudioFormat& f = s.format;
  const u32 align = (f.bitsPerSample + 7) / 8 * f.channels;
  if (f.formatTag != 1 || f.channels < 1 || f.channels > 64 || f.bitsPerSample < 8 || f.bitsPerSample > 64 ||
      f.samplesPerSecond < 400 || f.samplesPerSecond > 96000 || f.blockAlign != align)
    return 0x80001007;
  if (s.length == 0) return 0x80001002;
  const u64 frames = s.length > 0xFFFFFFFFu ? 0xFFFFFFFFu : s.length;
  if (frames * align > 0x7FFFFFFF) return 0x80000001;
  *fullRead = true;
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CSL_GS_Sfx_DirectX& device = SLFuzzSoundDevice();
  SLFuzzProgram in{data, size};
  g_in = &in;
  SLAudioScript& s = g_audioScript;
  s = SLAudioScript{};
  s.deliver = Deliver;
  s.byte = FrameByte;
  g_deliveredShort = false;
  s.streams = in.Take() % 4;
  static const u32 kTypes[] = {SL_STREAM_AUDIO, SL_STREAM_VIDEO, SL_STREAM_UNKNOWN};
  for (u32& type : s.types) type = kTypes[in.Take() % 3];
  const u32 tag = in.Take();
  s.format.formatTag = tag < 200 ? 1 : tag;
  s.format.channels = in.Take() % 70;
  s.format.bitsPerSample = in.Take() % 70;
  s.format.samplesPerSecond = (in.Take() << 9) | (in.Take() << 1);
  const u32 align = in.Take();
  s.format.blockAlign = align < 200 ? (s.format.bitsPerSample + 7) / 8 * s.format.channels : align;
  // Small sounds are loaded whole; large ones are at least 2^31 frames, past any size
  // the device takes, so that a wrong size check shows as a crash, not as a huge load.
  if (in.Take() & 0x80) {
    u64 huge = 0;
    for (int i = 0; i < 5; ++i) huge = (huge << 8) | in.Take();
    s.length = huge | (u64(1) << 31);
  } else {
    s.length = (in.Take() << 8) | in.Take();
  }
  const u32 voices = 1 + in.Take() % 3;
  CSLMemoryStorage storage;
  SL_GS_SoundRecord* sound = device.LoadSoundFromStorage(&storage, voices, CScriptedAudioReader::GetClassRecord());
  const u32 code = SLGetLastError();
  bool fullRead = false;
  const u32 expected = Expected(s, &fullRead);
  if (expected) {
    SLFuzzCheck(!sound && code == expected);
    return 0;
  }
  const u32 bits = s.format.bitsPerSample;
  const bool playable = s.format.channels <= 2 && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
  if (g_deliveredShort) {
    SLFuzzCheck(!sound && code == 0x800F0008);
  } else if (!playable) {
    SLFuzzCheck(!sound && code == 0x8001000F);
  } else {
    SLFuzzCheck(sound && code == 0);
    SLFuzzCheck(sound->length == s.length && sound->voiceCount == voices);
    const u32 blockAlign = sound->format.blockAlign;
    for (u64 i = 0; i < u64(sound->length) * blockAlign; ++i)
      SLFuzzCheck(sound->samples[i] == FrameByte(i / blockAlign, u32(i % blockAlign)));
    SLFuzzCheck(device.Play(sound, in.Take() & 1, nullptr, in.Take(), 1.0));
    device.DestroySound(sound);
  }
  return 0;
}
