// The editor's answers: what happens when a confirmation box, the text dialog or the
// audio chooser that an editor command opened comes back. The editor never waits for a
// dialog; each of these runs later, from the event queue, and checks again that what it
// acts on (scenes, the selected character or object, the element of an index) is still
// there. Every change takes one undo point first and enables "MenuDeshacer", except the
// duplicate of a scene.
//
// Box answers: 3 "&Si", 4 "&No"; anything else ("&Cancelar", closing) does nothing.
#pragma once

#include <cstdint>

#include "foundation/SLTypes.h"

struct CharacterAction;
struct CharacterInstance;

// The dialogs the editor's answers and the action placement open. Each dialog's own file
// installs its opener when the editor loads (null: that dialog is not offered).
struct EditorDialogs {
  // "Elije una acción" for the placed character, with a preselected action (-1: none).
  void (*chooseAction)(CharacterInstance* character, i32 preset);
  // The text dialog; `noTextButton` makes its second button read "&Sin texto". The
  // completion gets the text, or null when the dialog was left without one.
  void (*enterText)(u32 noTextButton, void (*done)(const char* text));
  // The audio chooser with the categories of `flags`; the completion gets the name
  // ("*" + path for a file outside the sound folder) and its kind (16 background music),
  // or a null name when it was cancelled.
  void (*chooseAudio)(void (*done)(const char* name, u32 type), u32 flags);
  // The project-name dialog that saves the movie.
  void (*askProjectName)();
};
void EditorDialogs_Set(const EditorDialogs& dialogs);
const EditorDialogs& EditorDialogs_Get();

// Box and dialog kinds of the element menus' user values.
enum : u32 {
  kUserSceneEffect = 101001,     // + i: sound i of the scene, an effect
  kUserCharacterText = 111001,   // + i: text i, spoken by the selected character
  kUserCharacterSound = 112001,  // + i: sound i, the selected character's voice
  kUserObjectText = 121001,      // + i: text i, attached to the selected object
  kUserObjectSound = 122001,     // + i: sound i, of the selected object
};
// Target kinds of EditorText_Add and EditorAudio_Add.
enum : u32 {
  kAddToCharacter = 2,
  kAddToObject = 4,
  kAddToScene = 32,
};
inline constexpr u32 kAudioTypeMusic = 16;

// --- Confirmation boxes (answer, user value) ---
void EditorAction_OnConfirmDelete(u32 answer, std::uintptr_t user);
void EditorCharacter_OnConfirmDelete(u32 answer, std::uintptr_t user);
void EditorStateChange_OnConfirmDelete(u32 answer, std::uintptr_t user);
void EditorObject_OnConfirmDelete(u32 answer, std::uintptr_t user);
void EditorText_OnConfirmDelete(u32 answer, std::uintptr_t user);
void EditorAudio_OnConfirmDelete(u32 answer, std::uintptr_t user);
void EditorAudio_OnConfirmStopMusic(u32 answer, std::uintptr_t user);
void EditorScreen_OnConfirmNewMovie(u32 answer, std::uintptr_t user);
void EditorScreen_OnConfirmSaveBeforeExit(u32 answer, std::uintptr_t user);
void EditorScreen_OnConfirmSaveBeforeMenu(u32 answer, std::uintptr_t user);

// --- Text dialog and audio chooser completions ---
void EditorText_OnEnteredForCharacter(const char* text);
void EditorText_OnEnteredForObject(const char* text);
void EditorText_OnEnteredForScene(const char* text);
void EditorAudio_OnChosenForCharacter(const char* name, u32 type);
void EditorAudio_OnChosenForObject(const char* name, u32 type);
void EditorAudio_OnChosenForScene(const char* name, u32 type);

// A text (leading control bytes and blanks dropped; nothing when none is left) from the
// current frame, spoken by a character, attached to an object or floating on the scene.
void EditorText_Add(const char* text, u32 kind, void* element);
// A sound from the current frame: a voice of a character, a sound of an object, or an
// effect or background music of the scene (which replaces the music from here on).
void EditorAudio_Add(const char* name, u32 type, u32 kind, void* element);
// The kept part of a text for EditorText_Add: from its first byte above 32, null when
// there is none.
const char* EditorText_Trim(const char* text);

// A copy of the current scene after it: same background, characters and objects where
// they start, without actions, state changes, texts or sounds.
void EditorScene_Duplicate();

// --- Placing an action ---
// The answer to "Agregar nueva acción": the action dialog for the selected character.
void EditorAction_OnConfirmAdd(u32 answer, std::uintptr_t preset);
void EditorAction_OnChosen(CharacterAction* action, u32 user);
void EditorAction_OnTextEntered(const char* text);
void EditorAction_OnAudioChosen(const char* name, u32 type);
// Builds the walk grid and hands the stage to the reference mode (placing at once an
// action without references).
void EditorAction_Prepare();
// Stage mode 3, each tick: the reference under the mouse, the path test on a click.
// Prepare installs it as the editor's reference input.
void EditorAction_ReferenceTick();
void EditorAction_Place();
