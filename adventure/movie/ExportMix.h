// The soundtrack of an exported movie. Nothing plays during an export: for every exported
// frame the sounds that the characters, objects and sound items would make are read as
// PCM, converted to doubles, mapped to stereo, resampled to 22,050 Hz and summed, then
// written as 16-bit stereo. One mixer serves one export; its buffers and effects are
// made on first use and reused, so the mix runs on a small stack.
#pragma once

#include "adventure/movie/Movie.h"
#include "foundation/SLArray.h"
#include "media/reader/SLBaseVideoAudioReader.h"

class CSLAudioEffectChannelMix;
class CSLAudioEffectResample;

inline constexpr u32 kExportRate = 22050;

class CMovieExportMixer {
 public:
  CMovieExportMixer() = default;
  ~CMovieExportMixer();
  CMovieExportMixer(const CMovieExportMixer&) = delete;
  CMovieExportMixer& operator=(const CMovieExportMixer&) = delete;

  // Zeroes one second of stereo at 22,050 Hz.
  bool BeginFrame();
  // Adds k frames of PCM in `format` to the mix (converted, mapped to two channels with
  // each side taking channel c mod channels at min(200 / channels, 100) percent, resampled
  // linearly); at most one second of the result. False with the effect's code.
  bool MixInto(const void* block, u32 frames, const SLAudioFormat* format);
  // The first n stereo frames, clamped to [-1, 1], times 32767, truncated.
  void WriteSamples(i16* out, u32 n) const;

  // The element's source block of the caller, reused between calls.
  TSLArray<u8>* SourceBlock() { return &m_source; }

 private:
  TSLArray<double> m_mix, m_doubles, m_stereo, m_resampled;
  TSLArray<u8> m_source;
  CSLAudioEffectChannelMix* m_channelMix = nullptr;
  u32 m_channelMixChannels = 0;  // the input channel count its routes are for
  CSLAudioEffectResample* m_resample = nullptr;
};

// The frames of source PCM mixed for one element and n output frames: r x n / 22050 +
// 220 (r the source's rate), in 64 bits.
u64 ExportMix_SourceFrames(u32 rate, u32 n);

// An element's sound for frame f as PCM: 1 when `block` holds ExportMix_SourceFrames
// frames in *format (the part past the sound's end zero-filled), 0 when the element is
// silent now. The element's evaluation results are as they were before the call.
u32 CharacterInstance_AudioAtFrame(CharacterInstance* instance, u32 frame, TSLArray<u8>* block, u32 n,
                                   SLAudioFormat* format, u32* frames);
u32 ObjectInstance_AudioAtFrame(ObjectInstance* instance, u32 frame, TSLArray<u8>* block, u32 n,
                                SLAudioFormat* format, u32* frames);

// Adds one source to the mix.
u32 SoundItem_MixInto(CMovieExportMixer* mixer, const void* block, u32 frames, const SLAudioFormat* format);

// Writes n stereo frames (2n values, left first) of the soundtrack for frame f. A sound
// that has ended, or an item whose file is gone, is silence; only a failing read or
// effect fails the frame. Players must be stopped (a render in mode 0 stops them).
u32 Scene_MixAudioForFrame(CMovieExportMixer* mixer, Scene* scene, u32 frame, i16* out, u32 n);
