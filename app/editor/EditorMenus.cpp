#include "app/editor/EditorMenus.h"

#include <cstring>

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/movie/Movie.h"
#include "adventure/movie/MovieList.h"
#include "adventure/movie/SceneRender.h"
#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/editor/EditorState.h"
#include "foundation/SLStr.h"
#include "gui/SLGuiMenuPopup.h"
#include "storage/SLPath.h"

namespace {

constexpr u32 kMenuStyle = SL_GUI_WS_VISIBLE;
constexpr i32 kSceneMenuFatal = -911;
constexpr i32 kItemMenuFatal = -916;
constexpr const char* kNoMemory = "Insuficiente memoria";

// Builds one menu tree: the first menu made is the open menu, the next ones its
// submenus (at most three), all kept in the editor's popups. A window or entry that
// cannot be made ends the program with the menu's code.
class MenuBuilder {
 public:
  explicit MenuBuilder(i32 fatalCode) : m_fatal(fatalCode) {}

  CSL_GS_GuiMenuPopup* Make(u32 id) {
    CMyGuiManager& gui = App_GuiManager();
    auto* menu = static_cast<CSL_GS_GuiMenuPopup*>(
        gui.CreateWindow(CSL_GS_GuiMenuPopup::GetClassRecord(), "", 10, 40, 150, 20, kMenuStyle, AppSkin, id, nullptr));
    if (!menu) Fatal();
    EditorPopups& popups = Editor_State().popups;
    for (CSL_GS_GuiWindow*& slot : popups.windows)
      if (!slot) {
        slot = menu;
        return menu;
      }
    gui.DestroyWindow(menu);
    Fatal();
  }
  void Item(CSL_GS_GuiMenuPopup* menu, u32 id, const char* text, CSL_GS_GuiMenuPopup* submenu = nullptr) {
    if (menu->InsertItem(id, text, 0, submenu, menu->GetItemCount()) < 0) Fatal();
  }
  void Separator(CSL_GS_GuiMenuPopup* menu) {
    if (menu->InsertSeparator(menu->GetItemCount()) < 0) Fatal();
  }

 private:
  [[noreturn]] void Fatal() { App_Fatal(m_fatal, kNoMemory); }
  i32 m_fatal;
};

bool PlaysAt(const SoundItem* sound, u32 frame) { return sound->startFrame <= frame && frame < sound->endFrame; }
bool ShownAt(const TextItem* text, u32 frame) { return text->startFrame <= frame && frame < text->endFrame; }

// Adds an entry base + 1 + i to `submenu` for every text attached to `element` (of
// attachment `attachKind`) shown at `frame`; i counts the scene's whole text list.
void AddTextEntries(MenuBuilder& build, CSL_GS_GuiMenuPopup* submenu, const Scene* scene, u32 attachKind,
                    const void* element, u32 frame, u32 base) {
  u32 i = 0;
  for (const TextItem* text : ListRange<TextItem>(&scene->texts)) {
    const u32 index = i++;
    if (index >= kMenuListLimit) break;
    if (text->attachKind != attachKind || text->attachedTo != element || !ShownAt(text, frame)) continue;
    build.Item(submenu, base + 1 + index, EditorMenus_TextLabel(text).c_str());
  }
}

// The same for sounds of `kind` (attached to `element` unless it is null) playing at
// `frame`; i counts the scene's whole sound list.
void AddSoundEntries(MenuBuilder& build, CSL_GS_GuiMenuPopup* submenu, const Scene* scene, u32 kind,
                     const void* element, u32 frame, u32 base) {
  u32 i = 0;
  for (const SoundItem* sound : ListRange<SoundItem>(&scene->sounds)) {
    const u32 index = i++;
    if (index >= kMenuListLimit) break;
    if (sound->kind != kind || (element && sound->attachedTo != element) || !PlaysAt(sound, frame)) continue;
    build.Item(submenu, base + 1 + index, EditorMenus_SoundLabel(sound).c_str());
  }
}

// Every menu opens up and to the left of the pointer (its right edge at the pointer's x,
// its bottom at its y), clear of the pointer and of the tooltip that hangs below it.
constexpr u32 kMenuPlacement = 1 | 4;

void Track(CSL_GS_GuiMenuPopup* menu) {
  CMyGuiManager& gui = App_GuiManager();
  Editor_State().stageMode = kStageInactive;
  gui.TrackPopupMenu(menu, gui.GetMouseX(), gui.GetMouseY(), nullptr, kMenuPlacement);
}

// The action `lastPlacedAction` names for a character in `state`: -2 and -3 stand for
// the state's talk action; null when there is none.
CharacterAction* LastPlacedAction(CharacterRecord* record, const CharacterInstance* instance, i32 state) {
  i32 action = instance->lastPlacedAction;
  if (action == -2 || action == -3) {
    CharacterState* s = CharacterRecord_GetStateAt(record, u32(state));
    action = s ? s->talkAction : -1;
  }
  if (action < 0) return nullptr;
  return CatalogRecord_GetListEntryAt(record, u32(action));
}

bool CanRepeatLastAction(CharacterRecord* record, const CharacterInstance* instance, u32 frame) {
  if (instance->lastPlacedAction == -1) return false;
  const i32 state = CharacterInstance_StateAtFrame(instance, frame);
  if (state < 0) return false;
  CharacterAction* action = LastPlacedAction(record, instance, state);
  if (!action || !action->visible) return false;
  if (action->availableInState.GetLength() == 0) return true;
  CharacterState* s = CharacterRecord_GetStateAt(record, u32(state));
  return s && SLStrICmpA(action->availableInState.CStr(), s->name.CStr()) == 0;
}

void BuildCharacterMenu(MenuBuilder& build, const Scene* scene, CharacterInstance* instance, u32 frame, u32 origin) {
  CharacterRecord* record = instance->character >= 0 ? CharacterCatalog_GetAt(u32(instance->character)) : nullptr;
  CSL_GS_GuiMenuPopup* menu = build.Make(kMenuCharacter);
  build.Item(menu, kCmdCharacterNewAction, "Agregar nueva acci\xf3n");
  if (record && CanRepeatLastAction(record, instance, frame))
    build.Item(menu, kCmdCharacterRepeatAction, "Repetir \xfaltima acci\xf3n");
  if (origin == kItemMenuFromButton && List_IsEmpty(&instance->actions)) {
    build.Separator(menu);
    build.Item(menu, kCmdCharacterMove, "Mover");
  }
  if (record) {
    const i32 state = CharacterInstance_StateAtFrame(instance, frame);
    CharacterState* s = state >= 0 ? CharacterRecord_GetStateAt(record, u32(state)) : nullptr;
    CharacterAction* talk = s && s->talkAction != -1 ? CatalogRecord_GetListEntryAt(record, u32(s->talkAction)) : nullptr;
    if (talk && talk->dialogue != 0) {
      build.Separator(menu);
      if (talk->dialogue & 2) build.Item(menu, kCmdCharacterWrittenDialogue, "Agregar di\xe1logo escrito");
      if (talk->dialogue & 1) build.Item(menu, kCmdCharacterSpokenDialogue, "Agregar di\xe1logo hablado");
    }
  }
  if (frame >= instance->firstFrame && IntervalList_FindAtFrame(instance, frame)) {
    build.Separator(menu);
    build.Item(menu, kCmdCharacterDeleteAction, "Borrar acci\xf3n actual");
  }
  CSL_GS_GuiMenuPopup* texts = build.Make(kMenuCharacterTexts);
  AddTextEntries(build, texts, scene, kTextSpokenByCharacter, instance, frame, kMenuCharacterTexts);
  CSL_GS_GuiMenuPopup* sounds = build.Make(kMenuCharacterSounds);
  AddSoundEntries(build, sounds, scene, kSoundSpoken, instance, frame, kMenuCharacterSounds);
  if (texts->GetItemCount() || sounds->GetItemCount()) {
    build.Separator(menu);
    if (texts->GetItemCount()) build.Item(menu, kMenuCharacterTexts, "Borrar texto", texts);
    if (sounds->GetItemCount()) build.Item(menu, kMenuCharacterSounds, "Borrar audio", sounds);
  }
  build.Separator(menu);
  build.Item(menu, kCmdCharacterDelete, "Borrar personaje");
  if (origin == kItemMenuFromButton) {
    CSL_GS_GuiMenuPopup* advanced = build.Make(kMenuCharacterAdvanced);
    build.Item(advanced, kCmdCharacterAddText, "Agregar texto asociado");
    build.Separator(advanced);
    build.Item(advanced, kCmdCharacterAddSound, "Agregar audio asociado");
    build.Separator(menu);
    build.Item(menu, kMenuCharacterAdvanced, "Opciones avanzadas", advanced);
  }
  Track(menu);
}

void BuildObjectMenu(MenuBuilder& build, const Scene* scene, ObjectInstance* instance, u32 frame, u32 origin) {
  CSL_GS_GuiMenuPopup* menu = build.Make(kMenuObject);
  if (origin == kItemMenuFromButton && List_IsEmpty(&instance->states)) {
    build.Item(menu, kCmdObjectMove, "Mover");
    build.Separator(menu);
  }
  bool changing = false;
  for (const ObjectStateEntry* entry : ListRange<ObjectStateEntry>(&instance->states))
    if (entry->startFrame <= frame && frame < entry->endFrame) changing = true;
  if (changing) {
    build.Item(menu, kCmdObjectDeleteState, "Borrar cambio de estado actual");
    build.Separator(menu);
  }
  CSL_GS_GuiMenuPopup* texts = build.Make(kMenuObjectTexts);
  AddTextEntries(build, texts, scene, kTextAttachedToObject, instance, frame, kMenuObjectTexts);
  CSL_GS_GuiMenuPopup* sounds = build.Make(kMenuObjectSounds);
  AddSoundEntries(build, sounds, scene, kSoundObject, instance, frame, kMenuObjectSounds);
  if (texts->GetItemCount() || sounds->GetItemCount()) {
    if (texts->GetItemCount()) build.Item(menu, kMenuObjectTexts, "Borrar texto", texts);
    if (sounds->GetItemCount()) build.Item(menu, kMenuObjectSounds, "Borrar audio", sounds);
    build.Separator(menu);
  }
  build.Item(menu, kCmdObjectDelete, "Borrar objeto");
  if (origin == kItemMenuFromButton) {
    CSL_GS_GuiMenuPopup* advanced = build.Make(kMenuObjectAdvanced);
    build.Separator(advanced);
    build.Item(advanced, kCmdObjectAddText, "Agregar texto asociado");
    build.Separator(advanced);
    build.Item(advanced, kCmdObjectAddSound, "Agregar audio asociado");
    build.Item(menu, kMenuObjectAdvanced, "Opciones avanzadas", advanced);
  }
  Track(menu);
}

}  // namespace

std::string EditorMenus_TextLabel(const TextItem* text) {
  const char* s = text->balloon.text;
  if (!s) return "(sin texto)";
  while (*s == ' ') ++s;
  size_t n = 0;
  while (u8(s[n]) >= 32) ++n;
  if (n >= 38) return std::string(s, 38) + "...";
  return std::string(s, n);
}

std::string EditorMenus_SoundLabel(const SoundItem* sound) {
  const char* path = const_cast<SoundItem*>(sound)->fileName.CStr();
  if (!path) return "(sin nombre)";
  if (*path == '*') ++path;  // a full path of the user's, not a file of the "Sfx" folder
  SLPathParts parts{};
  SLSplitPathA(path, &parts);
  std::string name(path + parts.nameStart, parts.nameEnd - parts.nameStart);
  if (name.size() > 40) name.resize(40);
  return name.empty() ? "(sin nombre)" : name;
}

void EditorMenus_Close() {
  EditorPopups& popups = Editor_State().popups;
  CMyGuiManager& gui = App_GuiManager();
  // Submenus first: a menu destroyed while one of its submenus lives detaches it.
  for (i32 i = 3; i >= 0; --i) {
    CSL_GS_GuiWindow* window = popups.windows[i];
    popups.windows[i] = nullptr;
    if (window && gui.IsRegistered(window)) gui.DestroyWindow(window);
  }
}

void EditorScreen_ShowSceneMenu() {
  Movie* movie = Editor_Movie();
  Scene* scene = Editor_CurrentScene();
  if (!movie || !scene) return;
  EditorMenus_Close();
  const u32 frame = scene->currentFrame;
  const u32 sceneCount = Movie_SceneCount(movie);
  MenuBuilder build(kSceneMenuFatal);
  CSL_GS_GuiMenuPopup* menu = build.Make(kMenuScene);
  bool music = false;
  for (const SoundItem* sound : ListRange<SoundItem>(&scene->sounds))
    if (sound->kind == kSoundMusic && PlaysAt(sound, frame)) music = true;
  if (music) {
    build.Item(menu, kCmdSceneMusic, "Cambiar m\xfasica de fondo");
    build.Item(menu, kCmdSceneStopMusic, "Detener m\xfasica de fondo");
  } else {
    build.Item(menu, kCmdSceneMusic, "Agregar m\xfasica de fondo");
  }
  if (sceneCount > 1) {
    build.Separator(menu);
    if (movie->currentScene != 0) build.Item(menu, kCmdSceneMoveBefore, "Colocar antes de la escena anterior");
    if (movie->currentScene + 1 < sceneCount) build.Item(menu, kCmdSceneMoveAfter, "Colocar luego de la siguiente escena");
  }
  CSL_GS_GuiMenuPopup* sounds = build.Make(kMenuSceneSounds);
  AddSoundEntries(build, sounds, scene, kSoundEffect, nullptr, frame, kMenuSceneSounds);
  if (sounds->GetItemCount()) {
    build.Separator(menu);
    build.Item(menu, kMenuSceneSounds, "Borrar audio", sounds);
  }
  build.Separator(menu);
  build.Item(menu, kCmdSceneDuplicate, "Duplicar escena");
  build.Separator(menu);
  build.Item(menu, kCmdSceneDelete, "Eliminar escena");
  CSL_GS_GuiMenuPopup* advanced = build.Make(kMenuSceneAdvanced);
  build.Item(advanced, kCmdSceneAddFloatingText, "Agregar texto flotante");
  build.Separator(advanced);
  build.Item(advanced, kCmdSceneAddEffect, "Agregar efecto de sonido");
  build.Separator(menu);
  build.Item(menu, kMenuSceneAdvanced, "Opciones avanzadas", advanced);
  Track(menu);
}

void EditorScreen_ShowItemMenu(u32 origin) {
  Scene* scene = Editor_CurrentScene();
  if (!Editor_Movie() || !scene) return;
  const EditorSelection selection = Editor_State().selection;
  if (!selection.element) return;
  const u32 frame = scene->currentFrame;
  switch (selection.kind) {
    case kHitCharacter: {
      EditorMenus_Close();
      MenuBuilder build(kItemMenuFatal);
      BuildCharacterMenu(build, scene, static_cast<CharacterInstance*>(selection.element), frame, origin);
      break;
    }
    case kHitObject: {
      EditorMenus_Close();
      MenuBuilder build(kItemMenuFatal);
      BuildObjectMenu(build, scene, static_cast<ObjectInstance*>(selection.element), frame, origin);
      break;
    }
    case kHitText: {
      EditorMenus_Close();
      MenuBuilder build(kItemMenuFatal);
      CSL_GS_GuiMenuPopup* menu = build.Make(kMenuText);
      build.Item(menu, kCmdTextDelete, "Borrar texto");
      Track(menu);
      break;
    }
    default:
      break;
  }
}

void EditorMenus_Install() {
  Editor_SetSceneMenu(&EditorScreen_ShowSceneMenu);
  Editor_SetItemMenu([](u32 fromStage) {
    EditorScreen_ShowItemMenu(fromStage ? kItemMenuFromStage : kItemMenuFromButton);
  });
}
