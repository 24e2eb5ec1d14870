// The audio dialogs where threads meet the screen loop: cancels and rescans at random
// moments of the MP3 finder's walk, and stops at random moments of a recording, all from
// inside the application lock as the screen loop runs them. A watchdog ends the program
// when any of it hangs; nothing here is timed.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "app/services/AppEvents.h"
#include "app/media/Mp3Finder.h"
#include "app/dialogs/Recorder.h"
#include "tests/support/AudioDialogsFixture.h"

using namespace AudioTest;

namespace {

// Aborts the program when `seconds` pass before it is dismissed.
class Watchdog {
 public:
  explicit Watchdog(int seconds)
      : m_thread([this, seconds] {
          for (int tenth = 0; tenth < seconds * 10; ++tenth) {
            if (m_done.load()) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
          }
          std::fprintf(stderr, "watchdog: the audio dialogs hang\n");
          std::abort();
        }) {}
  ~Watchdog() {
    m_done = true;
    m_thread.join();
  }

 private:
  std::atomic<bool> m_done{false};
  std::thread m_thread;
};

// Runs `action` inside the application lock, as the screen loop runs every handler.
template <class F>
void Locked(F action) {
  CSLCriticalSection& lock = AppLock_Get();
  ASSERT_TRUE(lock.Enter());
  action();
  lock.Leave();
}

void Ticks(std::mt19937& random, u32 most) {
  const u32 count = random() % (most + 1);
  for (u32 i = 0; i < count; ++i)
    Locked([] { App_GuiManager().Update(true); });
}

class AudioStress : public AudioDialogsTest {
 protected:
  // The microphone hears a raw file of noise through SDL's disk driver.
  static void SetUpTestSuite() {
    std::mt19937 noise(7);
    std::string samples(20 * 44100, 0);
    for (char& byte : samples) byte = char(noise());
    UseDiskMicrophone(samples, "slstress-in.raw");
    AudioDialogsTest::SetUpTestSuite();
  }
  void SetUp() override {
    AudioDialogsTest::SetUp();
    char pattern[] = "/tmp/slstressXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    disk = pattern;
    for (int d = 0; d < 40; ++d) {
      const std::string folder = disk + "/d" + std::to_string(d);
      std::filesystem::create_directories(folder);
      for (int f = 0; f < 25; ++f) std::ofstream(folder + "/f" + std::to_string(f) + (f % 5 ? ".dat" : ".mp3"));
    }
    SLPlatformSetDriveRoot(disk.c_str());
  }
  void TearDown() override {
    AudioDialogsTest::TearDown();
    SLPlatformSetDriveRoot(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(disk, ignored);
  }
  std::string disk;
};

}  // namespace

TEST_F(AudioStress, CancelsAndRescansAtRandomMomentsOfTheWalk) {
  Watchdog watchdog(240);
  std::mt19937 random(20261207);
  u32 listed = 0;
  for (int round = 0; round < 600; ++round) {
    // Half the openings walk the disk, half read the remembered list.
    if (random() % 2) App_Services().settings->SetStringA("BuscaMP3", "EscaneoCompleto", "0", 0);
    CMyMP3FinderDialog* dialog = nullptr;
    Locked([&] { dialog = Mp3FinderDialog_Show(nullptr, nullptr); });
    ASSERT_NE(dialog, nullptr);
    Ticks(random, 3);
    if (random() % 3 == 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
      Locked([&] { dialog->OnCommand(dialog, MP3_RESCAN_ID); });
      Ticks(random, 2);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
    if (Visible(dialog, MP3_RESCAN_ID)) {
      ++listed;
      EXPECT_EQ(dialog->FileCount(), 200u);
    }
    Locked([&] { dialog->OnCommand(dialog, 2); });
    ASSERT_EQ(AppHarness::TopLevelWithId(MP3_FINDER_ID), nullptr);
    ASSERT_EQ(ModalStack_GetDepth(), 0u);
  }
  RecordProperty("listed", int(listed));
}

TEST_F(AudioStress, StopsCancelsAndAcceptsAtRandomMomentsOfARecording) {
  Watchdog watchdog(240);
  std::mt19937 random(7121);
  for (int round = 0; round < 400; ++round) {
    CMyMicRecorderDialog* dialog = nullptr;
    Locked([&] { dialog = MicRecorderDialog_Show(nullptr, nullptr); });
    ASSERT_NE(dialog, nullptr);
    // Some recordings end by themselves (their size limit) while the user stops them.
    if (random() % 2) dialog->dataLimit = 2 * (random() % 4000);
    Locked([&] { dialog->OnCommand(Child(dialog, RECORDER_RECORD_ID), RECORDER_RECORD_ID); });
    Ticks(random, 2);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
    switch (random() % 4) {
      case 0:
        Locked([&] { dialog->OnCommand(Child(dialog, RECORDER_STOP_RECORDING_ID), RECORDER_STOP_RECORDING_ID); });
        break;
      case 1:
        Locked([&] { dialog->OnCommand(Child(dialog, RECORDER_RECORD_ID), RECORDER_RECORD_ID); });
        Ticks(random, 2);
        break;
      case 2:
        Locked([&] {
          Child(dialog, RECORDER_NAME_ID)->SetText("Estres");
          dialog->OnCommand(Child(dialog, 1), 1);
        });
        break;
      default:
        break;
    }
    if (AppHarness::TopLevelWithId(RECORDER_ID)) Locked([&] { dialog->OnCommand(dialog, 2); });
    // An accept may have asked to replace the last round's file: the answer is no.
    while (CSL_GS_GuiWindow* box = AppHarness::TopLevelWithId(RECORDER_BOX_ID)) Locked([&] { box->OnClose(); });
    AppHarness::DrainQueue();
    if (AppHarness::TopLevelWithId(RECORDER_ID)) Locked([&] { dialog->OnCommand(dialog, 2); });
    ASSERT_EQ(AppHarness::TopLevelWithId(RECORDER_ID), nullptr);
    ASSERT_EQ(ModalStack_GetDepth(), 0u);
    ASSERT_EQ(RecorderTemporaries(), std::vector<std::string>{});
  }
  std::filesystem::remove(Host("Sfx/Grabadas/Estres.WAV"));
}
