// The converter pump that the WAV and AVI readers share, driven by a converter that copies
// whole two-byte blocks and can be told to refuse or to stall from a given conversion on.
#include <gtest/gtest.h>

#include <vector>

#include "media/SLRiffAudio.h"
#include "tests/support/TestSupport.h"

namespace {

using SLRiffAudio::SLAcmPump;

enum class Trouble { kNone, kRefuse, kStall };

struct FakeConverter {
  Trouble trouble = Trouble::kNone;
  u32 troubleFrom = 0;  // the conversion (counted from 0) from which the trouble shows
  u32 conversions = 0;
  std::vector<DWORD> flags;
} g_converter;

MMRESULT FakeConvert(HACMSTREAM, ACMSTREAMHEADER* h, DWORD flags) {
  g_converter.flags.push_back(flags);
  const bool troubled = g_converter.conversions++ >= g_converter.troubleFrom;
  if (troubled && g_converter.trouble == Trouble::kRefuse) return ACMERR_NOTPOSSIBLE;
  if (troubled && g_converter.trouble == Trouble::kStall) return MMSYSERR_NOERROR;
  u32 bytes = h->cbSrcLength < h->cbDstLength ? h->cbSrcLength : h->cbDstLength;
  bytes &= ~1u;
  for (u32 i = 0; i < bytes; ++i) h->pbDst[i] = h->pbSrc[i];
  h->cbSrcLengthUsed = h->cbDstLengthUsed = bytes;
  return MMSYSERR_NOERROR;
}

// The source: `data` handed out at most `piece` bytes per call; `failAt` fails the call
// that would start at that offset.
struct Source {
  std::vector<u8> data;
  u32 piece;
  u32 offset = 0;
  u32 failAt = ~0u;
};

bool NextBytes(SLAcmPump* pump, void* context, u8* to, u32 room, u32* written) {
  Source* s = static_cast<Source*>(context);
  if (s->offset == s->failAt) return SLFail(SL_E_STORAGE_READ, false);
  u32 n = u32(s->data.size()) - s->offset;
  if (n > room) n = room;
  if (n > s->piece) n = s->piece;
  for (u32 i = 0; i < n; ++i) to[i] = s->data[s->offset + i];
  s->offset += n;
  *written = n;
  if (s->offset == s->data.size()) pump->exhausted = true;
  return true;
}

struct Pump {
  SLAudioConverterApi api{};
  ACMSTREAMHEADER header{};
  u8 source[8]{};
  u8 destination[6]{};
  SLAcmPump pump{};

  explicit Pump(bool lenient) {
    g_converter = FakeConverter{};
    api.pAcmStreamConvert = FakeConvert;
    header.pbSrc = source;
    header.pbDst = destination;
    pump.acm = &api;
    pump.header = &header;
    pump.sourceCapacity = sizeof source;
    pump.destinationSize = sizeof destination;
    pump.frameBytes = 2;
    pump.lenient = lenient;
    pump.Restart(0);
    pump.start = true;
  }
};

std::vector<u8> Bytes(u32 count) {
  std::vector<u8> bytes(count);
  for (u32 i = 0; i < count; ++i) bytes[i] = u8(i + 1);
  return bytes;
}

TEST(RiffAudio, PumpHandsOutWholeFramesAndEndsAsTheSourceAndConverterSay) {
  const struct {
    const char* name;
    u32 sourceBytes, piece, skip;
    std::vector<u32> reads;  // frames asked for, one read each, following on
    Trouble trouble;
    u32 troubleFrom;
    bool lenient;
    u32 failAt;
    std::vector<u32> got;  // frames each read gives; reads past a failure are not made
    bool lastOk;
    u32 code;
  } cases[] = {
      {"all in one read", 20, 3, 0, {10}, Trouble::kNone, 0, false, ~0u, {10}, true, SL_OK},
      {"following reads continue", 20, 5, 0, {4, 3, 5}, Trouble::kNone, 0, false, ~0u, {4, 3, 3}, true, SL_OK},
      {"skipped frames", 20, 8, 3, {10}, Trouble::kNone, 0, false, ~0u, {7}, true, SL_OK},
      {"odd tail byte ends the data", 7, 8, 0, {5, 1}, Trouble::kNone, 0, false, ~0u, {3, 0}, true, SL_OK},
      {"refusal, strictly", 20, 8, 0, {10}, Trouble::kRefuse, 1, false, ~0u, {3}, false, SL_E_DECODE_DATA},
      {"refusal, leniently", 20, 8, 0, {10, 2}, Trouble::kRefuse, 1, true, ~0u, {3, 0}, true, SL_OK},
      {"stall with bytes to come", 40, 8, 0, {10}, Trouble::kStall, 2, false, ~0u, {6}, false, SL_E_DECODE_DATA},
      {"stall, leniently", 40, 8, 0, {10}, Trouble::kStall, 2, true, ~0u, {6}, true, SL_OK},
      {"source fails", 20, 4, 0, {10}, Trouble::kNone, 0, false, 8, {4}, false, SL_E_STORAGE_READ},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Pump p(c.lenient);
    g_converter.trouble = c.trouble;
    g_converter.troubleFrom = c.troubleFrom;
    p.pump.skip = c.skip;
    Source source{Bytes(c.sourceBytes), c.piece};
    source.failAt = c.failAt;
    u32 next = c.skip;
    for (size_t r = 0; r < c.got.size(); ++r) {
      std::vector<u8> out(c.reads[r] * 2 + 2, 0xEE);
      u32 got = 0;
      const bool ok = p.pump.Read(NextBytes, &source, out.data(), c.reads[r], &got);
      const bool last = r + 1 == c.got.size();
      EXPECT_TRUE(SLAnsweredWith(ok, last ? c.lastOk : true, last ? c.code : SL_OK)) << "read " << r;
      ASSERT_EQ(got, c.got[r]) << "read " << r;
      for (u32 i = 0; i < got * 2; ++i) ASSERT_EQ(out[i], u8(next * 2 + i + 1)) << "read " << r << " byte " << i;
      EXPECT_EQ(out[got * 2], 0xEE);
      next += got;
    }
    // Only the stream's first conversion resets the converter.
    ASSERT_FALSE(g_converter.flags.empty());
    EXPECT_EQ(g_converter.flags[0], DWORD(ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START));
    for (size_t i = 1; i < g_converter.flags.size(); ++i) EXPECT_EQ(g_converter.flags[i], DWORD(ACM_STREAMCONVERTF_BLOCKALIGN));
  }
}

TEST(RiffAudio, PumpRestartDropsWhatIsBuffered) {
  Pump p(false);
  Source source{Bytes(20), 8};
  u8 out[20];
  u32 got = 0;
  ASSERT_TRUE(p.pump.Read(NextBytes, &source, out, 2, &got));
  source.offset = 0;
  p.pump.Restart(1);
  got = 0;
  ASSERT_TRUE(p.pump.Read(NextBytes, &source, out, 3, &got));
  ASSERT_EQ(got, 3u);
  EXPECT_EQ(out[0], 3);  // frame 1 of the source, not what the first read left buffered
}

}  // namespace
