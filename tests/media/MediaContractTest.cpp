// What the movie model and the export mix rely on from the media layer: the limits of
// the audio effects, the PCM conversion's codes, the reader lookup by extension and a
// player with nothing open.
#include <gtest/gtest.h>

#include "media/SLAudioEffect.h"
#include "media/SLMoviePlayer.h"
#include "media/SLPcmConvert.h"
#include "media/SLVideoAudioReaderWAV.h"
#include "media/reader/SLBaseVideoAudioReader.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(MediaContract, EffectLimits) {
  const struct {
    u32 source;
    double percent;
    u32 destination;
    bool accepted;
  } routes[] = {
      {0, 100, 1, true}, {63, 1e-10, 63, true}, {64, 50, 0, false},
      {0, 50, 64, false}, {0, 1e-11, 0, false}, {0, 100.0001, 0, false},
  };
  for (const auto& r : routes) {
    CSLAudioEffectChannelMix mix;
    EXPECT_TRUE(SLAnsweredWith(mix.AddRoute(r.source, r.percent, r.destination), r.accepted,
                               r.accepted ? SL_OK : SL_E_INVALID_ARG))
        << r.source << " " << r.percent << " " << r.destination;
  }
  const struct {
    double in, out;
    bool accepted;
  } rates[] = {
      {22050, 44100, true}, {100, 24000, true}, {100, 24001, false},
      {24000, 100, true},   {24001, 100, false}, {0, 22050, false}, {22050, 1e-11, false},
  };
  for (const auto& r : rates) {
    CSLAudioEffectResample resample;
    EXPECT_TRUE(SLAnsweredWith(resample.SetRates(r.in, r.out), r.accepted, r.accepted ? SL_OK : SL_E_INVALID_ARG))
        << r.in << " -> " << r.out;
  }
  CSLAudioEffectResample resample;
  for (i32 quality = -3; quality <= 3; ++quality)
    EXPECT_EQ(resample.SetQuality(quality), quality >= -2 && quality <= 2) << quality;
}

TEST(MediaContract, PcmConversionAndReaderLookupCodes) {
  SLTestRegisterClasses();
  const SLAudioFormat format{1, 2, 16, 22050, 88200, 4};
  const i16 samples[4] = {-32768, 32767, 0, 16384};
  double out[4];
  SL_EXPECT_OK(SLConvertPcmToDouble(out, samples, 2, &format));
  EXPECT_DOUBLE_EQ(out[0], -1.0);
  EXPECT_DOUBLE_EQ(out[1], 1.0);
  SL_EXPECT_FAIL(SLConvertPcmToDouble(nullptr, samples, 2, &format), SL_E_NULL_OUTPUT);
  SL_EXPECT_FAIL(SLConvertPcmToDouble(out, nullptr, 2, &format), SL_E_NULL_DATA);
  EXPECT_EQ(CSLBaseVideoAudioReader::FindReaderClassByExtension("Grabada.WaV"),
            CSLVideoAudioReaderWAV::GetClassRecord());
  SL_EXPECT_FAIL(CSLBaseVideoAudioReader::FindReaderClassByExtension("nota.txt"), SL_E_NOT_FOUND);
  CSL_GS_MoviePlayer player;  // nothing open: nothing plays
  SL_EXPECT_FAIL(player.Play(0, 1.0, false, false), SL_E_NOT_INITIALISED);
  SL_EXPECT_FAIL(player.IsPlaying(), SL_E_NOT_INITIALISED);
}

}  // namespace
