#include "adventure/movie/ExportMix.h"

#include <cstring>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/movie/SceneRender.h"
#include "gamesystem/SLSfx.h"
#include "media/SLAudioEffect.h"
#include "media/SLMoviePlayer.h"
#include "media/SLPcmConvert.h"

namespace {
constexpr u32 kMixFrames = kExportRate;  // one second of stereo

bool SetCount(TSLArray<double>* array, u64 count) {
  return count <= 0x7FFFFFFF ? array->SetSize(u32(count)) : SLFail(SL_E_OUT_OF_MEMORY, false);
}
}  // namespace

u64 ExportMix_SourceFrames(u32 rate, u32 n) { return u64(rate) * n / kExportRate + 220; }

CMovieExportMixer::~CMovieExportMixer() {
  SLErrorKeeper keep;
  if (m_channelMix) m_channelMix->Release();
  if (m_resample) m_resample->Release();
}

bool CMovieExportMixer::BeginFrame() {
  if (!SetCount(&m_mix, u64(kMixFrames) * 2)) return false;
  std::memset(m_mix.GetData(), 0, sizeof(double) * kMixFrames * 2);
  return SLSucceed(true);
}

bool CMovieExportMixer::MixInto(const void* block, u32 frames, const SLAudioFormat* format) {
  if (!format || format->channels == 0) return SLFail(SL_E_INVALID_ARG, false);
  if (!SetCount(&m_doubles, u64(frames) * format->channels)) return false;
  if (!SLConvertPcmToDouble(m_doubles.GetData(), block, frames, format)) return false;
  const double* stereo = m_doubles.GetData();
  if (format->channels != 2) {
    if (m_channelMixChannels != format->channels) {
      // Routes add up: a new channel count needs a fresh set.
      if (m_channelMix) m_channelMix->Release();
      m_channelMixChannels = 0;
      m_channelMix = new CSLAudioEffectChannelMix();
      if (!m_channelMix) return SLFail(SL_E_OUT_OF_MEMORY, false);
      const double percent = 200.0 / format->channels < 100.0 ? 200.0 / format->channels : 100.0;
      for (u32 c = 0; c < 2; ++c)
        if (!m_channelMix->AddRoute(c % format->channels, percent, c)) return false;
      m_channelMixChannels = format->channels;
    }
    if (!SetCount(&m_stereo, u64(frames) * 2)) return false;
    u32 mapped = 0;
    if (!m_channelMix->Process(m_stereo.GetData(), &mapped, stereo, frames, format->channels)) return false;
    stereo = m_stereo.GetData();
  }
  u32 produced = frames;
  if (format->samplesPerSecond != kExportRate) {
    if (!m_resample && !(m_resample = new CSLAudioEffectResample())) return SLFail(SL_E_OUT_OF_MEMORY, false);
    if (!m_resample->SetRates(format->samplesPerSecond, kExportRate) || !m_resample->SetQuality(-1)) return false;
    const u64 out = u64(frames) * kExportRate / format->samplesPerSecond;
    if (!SetCount(&m_resampled, (out + out / 20 + 1) * 2)) return false;
    if (!m_resample->Process(m_resampled.GetData(), &produced, stereo, frames, 2)) return false;
    stereo = m_resampled.GetData();
  }
  const u32 take = produced < kMixFrames ? produced : kMixFrames;
  double* mix = m_mix.GetData();
  for (u32 i = 0; i < take * 2; ++i) mix[i] += stereo[i];
  return SLSucceed(true);
}

void CMovieExportMixer::WriteSamples(i16* out, u32 n) const {
  const double* mix = m_mix.GetData();
  const u32 values = (n < kMixFrames ? n : kMixFrames) * 2;
  for (u32 i = 0; i < values; ++i) {
    const double v = mix[i] > 1.0 ? 1.0 : mix[i] < -1.0 ? -1.0 : mix[i];
    out[i] = i16(v * 32767.0);
  }
  for (u32 i = values; i < n * 2; ++i) out[i] = 0;
}

namespace {
// Copies `count` frames of the sound from `from` (wrapping) into a silent block of
// `blockFrames` frames: what is not copied stays silence, never the previous source.
// Silence is the format's middle value: 0x80 in unsigned 8-bit samples, where a zero byte
// would be full scale below zero.
bool CopySoundFrames(SL_GS_SoundRecord* sound, const SL_GS_SoundInfo& info, u32 from, u32 count, u32 blockFrames,
                     TSLArray<u8>* block) {
  const u64 bytes = u64(blockFrames) * info.format.blockAlign;
  if (bytes > 0x7FFFFFFF || !block->SetSize(u32(bytes))) return SLFail(SL_E_OUT_OF_MEMORY, false);
  std::memset(block->GetData(), SLBytesPerSample(info.format.bitsPerSample) == 1 ? 0x80 : 0, size_t(bytes));
  CSL_GS_BaseSfx* sfx = AdventureDevices_Get().sfx;
  void *first = nullptr, *second = nullptr;
  u32 firstFrames = 0, secondFrames = 0;
  if (!sfx->Lock(&first, &firstFrames, &second, &secondFrames, sound, from, count)) return false;
  const u64 align = info.format.blockAlign;
  const u32 head = firstFrames < blockFrames ? firstFrames : blockFrames;
  const u32 tail = secondFrames < blockFrames - head ? secondFrames : blockFrames - head;
  if (first && head) std::memcpy(block->GetData(), first, size_t(head * align));
  if (second && tail) std::memcpy(block->GetData() + head * align, second, size_t(tail * align));
  sfx->Unlock(sound);
  return SLSucceed(true);
}

// The shared part of the element sources once the element has been evaluated.
u32 ElementAudio(const ElementResults* element, u32 frame, SL_GS_SoundRecord* sound, u32 loops, TSLArray<u8>* block,
                 u32 n, SLAudioFormat* format, u32* frames) {
  CSL_GS_BaseSfx* sfx = AdventureDevices_Get().sfx;
  SL_GS_SoundInfo info{};
  if (!sound || !sfx || !sfx->GetSoundInfo(sound, &info) || info.length == 0) return SLSucceed(0u);
  if (frame < element->segmentStart || frame > element->segmentEnd) return SLSucceed(0u);
  const u64 rate = info.format.samplesPerSecond, t = frame - element->segmentStart;
  // 64-bit steps: t x r overflows 32 bits about 27 minutes into a 44.1 kHz segment.
  u64 from = t * rate / 60;
  u64 count = (t + 2) * rate / 60 - from;
  if (loops) {
    from %= info.length;
  } else if (from >= info.length) {
    count = 0;
  } else if (from + count > info.length) {
    count = info.length - from;
  }
  const u64 window = ExportMix_SourceFrames(info.format.samplesPerSecond, n);
  if (count > window) count = window;
  if (count == 0 || window > 0xFFFFFFFF) return SLSucceed(0u);
  if (!CopySoundFrames(sound, info, u32(from), u32(count), u32(window), block)) return 0;
  *format = info.format;
  *frames = u32(window);
  return SLSucceed(1u);
}
}  // namespace

u32 CharacterInstance_AudioAtFrame(CharacterInstance* instance, u32 frame, TSLArray<u8>* block, u32 n,
                                   SLAudioFormat* format, u32* frames) {
  // The export draws the element after this call: its results must be those of the
  // frame it last rendered, whichever way this call ends.
  const ElementResults kept = *instance;
  const u32 keptAction = instance->currentAction;
  auto restore = SLMakeScopeGuard([&] {
    *static_cast<ElementResults*>(instance) = kept;
    instance->currentAction = keptAction;
  });
  CharacterInstance_EvaluateAndDraw(instance, frame, kModeEvaluate);
  CharacterRecord* character = instance->character >= 0 ? CharacterCatalog_GetAt(u32(instance->character)) : nullptr;
  CharacterAction* action = character && instance->visible
                                ? CatalogRecord_GetListEntryAt(character, instance->currentAction)
                                : nullptr;
  if (!action) return SLSucceed(0u);
  return ElementAudio(instance, frame, action->sound, action->soundLoops, block, n, format, frames);
}

u32 ObjectInstance_AudioAtFrame(ObjectInstance* instance, u32 frame, TSLArray<u8>* block, u32 n,
                                SLAudioFormat* format, u32* frames) {
  const ElementResults kept = *instance;
  const u32 keptState = instance->currentState;
  auto restore = SLMakeScopeGuard([&] {
    *static_cast<ElementResults*>(instance) = kept;
    instance->currentState = keptState;
  });
  ObjectInstance_EvaluateAndDraw(instance, frame, kModeEvaluate);
  ObjectRecord* object = instance->object >= 0 ? ObjectCatalog_GetAt(u32(instance->object)) : nullptr;
  ObjectState* state =
      object && instance->visible && instance->currentState < object->states.GetCount() ? object->states[instance->currentState]
                                                                                       : nullptr;
  if (!state) return SLSucceed(0u);
  return ElementAudio(instance, frame, state->sound, state->soundLoops, block, n, format, frames);
}

u32 SoundItem_MixInto(CMovieExportMixer* mixer, const void* block, u32 frames, const SLAudioFormat* format) {
  return mixer->MixInto(block, frames, format) ? 1u : 0u;
}

namespace {
// A sound item's two movie frames of sound from its player. An item whose player has no
// file or no sound is skipped; a read past the end gives 0 frames: silence.
bool MixSoundItem(CMovieExportMixer* mixer, SoundItem* item, u32 frame) {
  SLAudioFormat format{};
  {
    SLErrorKeeper keep;
    if (!item->player->GetAudioFormat(&format) || format.samplesPerSecond == 0) return true;
  }
  const u64 rate = format.samplesPerSecond, t = frame - item->startFrame;
  const u64 from = t * rate / 60, to = (t + 2) * rate / 60;
  const void* samples = nullptr;
  u32 got = 0;
  if (!item->player->ReadAudio(from, u32(to - from), &samples, &got)) return false;
  return got == 0 || SoundItem_MixInto(mixer, samples, got, &format);
}
}  // namespace

u32 Scene_MixAudioForFrame(CMovieExportMixer* mixer, Scene* scene, u32 frame, i16* out, u32 n) {
  if (!mixer->BeginFrame()) return 0;
  SLAudioFormat format{};
  u32 frames = 0;
  TSLArray<u8>* block = mixer->SourceBlock();
  for (CharacterInstance* character : ListRange<CharacterInstance>(&scene->characters)) {
    if (!CharacterInstance_AudioAtFrame(character, frame, block, n, &format, &frames)) {
      if (SLGetLastError() != SL_OK) return 0;
      continue;
    }
    if (!SoundItem_MixInto(mixer, block->GetData(), frames, &format)) return 0;
  }
  // Objects, carriers first, as the renderer orders them.
  bool failed = false;
  for (ObjectInstance* object : ListRange<ObjectInstance>(&scene->objects)) object->flags &= ~kObjectMixed;
  for (bool progress = true; progress && !failed;) {
    progress = false;
    for (ObjectInstance* object : ListRange<ObjectInstance>(&scene->objects)) {
      if ((object->flags & kObjectMixed) || (object->carrier && !(object->carrier->flags & kObjectMixed))) continue;
      object->flags |= kObjectMixed;
      progress = true;
      if (ObjectInstance_AudioAtFrame(object, frame, block, n, &format, &frames)) {
        if (!SoundItem_MixInto(mixer, block->GetData(), frames, &format)) failed = true;
      } else if (SLGetLastError() != SL_OK) {
        failed = true;
      }
      if (failed) break;
    }
  }
  if (failed) return 0;
  for (SoundItem* item : ListRange<SoundItem>(&scene->sounds))
    if (item->startFrame <= frame && frame < item->endFrame && !MixSoundItem(mixer, item, frame)) return 0;
  mixer->WriteSamples(out, n);
  return SLSucceed(1u);
}
