// The MP3 finder: every MP3 file on the computer's fixed disks, offered as background
// music. A thread of the dialog walks the disks (or, once a walk has run to its end,
// reads the list remembered in the settings file, section "BuscaMP3") while the dialog
// says "Buscando archivos MP3"; then the list shows in two columns with a preview.
//
// Threads: the main thread runs the dialog; the dialog's thread reads the settings or
// runs a file finder, whose own thread calls Mp3FinderDialog_StoreEntry for each file.
// Those two only append to `files` and write the settings while the list is hidden; the
// dialog's thread ends by raising `listReady` (release), and timer 1 on the main thread
// takes it (acquire) and shows the list. No worker takes the application lock, so the
// main thread may wait for them from inside it (cancel, accept, destruction).
#pragma once

#include <atomic>

#include "foundation/SLArray.h"
#include "foundation/SLThread.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "media/SLMoviePlayer.h"

enum : u32 {
  MP3_FINDER_ID = 1028,
  MP3_SEARCH_LABEL_ID = 401,
  MP3_WAIT_LABEL_ID = 402,
  MP3_RESCAN_ID = 411,
};

// Longest path kept: the accept copies at most this many characters.
constexpr u32 MP3_FINDER_MAX_PATH = 4095;

// (full path or null, user value).
using Mp3ChosenCallback = void (*)(const char* path, void* user);

class CMyMP3FinderDialog : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CMyMP3FinderDialog)
 public:
  CMyMP3FinderDialog();
  ~CMyMP3FinderDialog() override;

  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override;
  void OnClose() override;
  void OnDestroy() override;
  // Timer 1: shows the list once the thread has it, and blinks the selection.
  void OnTimer(u32 id) override;
  bool OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition) override;

  // The dialog's thread: the remembered list or a walk of the fixed disks.
  void ThreadMain();
  // Starts the thread (the list must be hidden).
  bool StartThread();
  // Asks the thread to stop and waits for it, however long that takes.
  void StopThread();
  // The list's presentation once the thread is done (main thread, inside the lock).
  void ShowList();

  CSL_GS_MoviePlayer preview;
  TSLArray<char*> files;  // full paths
  Mp3ChosenCallback onDone = nullptr;
  void* onDoneUser = nullptr;
  u32 selected = 0xFFFFFFFF;
  std::atomic<u32> listReady{0};

  u32 FileCount() const { return files.GetCount(); }

 private:
  void StopPreview();
  void Close(const char* path);
  CSLWorkerThread m_thread;
};

// Opens the finder over the audio chooser; `onDone` (the chooser's completion) gets the
// chosen path or null with `chooser`.
CMyMP3FinderDialog* Mp3FinderDialog_Show(Mp3ChosenCallback onDone, void* chooser);
// The file finder's callback (its thread): remembers one found file. Paths longer than
// MP3_FINDER_MAX_PATH and failures to copy or store are skipped.
void Mp3FinderDialog_StoreEntry(const char* path, void* dialog, u32 error);
// Shows the rows for the bar's position.
void Mp3FinderDialog_FillList(CMyMP3FinderDialog* dialog);
