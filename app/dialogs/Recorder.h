// The microphone recorder ("Grabadora de voces"): records the child's voice from the
// default capture device into a temporary file in "Sfx\Grabadas", plays it back, and on
// accept renames it to "<name>.WAV" in the same folder, asking before it replaces a
// recording. A recording that is not accepted never outlives the dialog.
//
// Several recorders may work on one folder at once (two copies of the program on one
// family's folder): each records into a temporary of its own, claimed (SL_STORAGE_CLAIM)
// from "record" until the recording is accepted, dropped or recorded again, so that no
// other recorder opens, replaces or removes it. It is "Grabación.TMP" when no live
// recorder holds that name, else "Grabación.2.TMP" and on; what a killed recorder left
// goes with the next claim of its name. The dialog renames and removes its temporary
// only while it holds it and only when the name still reaches it: a temporary deleted by
// hand, or replaced by another recorder's, is never taken for its own, and an accept
// that finds its recording gone says so.
//
// The file is a 16-bit mono WAVE at 22,050 Hz: a 44-byte header whose two sizes are
// written as 0 and fixed when the recording stops, then the samples as captured.
//
// Threads: the capture callback runs on the sound device's capture worker and only
// writes samples. When a write comes up short (a full disk), or the data would pass what
// the header's 32-bit sizes hold, it stops writing and raises a flag; timer 1 on the main
// thread sees the flag and stops the recording, and says in a box when the disk (its
// quota, the file-size limit) had no room. The callback never stops the capture
// itself (that waits for the very worker it runs on) and never takes the application
// lock (the main thread may hold it while it waits for that worker).
#pragma once

#include <atomic>
#include <cstdint>

#include "gui/SLGuiTopLevelWindow.h"
#include "media/SLMoviePlayer.h"
#include "storage/SLFileStorage.h"

struct SL_GS_SoundRecord;

enum : u32 {
  RECORDER_ID = 1029,
  RECORDER_BOX_ID = 1030,
  RECORDER_NAME_LABEL_ID = 101,
  RECORDER_NAME_ID = 102,
  RECORDER_STATUS_ID = 201,
  RECORDER_RECORD_ID = 301,
  RECORDER_STOP_RECORDING_ID = 302,
  RECORDER_PLAY_ID = 303,
  RECORDER_STOP_PLAYING_ID = 304,
};

// The header's sizes are 32-bit: the data stops before the RIFF size (data + 36) passes
// 0xFFFFFFFF, on a whole sample.
constexpr u64 RECORDER_MAX_DATA_BYTES = 0xFFFFFFDAull;

// (full path of the saved file or null, user value).
using RecordingSavedCallback = void (*)(const char* path, void* user);

class CMyMicRecorderDialog : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CMyMicRecorderDialog)
 public:
  CMyMicRecorderDialog();
  ~CMyMicRecorderDialog() override;

  // Source value 1 marks the dialog's own calls (the stop after a failed write, the
  // accept repeated after "&Si" to the overwrite question).
  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override;
  void OnClose() override;
  void OnDestroy() override;
  // Timer 1: a recording that had to stop (write failed, size limit) is stopped here.
  void OnTimer(u32 id) override;

  CSL_GS_MoviePlayer preview;
  RecordingSavedCallback onDone = nullptr;
  void* onDoneUser = nullptr;
  CSLFileStorage file;  // the claimed temporary file, from "record" until it is kept or dropped
  SL_GS_SoundRecord* capture = nullptr;
  u32 recorded = 0;
  char temporary[4096] = {};  // the path of the temporary `file` holds; empty when none
  u32 temporaryNumber = 0;    // its place in the series of names

  // Shared with the capture worker.
  std::atomic<u32> writing{0};      // the callback may write
  std::atomic<u32> writeFailed{0};  // a write came up short
  std::atomic<u32> writeError{0};   // the system's error of that write (set before writeFailed)
  std::atomic<u32> dataFull{0};     // the data reached `dataLimit`
  std::atomic<u64> dataBytes{0};
  u64 dataLimit = RECORDER_MAX_DATA_BYTES;  // tests lower it

 private:
  bool IsRecording();
  void StartRecording(CSL_GS_GuiWindow* source);
  void StopRecording(CSL_GS_GuiWindow* source);
  void Accept(CSL_GS_GuiWindow* source);
  void StopPlaying();
  bool ClaimTemporary();
  bool FindTemporary();
  void DropTemporary();
  bool HoldsRecording();
  void LoseRecording();
  void ShowResult();  // the status and the buttons after `recorded`
  void DestroyCapture();
  void Close(const char* path);
  void ShowError(const char* text, bool focusName);
};

// The internal source of OnCommand.
inline CSL_GS_GuiWindow* MicRecorder_InternalSource() { return reinterpret_cast<CSL_GS_GuiWindow*>(std::uintptr_t(1)); }

// Opens the recorder over the audio chooser; `onDone` (the chooser's completion) gets the
// saved file's path or null with `chooser`.
CMyMicRecorderDialog* MicRecorderDialog_Show(RecordingSavedCallback onDone, void* chooser);
// The capture callback (capture worker thread).
void MicRecorderDialog_OnCaptureData(SL_GS_SoundRecord* capture, std::uintptr_t dialog, const void* data, u32 count);
// The overwrite question's answer: "&Si" (3) repeats the accept past the question.
void MicRecorderDialog_OnOverwriteAnswer(u32 answer, std::uintptr_t dialog);
