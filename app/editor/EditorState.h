// The editor's process-wide state. One editor exists: EditorScreen_Load sets this up and
// EditorScreen_Free tears it down; the editor loop, its event dispatcher, the pickers,
// the action placement and the dialog callbacks all read and write it here, on the main
// thread only.
#pragma once

#include <cstdint>

#include "adventure/movie/Balloon.h"
#include "adventure/movie/Movie.h"
#include "adventure/movie/SceneRender.h"
#include "foundation/SLString.h"
#include "foundation/SLTypes.h"

class CSL_GS_BaseGfx;
class CSL_GS_GuiWindow;
class CSL_GS_PathFinder2D;
struct CharacterRecord;
struct CharacterAction;
struct ActionReference;
struct SL_GS_Image;

// The stage (664 x 372 pixels) sits at (108, 148) of the 800 x 600 screen.
inline constexpr i32 kStageX = 108, kStageY = 148;

// What the stage does with the mouse (`EditorStageMode`).
enum EditorStageMode : u32 {
  kStageInactive = 0,   // a modal dialog or the context menu is open
  kStageSelect = 1,     // hover and pick elements
  kStageDrag = 2,       // the selection follows the mouse
  kStageReference = 3,  // the reference of an action being placed is being chosen
};

// Placing an action on the selected character: what the dialogs chose so far.
struct ActionPlacementState {
  u32 pendingCommand;            // 110001-110004: the command that started the placement
  CharacterRecord* character;    // catalogue record of the selected placed character
  CharacterAction* action;       // the chosen catalogue action
  CSL_GS_PathFinder2D* pathFinder;
  CSLStringAnsi dialogueText;
  CSLStringAnsi audioName;
  ActionReference* reference;    // the reference entry of the action being pointed at
  EditorSelection referenceHit;  // `hover` when the reference was chosen
  i32 targetX, targetY;          // stage point of the reference
};

// Preview playback of a scene or of the rest of the movie.
struct EditorPlaybackState {
  u32 playing;
  u32 wholeMovie;  // go on into the following scenes
  u32 stopFrame;   // last frame to play
  u32 jumpToStop;  // an interrupted playback shows stopFrame, not the frame reached
};

// The toolbar tooltip. States: 0 hidden, 1 waiting, 2 fading in, 3 shown, 4 fading out.
struct EditorTooltip {
  u32 pollCounter;
  u32 state;
  i32 counter;
  i32 x, y;  // screen position of the balloon
  i32 lastMouseX, lastMouseY;
  u32 lastControlId, lastParentId;
  Balloon balloon;  // Tahoma_8, style 19
};

// The open context menu and up to three of its submenus.
struct EditorPopups {
  CSL_GS_GuiWindow* windows[4];
};

// Picture sets the editor loads; each button set is Normal, Over, Click, Disabled.
enum : u32 {
  kEditorMenuSets = 7,       // nuevo, abrir, guardar, exportarvideo, deshacer, camara, ayuda
  kEditorInsertSets = 4,     // escenas, personajes, objetos, fx
  kEditorSceneSets = 4,      // flecha izquierda/derecha, mover anterior/posterior
  kEditorSelectionSets = 2,  // flecha izquierda/derecha
  kEditorPlaybackSets = 6,   // accion, play, pause, retroceder, avanzar, slider thumb
  kEditorAssistants = 6,
  kEditorFramePieces = 8,
};
// Frame pieces in the order they are loaded.
enum : u32 {
  kFrameLeft,
  kFrameRight,
  kFrameTop,
  kFrameBottom,
  kFrameInnerLeftTop,
  kFrameInnerLeftBottom,
  kFrameInnerRightTop,
  kFrameInnerRightBottom,
};
struct EditorImages {
  SL_GS_Image* menu[kEditorMenuSets][4];
  SL_GS_Image* insert[kEditorInsertSets][4];
  SL_GS_Image* scene[kEditorSceneSets][4];
  SL_GS_Image* thumbnailFrame;
  SL_GS_Image* selectionArrows[kEditorSelectionSets][4];
  SL_GS_Image* playback[kEditorPlaybackSets][4];
  SL_GS_Image* sliderTrack;
  SL_GS_Image* assistants[kEditorAssistants];
  SL_GS_Image* textBox;
  SL_GS_Image* frame[kEditorFramePieces];
};

struct EditorState {
  EditorSelection hover;      // the element under the mouse
  EditorSelection selection;  // the chosen element
  u32 stageMode;              // EditorStageMode
  u32 pressMoved;             // the mouse left the press position while button 1 was held
  i32 pressX, pressY;         // screen position where button 1 went down
  i32 dragDX, dragDY;         // element position minus the stage point under the mouse
  ActionPlacementState placement;
  EditorPlaybackState playback;
  EditorTooltip tooltip;
  EditorPopups popups;
  u32 leaveEditor;  // set to go back to the start menu
  // The editor loop's result: a dispatched event that sets it ends the editor with it.
  i32 result;
  EditorImages images;
  u32 loaded;  // EditorScreen_Load ran and EditorScreen_Free did not yet
};

// The one editor state (built on first use; fields zero, tooltip balloon constructed).
EditorState& Editor_State();

// Toolbar control ids.
enum : u32 {
  kIdInsEscena = 101,
  kIdInsPersonaje = 102,
  kIdInsObjeto = 103,
  kIdInsFX = 104,
  kIdManEscIrAnt = 151,
  kIdManEscIrSig = 152,
  kIdManEscMovAnt = 153,
  kIdManEscMovSig = 154,
  kIdManEscFotog1a = 155,
  kIdManEscFotog1b = 156,
  kIdManEscFotog2a = 157,
  kIdManEscFotog2b = 158,
  kIdManEscFotog3a = 159,
  kIdManEscFotog3b = 160,
  kIdSelItemAnt = 201,
  kIdSelItemSig = 202,
  kIdSelItem = 203,
  kIdRepPlayFull = 251,
  kIdRepPlay = 252,
  kIdRepPause = 253,
  kIdRepPrev = 254,
  kIdRepNext = 255,
  kIdRepSlider = 256,
  kIdMenuNuevo = 301,
  kIdMenuAbrir = 302,
  kIdMenuGuardar = 303,
  kIdMenuExportar = 304,
  kIdMenuDeshacer = 305,
  kIdMenuPlayMovie = 306,
  kIdMenuAyuda = 307,
};

// The movie being edited, its current scene (null without scenes) and that scene's frame
// (0 without scenes).
Movie* Editor_Movie();
Scene* Editor_CurrentScene();
u32 Editor_CurrentFrame();
// Renders the current scene at `frame` in `mode` and cleans the selection up; nothing
// without a scene.
void Editor_RenderCurrent(u32 frame, u32 mode);

// The graphics device the editor draws with.
CSL_GS_BaseGfx* EditorGfx();

// A top-level control of the editor by id, or null.
CSL_GS_GuiWindow* Editor_Control(u32 id);
// Enables or disables "MenuDeshacer" (nothing when it does not exist).
void Editor_EnableUndoButton(bool enable);
// Takes an undo point of the movie and enables "MenuDeshacer": every change does this first.
void Editor_TakeUndoPoint();
// Enables "MenuDeshacer" exactly when the movie has a step to undo: after the movie was
// replaced or emptied (new movie, a load, the end of an export).
void Editor_SyncUndoButton();
// Zeroes `hover` and `selection` (also the hook undo calls).
void Editor_ClearSelection();

// Seams filled by the screens built on the editor.
// The start-up dialog shown when the editor starts and after a project closes (null: none).
void Editor_SetStartupDialog(void (*show)());
void Editor_ShowStartupDialog();
// The element menu (opened from the stage, fromStage 1, or from the toolbar, 0; null: none).
void Editor_SetItemMenu(void (*open)(u32 fromStage));
void Editor_OpenItemMenu(u32 fromStage);
// The scene menu (commands 157 and 158; null: none).
void Editor_SetSceneMenu(void (*open)());
void Editor_OpenSceneMenu();
// Stage mode 3 input and its message, installed by the action placement (null: mode 3
// drops back to mode 1).
void Editor_SetReferenceInput(void (*tick)());
void Editor_RunReferenceInput();
// Events the first dispatcher does not handle itself (types 11-17 and the context-menu
// and dialog commands) go here when set.
void Editor_SetEventFallback(void (*handle)(u32 type, std::uintptr_t data, i32* result));
bool Editor_RunEventFallback(u32 type, std::uintptr_t data, i32* result);
