// Random sequences of Play, Stop, Lock, Unlock, GetPlayPosition and the voice setters on
// sounds of one to three voices, a capture sound, a destroyed sound and null, with the
// mix pulled now and then. Every answer is checked against a model of the device's rules:
// voices taken in turn, one lock at a time, settings kept when refused, cursors in range.
#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/SLError.h"
#include "fuzz/FuzzProgram.h"
#include "fuzz/SoundFuzzDevice.h"

namespace {

struct Model {
  SL_GS_SoundRecord* sound = nullptr;
  bool playback = false;
  u32 length = 0, voices = 0, next = 0;
  bool locked = false;
  bool playing[3] = {};
  u32 startFrame[3] = {};
  bool moved[3] = {};  // the mix was pulled since the voice started
};

constexpr double kSpeeds[] = {0.0, 0.5, 1.0, 2.0, 10.0};  // 10x of 22050 Hz is past the platform

bool Is(u32 code) { return SLGetLastError() == code; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CSL_GS_Sfx_DirectX& device = SLFuzzSoundDevice();
  SLFuzzProgram in{data, size};
  const SLAudioFormat format{1, 1 + in.Take() % 2, 16, 22050, 0, 0};
  const u32 align = 2 * format.channels;
  Model sounds[6];
  for (u32 i = 0; i < 3; ++i) {
    Model& m = sounds[i];
    m.length = 2 + in.Take() * 7;  // the platform takes buffers of 4 bytes and more
    m.voices = i + 1;
    m.playback = true;
    m.sound = device.CreateSound(m.length, &format, m.voices);
    SLFuzzCheck(m.sound != nullptr);
  }
  sounds[3].sound = device.CreateCaptureSound(&format);  // null when there is no microphone
  sounds[3].length = 44100;
  sounds[3].voices = 1;
  SL_GS_SoundRecord* stale = device.CreateSound(100, &format, 1);
  device.DestroySound(stale);
  sounds[4].sound = stale;

  for (u32 step = 0; step < 64 && in.at < in.size; ++step) {
    const u32 op = in.Take() % 9;
    Model& m = sounds[in.Take() % 6];
    const bool live = m.sound && (m.playback || &m == &sounds[3]);
    const u32 voice = in.Take() % 5;  // 0..4: out of range on every sound sometimes
    switch (op) {
      case 0: {  // Play
        const double speed = kSpeeds[in.Take() % 5];
        const u32 first = in.Take() * 13;
        u32 got = 0;
        const bool ok = device.Play(m.sound, voice & 1, &got, first, speed);
        if (speed == 0.0) {
          SLFuzzCheck(!ok && Is(0x80001001));
        } else if (!m.playback) {
          SLFuzzCheck(!ok && Is(0x80002002));
        } else {
          SLFuzzCheck(got == m.next + 1);
          m.playing[m.next] = ok;
          m.startFrame[m.next] = first % m.length;
          m.moved[m.next] = false;
          SLFuzzCheck(ok == (speed < 9) && (ok || Is(0x80002022)));
          m.next = (m.next + 1) % m.voices;
        }
        break;
      }
      case 1: {  // Stop
        const bool ok = device.Stop(m.sound, voice);
        if (!live) SLFuzzCheck(!ok && Is(0x80001008));
        else if (m.playback && voice > m.voices) SLFuzzCheck(!ok && Is(0x80001001));
        else SLFuzzCheck(ok);
        for (u32 v = 0; v < 3; ++v)
          if (m.playback && (voice == 0 || voice == v + 1) && voice <= m.voices) m.playing[v] = false;
        break;
      }
      case 2: {  // GetPlayPosition
        u32 frame = 12345;
        const bool ok = device.GetPlayPosition(m.sound, voice, &frame);
        if (!m.playback) {
          SLFuzzCheck(!ok && Is(0x80002021) && frame == 0);
        } else if (voice == 0 || voice > m.voices) {
          SLFuzzCheck(!ok && Is(0x80001001));
        } else if (!m.playing[voice - 1]) {
          SLFuzzCheck(ok && Is(0x000F0001) && frame == 0);
        } else {
          SLFuzzCheck(ok && frame < m.length);
          if (!m.moved[voice - 1]) SLFuzzCheck(frame == m.startFrame[voice - 1]);
        }
        break;
      }
      case 3: {  // Lock, then write into what it handed out
        const u32 first = in.Take() * 11, count = in.Take() * 9;
        void *a = nullptr, *b = nullptr;
        u32 na = 0, nb = 0;
        const bool ok = device.Lock(&a, &na, &b, &nb, m.sound, first, count);
        if (!live) SLFuzzCheck(!ok && Is(0x8001000B));
        else if (first >= m.length || count == 0) SLFuzzCheck(!ok && Is(0x80001001));
        else if (m.locked) SLFuzzCheck(!ok && Is(0x80010011));
        else if (!m.playback) SLFuzzCheck(!ok && Is(0x8001000B));
        else SLFuzzCheck(ok);
        if (!ok) {
          SLFuzzCheck(!a && !b && na == 0 && nb == 0);
          break;
        }
        m.locked = true;
        const u32 want = count < m.length ? count : m.length;
        SLFuzzCheck(a == m.sound->samples + u64(first) * align && na + nb == want);
        SLFuzzCheck(nb == 0 ? !b : (b == m.sound->samples && na == m.length - first));
        std::memset(a, in.Take(), std::size_t(na) * align);
        if (b) std::memset(b, in.Take(), std::size_t(nb) * align);
        break;
      }
      case 4: {  // Unlock
        const bool ok = device.Unlock(m.sound);
        SLFuzzCheck(ok == (m.playback && m.locked) && (ok || Is(0x80010012)));
        m.locked = false;
        break;
      }
      case 5:
      case 6:
      case 7: {  // setters: the stored value changes exactly when the call succeeds
        const int raw = int(in.Take());
        bool ok = false, valid = false;
        const u32 index = voice ? voice - 1 : 0;
        const bool voiceOk = live && voice >= 1 && voice <= m.voices;
        SL_GS_SoundVoice before{};
        if (voiceOk) before = m.sound->voices[index];
        if (op == 5) {
          ok = device.SetVolume(m.sound, voice, u32(raw % 120));
          valid = raw % 120 <= 100;
        } else if (op == 6) {
          ok = device.SetPan(m.sound, voice, raw - 128);
          valid = raw - 128 >= -100 && raw - 128 <= 100;
        } else {
          const double speed = kSpeeds[raw % 5];
          ok = device.SetSpeed(m.sound, voice, speed);
          valid = speed > 0;
          if (valid && voiceOk && m.playback) SLFuzzCheck(ok == (speed < 9));
        }
        if (!voiceOk) SLFuzzCheck(!ok && Is(0x80001008));
        else if (!valid) SLFuzzCheck(!ok && Is(0x80001001));
        else if (!m.playback) SLFuzzCheck(!ok && Is(0x80002020));
        if (voiceOk && !ok) SLFuzzCheck(std::memcmp(&before, &m.sound->voices[index], sizeof before) == 0);
        break;
      }
      default: {  // the mixer takes a stretch of every playing voice
        std::vector<u8> mix(4 * (1 + in.Take() * 4));
        SLFuzzCheck(SLPlatformSoundPull(mix.data(), mix.size()));
        for (Model& each : sounds) std::memset(each.moved, 1, sizeof each.moved);
        break;
      }
    }
  }
  for (Model& m : sounds)
    if (m.sound && m.sound != stale) SLFuzzCheck(device.DestroySoundAndClear(&m.sound));
  return 0;
}
