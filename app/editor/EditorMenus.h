// The editor's context menus: the scene menu (the current scene's thumbnail) and the menu
// of the selected character, object or text. Each is built afresh from the state of the
// current scene at its current frame; choosing an entry posts its command id, which the
// editor's dispatcher handles.
#pragma once

#include <string>

#include "foundation/SLTypes.h"

struct SoundItem;
struct TextItem;

// Menu and entry ids.
enum : u32 {
  kMenuScene = 100000,
  kCmdSceneMusic = 100001,  // "Agregar/Cambiar música de fondo"
  kCmdSceneStopMusic = 100002,
  kCmdSceneMoveBefore = 100003,
  kCmdSceneMoveAfter = 100004,
  kCmdSceneDuplicate = 100005,
  kCmdSceneDelete = 100006,
  kMenuSceneSounds = 101000,  // entries 101001 + i delete effect sound i
  kMenuSceneAdvanced = 102000,
  kCmdSceneAddFloatingText = 102001,
  kCmdSceneAddEffect = 102002,

  kMenuCharacter = 110000,
  kCmdCharacterNewAction = 110001,
  kCmdCharacterRepeatAction = 110002,
  kCmdCharacterWrittenDialogue = 110003,
  kCmdCharacterSpokenDialogue = 110004,
  kCmdCharacterMove = 110005,
  kCmdCharacterDeleteAction = 110006,
  kCmdCharacterDelete = 110007,
  kMenuCharacterTexts = 111000,   // 111001 + i
  kMenuCharacterSounds = 112000,  // 112001 + i
  kMenuCharacterAdvanced = 113000,
  kCmdCharacterAddText = 113001,
  kCmdCharacterAddSound = 113002,

  kMenuObject = 120000,
  kCmdObjectMove = 120001,
  kCmdObjectDeleteState = 120002,
  kCmdObjectDelete = 120003,
  kMenuObjectTexts = 121000,   // 121001 + i
  kMenuObjectSounds = 122000,  // 122001 + i
  kMenuObjectAdvanced = 123000,
  kCmdObjectAddText = 123001,
  kCmdObjectAddSound = 123002,

  kMenuText = 130000,
  kCmdTextDelete = 130001,
};

// An entry "base + 1 + i" names element i of a list; only i up to 998 has an id of its
// own (the next block of ids belongs to other entries), so larger indexes get no entry.
inline constexpr u32 kMenuListLimit = 999;

// Origins of the element menu.
enum : u32 {
  kItemMenuFromStage = 1,    // a click released on the selected element
  kItemMenuFromButton = 2,   // the "SelItem" button
};

// Shows the scene menu at the mouse; nothing without scenes.
void EditorScreen_ShowSceneMenu();
// Shows the menu of the selected element at the mouse; nothing without scenes or without
// a selected character, object or text.
void EditorScreen_ShowItemMenu(u32 origin);
// Destroys the open menu and its submenus, if any, and clears the editor's popups.
void EditorMenus_Close();
// Makes the editor open these menus (its scene-menu and element-menu seams).
void EditorMenus_Install();

// Entry labels: a text up to its first character below 32, without leading spaces, cut
// to 38 characters plus "..." when it has 38 or more ("(sin texto)" without a string); a
// sound's file-name part without folder and extension, cut to 40 ("(sin nombre)" when
// empty).
std::string EditorMenus_TextLabel(const TextItem* text);
std::string EditorMenus_SoundLabel(const SoundItem* sound);
