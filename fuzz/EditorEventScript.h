// Random editor sessions: application events of every kind (known and unknown types, valid
// and stale data, every command id of the editor's table with its "+ i" ranges) played
// through the editor's dispatcher as its loop would, with random answers to the boxes and
// dialogs they open. The fuzz target feeds it bytes; the app test feeds it a fixed
// std::mt19937 seed. The dialogs that would run their own loop (audio, text, action, project
// name) are replaced by seams that answer at random a step later; the cinema and the export,
// which run the movie for its whole length, are left out.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "adventure/movie/Movie.h"
#include "app/services/AppEvents.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/editor/EditorCallbacks.h"
#include "app/editor/EditorMenus.h"
#include "app/editor/EditorScreen.h"
#include "app/editor/EditorState.h"
#include "app/services/ModalStack.h"
#include "app/project/ProjectFile.h"
#include "app/dialogs/MsgBox.h"
#include "foundation/SLMemory.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "tests/support/ContentFiles.h"

namespace editor_events {

// True when the movie's undo ring holds a step.
inline bool UndoHasStep() { return Movie_CanUndo(Movie_Get()); }

inline bool UndoButtonEnabled() {
  CSL_GS_GuiWindow* button = Editor_Control(kIdMenuDeshacer);
  return button && button->IsEnabled();
}

// The completions the dialog seams were handed, answered by the script.
struct PendingDialogs {
  void (*audio)(const char* name, u32 type) = nullptr;
  void (*text)(const char* text) = nullptr;
};
inline PendingDialogs& Pending() {
  static PendingDialogs pending;
  return pending;
}

inline void InstallDialogSeams() {
  EditorDialogs dialogs = EditorDialogs_Get();
  dialogs.chooseAudio = [](void (*done)(const char*, u32), u32) { Pending().audio = done; };
  dialogs.enterText = [](u32, void (*done)(const char*)) { Pending().text = done; };
  dialogs.chooseAction = [](CharacterInstance*, i32) {};
  dialogs.askProjectName = [] {};
  EditorDialogs_Set(dialogs);
}

// The project modes that run the cinema and the export.
constexpr u32 kModeOpen = 2, kViewMode = 3, kExportMode = 4;

// Loads the content's item packs into the catalogue (characters first, as the loading
// screen does) and opens the editor on the sample movie; false when the content is missing.
inline bool OpenEditor(const std::string& content, const char* movie) {
  namespace fs = std::filesystem;
  std::error_code error;
  for (const char* kind : {"Personajes", "Fondos", "Objetos"}) {
    std::vector<std::string> packs;
    for (const auto& entry : fs::directory_iterator(content + "/Gfx/" + kind, error)) packs.push_back(entry.path().string());
    if (error || packs.empty()) return false;
    std::sort(packs.begin(), packs.end());
    for (std::string path : packs) {
      std::replace(path.begin(), path.end(), '/', '\\');
      path = content_test::Narrow(path);
      const std::string k = kind;
      const bool loaded = k == "Personajes" ? CharacterCatalog_LoadItem(path.c_str(), nullptr, nullptr, 0, 100) != nullptr
                          : k == "Fondos"   ? SceneCatalog_LoadItem(path.c_str(), nullptr) != nullptr
                                            : ObjectCatalog_LoadItem(path.c_str(), nullptr) != nullptr;
      if (!loaded) return false;
    }
  }
  EditorScreen_Load();
  InstallDialogSeams();
  if (ProjectFile_Load(content_test::Narrow(movie).c_str()) != 1) return false;
  Movie_SelectScene(Movie_Get(), 0);
  return true;
}

inline void NoOp(u32, std::uintptr_t) {}

class Script {
 public:
  // `movie` is reopened whenever a session has left the editor without scenes.
  Script(std::function<u32()> next, std::string movie) : m_next(std::move(next)), m_movie(std::move(movie)) {}

  // One random event through the dispatcher, then what it queued, then maybe an answer.
  void Step() {
    if (Movie_SceneCount(Movie_Get()) == 0 && !OpenWindow()) {
      // As the open dialog does: load, then tell the editor.
      const u32 loaded = ProjectFile_Load(content_test::Narrow(m_movie).c_str());
      Movie_SelectScene(Movie_Get(), 0);
      i32 result = 0;
      EditorScreen_OnEvent(loaded == 1 ? APP_EVENT_PROJECT_LOADED : APP_EVENT_PROJECT_LOAD_FAILED, kModeOpen, &result);
    }
    const u32 what = m_next();
    Dispatch(RandomType(what), what);
    Pump();
    if (m_next() % 3 == 0) AnswerOne();
    Pump();
  }

  // The last event this script made, for failure messages.
  const std::string& LastEvent() const { return m_last; }

  // Answers every open box, dialog, seam and menu until none is left; false when that
  // does not end (a box that reopens itself forever).
  bool AnswerAll() {
    for (int round = 0; round < 200; ++round) {
      Pump();
      if (!AnswerOne()) {
        Pump();
        if (!OpenWindow() && !Pending().audio && !Pending().text) return true;
      }
    }
    return false;
  }

 private:
  u32 RandomType(u32 what) {
    static const u32 kTypes[] = {0, 1, 2, 2, 2, 2, 2, 2, 3, 4, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0xFFFFFFFF};
    return kTypes[what % (sizeof kTypes / sizeof kTypes[0])];
  }

  u32 RandomCommand() {
    const u32 r = m_next();
    switch (r % 4) {
      case 0:
        return 101 + (r >> 2) % 207;  // the toolbar
      case 1:
        return APP_CLOSE_BUTTON_ID;
      default: {
        // A menu entry: 100001 + 1000 k, or one of its "+ i" entries near either end.
        static const u32 kOffsets[] = {0, 0, 1, 2, 3, 997, 998, 999, 1000};
        const u32 k = (r >> 2) % 31;
        return 100001 + 1000 * k + kOffsets[(r >> 8) % 9];
      }
    }
  }

  void Dispatch(u32 type, u32 what) {
    std::uintptr_t data = 0;
    switch (type) {
      case APP_EVENT_DEFERRED_CALL: {
        DeferredCall* call = AppEvent_NewDeferredCall(what >> 8, &NoOp, 0);
        if (!call) return;
        data = reinterpret_cast<std::uintptr_t>(call);
        break;
      }
      case APP_EVENT_COMMAND:
        data = RandomCommand();
        // The cinema and the export run the whole movie; they have tests of their own.
        if (data == kIdMenuPlayMovie || data == kIdMenuExportar) return;
        break;
      case APP_EVENT_SLIDER: {
        static const u32 kIds[] = {kIdRepSlider, kIdMenuDeshacer, 0};
        data = reinterpret_cast<std::uintptr_t>(Editor_Control(kIds[(what >> 8) % 3]));
        if ((what >> 12) % 4 == 0) data = what >> 16;  // a stale or made-up window
        break;
      }
      case APP_EVENT_PROJECT_LOADED:
        data = (what >> 8) % 8;
        if (data == kViewMode || data == kExportMode) return;
        break;
      case APP_EVENT_EXPORT_STEP:
      case APP_EVENT_EXPORT_END:
        data = 0;  // no export runs: its steps carry no dialog
        break;
      default:
        data = (what >> 8) % 300;
        break;
    }
    m_last = "type " + std::to_string(type) + " data " + std::to_string(data);
    i32 result = 0;
    EditorScreen_OnEvent(type, data, &result);
  }

  // Plays what the events queued, as the loop would at the next ticks.
  void Pump() {
    AppEvent event;
    for (int n = 0; n < 64 && AppEventQueue_Take(&event); ++n) {
      if (event.type == APP_EVENT_PROJECT_LOADED && (event.data == kViewMode || event.data == kExportMode)) continue;
      i32 result = 0;
      EditorScreen_OnEvent(event.type, event.data, &result);
    }
  }

  static CSL_GS_GuiWindow* OpenWindow() {
    CSL_GS_GuiManager& gui = App_GuiManager();
    for (CSL_GS_GuiWindow* w = gui.GetFirstChild(nullptr); w; w = gui.GetNextSibling(w))
      if (w->IsKindOf(CSL_GS_GuiTopLevelWindow::GetClassRecord()) && w->IsVisibleInTree()) return w;
    return nullptr;
  }

  // Answers one open thing: a seam, a menu, a box (one of its buttons or its close) or a
  // dialog (its close). False when nothing was open.
  bool AnswerOne() {
    PendingDialogs& pending = Pending();
    const u32 r = m_next();
    if (pending.audio) {
      auto done = pending.audio;
      pending.audio = nullptr;
      done(r % 2 ? nullptr : "*/no/existe.wav", r % 3 ? 0 : 16);
      return true;
    }
    if (pending.text) {
      auto done = pending.text;
      pending.text = nullptr;
      done(r % 2 ? nullptr : "Hola, \xbf" "qu\xe9 tal?");
      return true;
    }
    EditorMenus_Close();
    CSL_GS_GuiWindow* w = OpenWindow();
    if (!w) return false;
    if (w->IsKindOf(CMyMsgBoxDialog::GetClassRecord()) && r % 4) {
      m_last += ", then button " + std::to_string(1 + (r >> 2) % 7) + " of box " + std::to_string(w->GetId());
      w->OnCommand(w, 1 + (r >> 2) % 7);
    } else {
      m_last += ", then close of " + std::to_string(w->GetId());
      w->OnClose();
    }
    return true;
  }

  std::function<u32()> m_next;
  std::string m_movie;
  std::string m_last;
};

}  // namespace editor_events
