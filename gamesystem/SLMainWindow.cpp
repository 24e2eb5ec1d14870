#include "gamesystem/SLMainWindow.h"

#include <cstdarg>
#include <cstdlib>

#include "foundation/SLMemory.h"
#include "foundation/SLPrintf.h"
#include "foundation/SLStr.h"
#include "gamesystem/SLMainWindowApi.h"

using SLInternals::CSL_GS_MainWindowInternal;

namespace SLInternals {

// What a created window needs; its pointer sits in the window's extra bytes (index 0).
struct SLMainWindowRecord {
  CSL_GS_MainWindow* owner;
  char className[32];  // "SL_GS_MWND" and 21 random digits
  u32 flags;
  HINSTANCE instance;
  HWND window;
  HICON icon;
  u32 active;
  u32 minimised;
  u32 waitWhenInactive;
  PALETTEENTRY savedPalette[256];
  u32 quit;       // the pump took the quit message
  u32 destroyed;  // Destroy has begun
  u32 endAsked;   // the system asked to end and nobody has answered yet

  bool IsRunning() const { return active && !minimised; }
};

}  // namespace SLInternals

using SLInternals::SLMainWindowRecord;

namespace {

enum : u32 {
  kCloseDirectly = 0x1,
  kCloseRequested = 0x2,
};

constexpr UINT kMessagesPerPump = 100;
constexpr UINT kIconHandMessage = 0x10;       // MB_ICONHAND
constexpr UINT kReportBoxStyle = 0x12010;     // MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND
constexpr LRESULT kDenyPowerRequest = 0x424D5144;  // BROADCAST_QUERY_DENY
constexpr WPARAM kSizeMaxHide = 4;

int ExitStatusOf(i32 code) {
  if (code == 0) return 0;
  const int low = int(u32(code) & 0xFF);
  return low ? low : 1;
}

// The screen's system palette is saved while the program runs and put back as a
// background palette when it leaves, so that other programs see their own colours.
void SetActiveState(CSL_GS_MainWindowInternal* api, SLMainWindowRecord* record, u32 active, u32 minimised) {
  const bool wasRunning = record->IsRunning();
  record->active = active;
  record->minimised = minimised;
  if (wasRunning == record->IsRunning()) return;
  HDC screen = api->GetDC(nullptr);
  if (!screen) return;
  if (record->IsRunning()) {
    api->GetSystemPaletteEntries(screen, 0, 256, record->savedPalette);
  } else {
    struct {
      WORD version;
      WORD count;
      PALETTEENTRY entries[256];
    } logical{0x300, 256, {}};
    SLMemCopy(logical.entries, record->savedPalette, sizeof logical.entries);
    if (HPALETTE palette = api->CreatePalette(reinterpret_cast<const LOGPALETTE*>(&logical))) {
      HPALETTE previous = api->SelectPalette(screen, palette, TRUE);
      api->RealizePalette(screen);
      api->SelectPalette(screen, previous, TRUE);
      api->DeleteObject(palette);
    }
  }
  api->ReleaseDC(nullptr, screen);
}

bool IsSwallowedSystemCommand(WPARAM command) {
  switch (command & 0xFFF0) {
    case 0xF040:  // SC_NEXTWINDOW
    case 0xF050:  // SC_PREVWINDOW
    case 0xF130:  // SC_TASKLIST
    case 0xF140:  // SC_SCREENSAVE
    case 0xF170:  // SC_MONITORPOWER
      return true;
    default:
      return false;
  }
}

}  // namespace

SL_IMPLEMENT_CLASS(CSL_GS_MainWindow, CSLObject)

CSL_GS_MainWindow::CSL_GS_MainWindow() : m_record(nullptr), m_fatalCode(0), m_reportText{}, m_reportFile{} {}

CSL_GS_MainWindow::~CSL_GS_MainWindow() {
  SLErrorKeeper keeper;
  Destroy();
}

LRESULT CSL_GS_MainWindow::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CSL_GS_MainWindowInternal* api = CSL_GS_MainWindowInternal::Get();
  if (!api) return 0;
  auto* record = reinterpret_cast<SLMainWindowRecord*>(api->GetWindowLong(window, 0));
  if (!record) return api->DefWindowProc(window, message, wParam, lParam);
  switch (message) {
    case WM_CLOSE:
      if (!record->destroyed && !(record->flags & kCloseDirectly)) {
        record->flags |= kCloseRequested;
        return 0;
      }
      break;
    case WM_QUERYENDSESSION:
      if (record->destroyed) break;
      if (record->endAsked || (lParam & ENDSESSION_CRITICAL)) {
        api->PostQuitMessage(0);
      } else {
        record->endAsked = 1;
        record->flags |= kCloseRequested;
      }
      return 0;
    case WM_DESTROY:
      // The record is freed by Destroy: nothing of it is touched afterwards.
      if (!record->destroyed) record->owner->Destroy();
      api->PostQuitMessage(0);
      return 0;
    case WM_SIZE:
      SetActiveState(api, record, record->active, wParam == SIZE_MINIMIZED || wParam == kSizeMaxHide ? 1 : 0);
      break;
    case WM_ACTIVATE:
      SetActiveState(api, record, (wParam & 0xFFFF) != 0 ? 1 : 0, record->minimised);
      break;
    case WM_PAINT:
      if (api->IsIconic(window)) {
        PAINTSTRUCT paint{};
        HDC dc = api->BeginPaint(window, &paint);
        api->SendMessage(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        if (record->icon) {
          RECT client{};
          api->GetClientRect(window, &client);
          int x = (client.right - client.left - api->GetSystemMetrics(SM_CXICON) + 1) / 2;
          int y = (client.bottom - client.top - api->GetSystemMetrics(SM_CYICON) + 1) / 2;
          api->DrawIconEx(dc, x, y, record->icon, 0, 0, 0, nullptr, DI_NORMAL);
        }
        api->EndPaint(window, &paint);
      } else {
        api->ValidateRect(window, nullptr);
      }
      return 0;
    case WM_KEYDOWN:
      if (wParam == 'Q' && (api->GetKeyState(VK_CONTROL) & 0x8000)) api->PostMessage(window, WM_CLOSE, 0, 0);
      break;
    case WM_SYSCOMMAND:
      // Neither task switching nor the screen saver nor monitor power-off while the
      // window has the focus.
      if (IsSwallowedSystemCommand(wParam)) return 0;
      break;
    case WM_POWERBROADCAST:
      return kDenyPowerRequest;
    default:
      break;
  }
  return api->DefWindowProc(window, message, wParam, lParam);
}

bool CSL_GS_MainWindow::Create(HINSTANCE instance, const char* title, u32 iconId, bool closeDirectly) {
  if (m_record) return SLFail(SL_E_ALREADY_INITIALISED, false);
  CSL_GS_MainWindowInternal* api = CSL_GS_MainWindowInternal::Get();
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, false);
  auto* record = static_cast<SLMainWindowRecord*>(SLAllocZeroed(u32(sizeof(SLMainWindowRecord))));
  if (!record) return false;
  m_fatalCode = 0;
  m_reportText[0] = 0;
  m_reportFile[0] = 0;
  record->owner = this;
  SLMemCopy(record->className, "SL_GS_MWND", 10);
  for (int i = 0; i < 21; ++i) record->className[10 + i] = char('0' + std::rand() % 10);
  record->instance = instance;
  record->icon = static_cast<HICON>(
      api->LoadImage(instance, reinterpret_cast<const char*>(std::uintptr_t(iconId)), IMAGE_ICON, 0, 0, 0));
  record->flags = closeDirectly ? u32(kCloseDirectly) : 0u;
  record->active = 1;
  record->waitWhenInactive = 1;

  WNDCLASSEXA windowClass{};
  windowClass.cbSize = u32(sizeof windowClass);
  windowClass.style = 3;  // CS_HREDRAW | CS_VREDRAW
  windowClass.lpfnWndProc = &CSL_GS_MainWindow::WindowProcedure;
  windowClass.cbWndExtra = 4;
  windowClass.hInstance = instance;
  windowClass.hIcon = record->icon;
  windowClass.hIconSm = record->icon;
  windowClass.lpszClassName = record->className;
  auto freeRecord = [&](bool registered) {
    SLErrorKeeper keeper;
    if (registered) api->UnregisterClass(record->className, instance);
    if (record->icon) api->DestroyIcon(record->icon);
    SLFree(record);
  };
  if (!api->RegisterClassEx(&windowClass)) {
    freeRecord(false);
    return SLFail(SL_E_SETUP_FAILED, false);
  }
  // The window's first messages arrive before its record is stored: they get the
  // default processing.
  HWND window = api->CreateWindowEx(WS_EX_CLIENTEDGE, record->className, title ? title : "", 0, 0, 0, 0, 0,
                                    nullptr, nullptr, instance, nullptr);
  if (!window) {
    freeRecord(true);
    return SLFail(SL_E_SYSTEM, false);
  }
  record->window = window;
  m_record = record;
  api->SetWindowLong(window, 0, reinterpret_cast<LONG_PTR>(record));
  api->SendMessage(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(record->icon));
  api->SendMessage(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(record->icon));
  api->ShowWindow(window, SW_SHOWNORMAL);
  api->UpdateWindow(window);
  api->SetFocus(window);
  api->SetCursor(nullptr);
  api->SetForegroundWindow(window);
  return SLSucceed(true);
}

void CSL_GS_MainWindow::Destroy() {
  CSL_GS_MainWindowInternal* api = CSL_GS_MainWindowInternal::Get();
  if (m_record && api) {
    CSLEventSourceDying dying;
    Send(&dying);
    SLMainWindowRecord* record = m_record;
    if (!record->destroyed) {
      record->destroyed = 1;
      if (api->IsWindow(record->window)) api->DestroyWindow(record->window);
    }
    // Later messages of this destruction (WM_NCDESTROY, what other hooks cause) find
    // no record to touch.
    if (api->IsWindow(record->window)) api->SetWindowLong(record->window, 0, 0);
    if (record->icon) api->DestroyIcon(record->icon);
    MSG msg;
    while (api->PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
      if (msg.message == WM_PAINT) api->DispatchMessage(&msg);
    api->UnregisterClass(record->className, record->instance);
    m_record = nullptr;
    SLFree(record);
  }
  if (m_fatalCode && api) {
    api->MessageBeep(kIconHandMessage);
    if (!m_reportText[0])
      SLSnprintfA(m_reportText, sizeof m_reportText, "Error interno: C\xf3" "digo %ld", long(m_fatalCode));
    if (m_reportFile[0]) {
      char shown[sizeof m_reportText + sizeof m_reportFile + 16];
      const u32 length = u32(SLStrLenA(m_reportText));
      const bool ended = length > 0 && m_reportText[length - 1] == '\n';
      SLSnprintfA(shown, sizeof shown, "%s%sArchivo: %s", m_reportText, ended ? "" : "\n", m_reportFile);
      api->MessageBox(nullptr, shown, "Error", kReportBoxStyle);
    } else {
      api->MessageBox(nullptr, m_reportText, "Error", kReportBoxStyle);
    }
    m_fatalCode = 0;  // reported once, however often Destroy runs afterwards
  }
  SLSetLastError(SL_OK);
}

void CSL_GS_MainWindow::FatalError(i32 code, const char* format, ...) {
  char text[1024];
  text[0] = 0;
  if (format) {
    va_list args;
    va_start(args, format);
    SLVsnprintfA(text, sizeof text, format, args);
    va_end(args);
  }
  m_fatalCode = code;
  const i64 magnitude = code < 0 ? -i64(code) : i64(code);
  SLSnprintfA(m_reportText, 120, "Error %05ld", long(magnitude));
  if (text[0]) {
    const u32 used = u32(SLStrLenA(m_reportText));
    SLSnprintfA(m_reportText + used, sizeof m_reportText - used, ": %s", text);
  }
  SLSetLastError(SL_OK);
  const int status = code == 0 ? 1 : ExitStatusOf(code);
  // The window goes and the report is answered here, before the exit begins: from the
  // exit handlers the box would come after the libraries the process loaded while it ran
  // (the display's GL driver and its compiler among them) had torn down their own data,
  // and its drawing would spin in them for ever. The destruction at exit then finds
  // nothing left to destroy or to report.
  Destroy();
  std::exit(status);
}

void CSL_GS_MainWindow::SetReportFile(const char* file) {
  SLSnprintfA(m_reportFile, sizeof m_reportFile, "%s", file ? file : "");
}

bool CSL_GS_MainWindow::ProcessMessages(bool exitWhenEnded) {
  if (!m_record) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!PumpMessages()) return SLSucceed(false);
  SLSetLastError(SL_OK);
  if (exitWhenEnded) std::exit(ExitStatusOf(m_fatalCode));
  return true;
}

bool CSL_GS_MainWindow::PumpMessages() {
  CSL_GS_MainWindowInternal* api = CSL_GS_MainWindowInternal::Get();
  if (!api) return SLFail(SL_E_OUT_OF_MEMORY, true);
  if (!m_record) return SLFail(SL_E_NOT_INITIALISED, true);
  if (m_record->quit) return true;
  // A burst of messages is handled in slices of 100, so that the loop gets to draw;
  // a waiting activation or size change starts a new slice, since the pump would
  // otherwise return into a loop that draws for a window in the wrong state.
  MSG msg;
  UINT handled = 0;
  while (handled < kMessagesPerPump && api->PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    if (!api->GetMessage(&msg, nullptr, 0, 0)) {
      if (m_record) m_record->quit = 1;
      return true;
    }
    api->TranslateMessage(&msg);
    api->DispatchMessage(&msg);
    if (!m_record) return true;  // the window went with that message
    if (++handled == kMessagesPerPump &&
        (api->PeekMessage(&msg, nullptr, WM_ACTIVATE, WM_ACTIVATE, PM_NOREMOVE) ||
         api->PeekMessage(&msg, nullptr, WM_SIZE, WM_SIZE, PM_NOREMOVE)))
      handled = 0;
  }
  if (!m_record->waitWhenInactive) return false;
  while (!m_record->IsRunning()) {
    if (m_record->quit) return true;
    api->WaitMessage();
    if (!api->GetMessage(&msg, nullptr, 0, 0)) {
      m_record->quit = 1;
      return true;
    }
    api->TranslateMessage(&msg);
    api->DispatchMessage(&msg);
    if (!m_record) return true;
  }
  return false;
}

bool CSL_GS_MainWindow::TakeCloseRequest() {
  if (!m_record) return SLFail(SL_E_NOT_INITIALISED, false);
  const bool requested = (m_record->flags & kCloseRequested) != 0;
  m_record->flags &= ~kCloseRequested;
  return SLSucceed(requested);
}

void CSL_GS_MainWindow::DiscardCloseRequests() {
  CSL_GS_MainWindowInternal* api = CSL_GS_MainWindowInternal::Get();
  if (!m_record || !api) {
    SLSetLastError(SL_E_NOT_INITIALISED);
    return;
  }
  m_record->flags &= ~kCloseRequested;
  m_record->endAsked = 0;
  MSG msg;
  while (api->PeekMessage(&msg, m_record->window, WM_CLOSE, WM_CLOSE, PM_REMOVE)) {
  }
  SLSetLastError(SL_OK);
}

bool CSL_GS_MainWindow::SetWaitWhenInactive(bool wait) {
  if (!m_record) return SLFail(SL_E_NOT_INITIALISED, false);
  m_record->waitWhenInactive = wait ? 1 : 0;
  return SLSucceed(true);
}

HWND CSL_GS_MainWindow::GetHandle() const { return m_record ? m_record->window : nullptr; }
