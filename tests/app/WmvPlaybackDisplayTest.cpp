// A player opens the movie files to their end: ffplay on a virtual display (its sound on
// SDL's dummy driver) plays a file of pictures and sound written by WmvWriter and exits
// with status 0. Runs alone (its name says it starts a display).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/media/WmvWriter.h"
#include "tests/support/TempDir.h"

TEST(WmvPlayback, FfplayPlaysAWrittenFileToItsEnd) {
  if (std::system("command -v ffplay >/dev/null && command -v xvfb-run >/dev/null") != 0)
    GTEST_SKIP() << "ffplay and xvfb-run are the player and its display";
  TempDir dir;
  const std::string path = dir.Host("reproducir.WMV");
  WmvWriter writer;
  WmvWriter_Init(&writer);
  const WmvWriterSettings settings = {664, 372, 15, 0, 100.0, 22050, 2, 16, 0};
  ASSERT_EQ(WmvWriter_Open(&writer, path.c_str(), &settings), 0);
  std::vector<std::uint8_t> picture(std::size_t(WmvWriter_RowBytes(664)) * 372);
  std::vector<std::int16_t> sound(22050 * 2);
  for (u32 second = 0; second < 2; ++second) {
    for (std::size_t i = 0; i < sound.size(); ++i) sound[i] = std::int16_t((i * 97 + second) % 16000 - 8000);
    ASSERT_EQ(WmvWriter_WriteAudioSamples(&writer, sound.data(), 22050), 0);
    for (u32 p = 0; p < 15; ++p) {
      for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = std::uint8_t(i / 1992 + (second * 15 + p) * 8);
      ASSERT_EQ(WmvWriter_WriteVideoFrame(&writer, picture.data()), 0);
    }
  }
  ASSERT_EQ(WmvWriter_Finish(&writer), 0);
  WmvWriter_Destroy(&writer);
  const std::string command = "SDL_AUDIODRIVER=dummy timeout 60 xvfb-run -a ffplay -autoexit -loglevel error '" +
                              path + "' >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
}
