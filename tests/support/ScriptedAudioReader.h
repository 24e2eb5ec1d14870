// A reader of one scripted audio layout, for the tests and fuzz targets of the sound
// loaders: the streams, format and length are what the script says, each read delivers as
// many frames as the script's `deliver` decides (exactly what was asked when it is empty),
// and frame f holds the bytes `byte`(f, i). Include it in one file of a program only.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "foundation/SLError.h"
#include "media/reader/SLBaseVideoAudioReader.h"

struct SLAudioScript {
  u32 streams = 1;
  u32 types[3] = {SL_STREAM_AUDIO, SL_STREAM_AUDIO, SL_STREAM_AUDIO};
  SLAudioFormat format{};
  u64 length = 0;
  std::function<u32(u32 asked)> deliver;
  u8 (*byte)(u64 frame, u32 i) = [](u64 frame, u32 i) { return u8(frame + i); };
};
inline SLAudioScript g_audioScript;

class CScriptedAudioReader : public CSLBaseVideoAudioReader {
  SL_DECLARE_CLASS(CScriptedAudioReader)
 public:
  ~CScriptedAudioReader() override { Close(); }
  bool Open(CSLBaseStorage* storage, u32) override { return HoldSource(storage), SLSucceed(true); }
  bool Close() override { return ReleaseSource(), SLSucceed(true); }
  bool GetStreamCount(u32* count) override { return *count = g_audioScript.streams, SLSucceed(true); }
  bool GetStreamType(u32 stream, u32* type) override {
    if (stream >= g_audioScript.streams) return *type = SL_STREAM_UNKNOWN, SLFail(SL_E_MEDIA_NO_STREAM, false);
    return *type = g_audioScript.types[stream], SLSucceed(true);
  }
  bool GetVideoFormat(u32, SLVideoFormat*) override { return false; }
  bool GetVideoFrameRate(u32, double*) override { return false; }
  bool IsKeyFrame(u32, u64) override { return false; }
  bool GetAudioFormat(u32, SLAudioFormat* out) override { return *out = g_audioScript.format, SLSucceed(true); }
  bool GetAudioLength(u32, u64* frames) override { return *frames = g_audioScript.length, SLSucceed(true); }
  bool GetVideoFrameCount(u32, u64*) override { return false; }
  bool StartStream(u32) override { return SLSucceed(true); }
  bool GetVideoFrame(u32, u64, const void**, u32*) override { return false; }
  bool ReadAudio(u32, u64 first, u32 count, const void** samples, u32* got) override {
    const u32 frames = g_audioScript.deliver ? g_audioScript.deliver(count) : count;
    const u32 align = g_audioScript.format.blockAlign ? g_audioScript.format.blockAlign : 1;
    m_piece.assign(std::size_t(frames) * align, 0);
    for (std::size_t i = 0; i < m_piece.size(); ++i) m_piece[i] = g_audioScript.byte(first + i / align, u32(i % align));
    *samples = m_piece.data();
    *got = frames;
    return SLSucceed(true);
  }
  bool StopStream(u32) override { return SLSucceed(true); }

 private:
  std::vector<u8> m_piece;
};
SL_IMPLEMENT_CLASS_CREATABLE(CScriptedAudioReader, CSLBaseVideoAudioReader)
