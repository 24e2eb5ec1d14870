// The help system: topics of a compiled HTML help file shown through the HTML help
// control ("hhctrl.ocx", bound by name at first use). One global object serves the
// program; the application gives it the help file and the owner window at start-up and
// asks for topics from the help commands.
#pragma once

#include "foundation/SLObject.h"
#include "foundation/SLSingleton.h"
#include "foundation/SLString.h"
#include "platform/wintypes.h"

// The control's commands.
enum : u32 {
  SL_HH_DISPLAY_TOPIC = 0,
  SL_HH_CLOSE_ALL = 18,
};

// The abstract help system.
class CSL_WND_BaseHelpSystem : public CSLObject {
  SL_DECLARE_CLASS(CSL_WND_BaseHelpSystem)
};

namespace SLInternals {

using SLHtmlHelpProc = HWND (*)(HWND window, const char* text, UINT command, DWORD_PTR data);

// The loaded help control: the library and its entry point, either of which may be
// missing (help then is not supported). At exit every help window is closed and the
// library freed.
class CSL_WND_HtmlHelpInternal : public CSLBaseOODClass {
 public:
  ~CSL_WND_HtmlHelpInternal() override;
  bool Initialize() override;  // binds what there is; always true
  // The process's instance (null with the error code when it cannot be made).
  static CSL_WND_HtmlHelpInternal* GetInstance();
  SLHtmlHelpProc GetEntry() const { return m_htmlHelpA; }

 private:
  HMODULE m_library = nullptr;
  SLHtmlHelpProc m_htmlHelpA = nullptr;
  static CSL_WND_HtmlHelpInternal* s_instance;
};

// What the help object keeps from its first use on.
struct SLHtmlHelpData {
  HWND owner = nullptr;
  CSL_WND_HtmlHelpInternal* api = nullptr;
  CSLStringAnsi file;
  CSLStringAnsi window;  // the help window's name; empty
  CSLStringAnsi topic;   // the last topic string built
};

}  // namespace SLInternals

class CSL_WND_HtmlHelp : public CSL_WND_BaseHelpSystem {
  SL_DECLARE_CLASS(CSL_WND_HtmlHelp)
 public:
  CSL_WND_HtmlHelp() = default;
  ~CSL_WND_HtmlHelp() override;

  // Every operation first makes sure the help data exists: 0x80000001 without memory,
  // 0x80002003 without the control's entry point.
  // A non-empty name becomes the help file, an empty or null one clears it; then every
  // help window is closed. True.
  bool SetHelpFile(const char* name);
  // Closes every help window, then keeps `window` as the owner. True.
  bool SetOwnerWindow(HWND window);
  // Shows "file::topic" (with ">window" when a window name is set): 0x80010002 without an
  // owner or a help file, 0x80001001 for an empty or null topic, 0x80002002 when the
  // control refuses it.
  bool ShowTopic(const char* topic);
  // The topic string of the last ShowTopic that got that far (empty before).
  const char* GetLastTopicString();

 private:
  bool EnsureData();
  void CloseAllWindows();

  SLInternals::SLHtmlHelpData* m_data = nullptr;
};

// The program's help object.
extern CSL_WND_HtmlHelp g_htmlHelp;
