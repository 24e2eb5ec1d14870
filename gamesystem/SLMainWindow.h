// The program's single top-level window: a class name no other running copy shares,
// the title and icon, the message pump every screen loop calls once per pass, close
// requests turned into a flag the application polls, and the fatal-error report shown
// when the window goes at exit.
#pragma once

#include "foundation/SLObject.h"
#include "gamesystem/SLEventSender.h"
#include "platform/wintypes.h"

namespace SLInternals {
struct SLMainWindowRecord;
}

class CSL_GS_MainWindow : public CSLObject, public TSLEventSender<CSL_GS_MainWindow, CSLBaseEvent*> {
  SL_DECLARE_CLASS(CSL_GS_MainWindow)
 public:
  CSL_GS_MainWindow();
  ~CSL_GS_MainWindow() override;

  // Registers the class and opens the window with the title and the icon group
  // `iconId` of `instance`. With `closeDirectly` a close request closes the window;
  // without it the request only sets the flag of TakeCloseRequest.
  // 0x80010003 already created; 0x8001000f class not registered; 0x80000001 no memory
  // or no window system.
  bool Create(HINSTANCE instance, const char* title, u32 iconId, bool closeDirectly);
  // Tells the listeners (CSLEventSourceDying), closes the window and frees its class;
  // then shows the recorded fatal error, if any, in a message box. Sets 0.
  void Destroy();

  // Records the error and its text, destroys the window (which shows the report and
  // waits for its answer) and ends the process. The exit status keeps the low 8 bits of
  // the code (1 when they are all 0, so that a fatal end never looks like success).
  [[noreturn]] void FatalError(i32 code, const char* format, ...);
  // Names the file a coming fatal error is about (null or "" names none): the report
  // shows it after its text, as "Archivo: " and the name.
  void SetReportFile(const char* file);

  // One pass of the pump: true when the program must end (the quit message came or the
  // window is gone). With `exitWhenEnded` the process ends then, with the recorded code.
  // 0x80010002 before Create.
  bool ProcessMessages(bool exitWhenEnded);
  bool PumpMessages();

  // The close-requested flag, cleared by taking it. 0x80010002 before Create.
  // The system's request to end (WM_QUERYENDSESSION: SIGTERM or SIGINT on Linux) is a
  // close request too; a second one while the first is still unanswered, or within three
  // seconds of it, ends the message pump, so that the program leaves by its normal
  // shutdown without asking again.
  bool TakeCloseRequest();
  // Clears the flag and drops the window's pending WM_CLOSE messages; a request to end
  // the session counts as answered.
  void DiscardCloseRequests();
  // While set (after Create), the pump waits as long as the window is inactive or
  // minimised. 0x80010002 before Create.
  bool SetWaitWhenInactive(bool wait);
  HWND GetHandle() const;
  i32 GetFatalCode() const { return m_fatalCode; }
  const char* GetReportText() const { return m_reportText; }

 private:
  friend struct SLInternals::SLMainWindowRecord;
  static LRESULT WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  SLInternals::SLMainWindowRecord* m_record;
  i32 m_fatalCode;
  char m_reportText[1024];
  char m_reportFile[1024];
};
