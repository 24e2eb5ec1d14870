// The movie document: the one in-memory model of the movie the child is making. An
// ordered list of scenes, each with its background and four ordered lists of elements
// (placed characters, placed objects, texts, sounds), plus the movie's name, its modified
// flag, the scene being edited and an undo ring of eight deep copies.
//
// Elements refer to the catalogue by position in the loaded catalogue lists; times are
// frames at 60 per second counted per scene; positions are stage pixels (664 x 372,
// origin at the stage's top-left corner). Only the main thread touches the movie; sound
// items' players run threads of their own behind the player interface.
#pragma once

#include "adventure/movie/Balloon.h"
#include "adventure/movie/MovieList.h"
#include "foundation/SLArray.h"
#include "foundation/SLString.h"
#include "foundation/SLTypes.h"

class CSL_GS_MoviePlayer;
struct SL_GS_Image;
struct SL_GS_SoundRecord;
struct Scene;

// One point of a walk. lengthToNext is the length in pixels of the segment to the next
// point (unused on the last); the path arithmetic treats all three as signed.
struct KeyPoint {
  i32 x, y, lengthToNext;
};

// The path array follows the framework array convention (data, count, capacity in steps
// of 32, optional allocate and free hooks), with KeyPoint elements.
bool KeyPointArray_SetSize(SLArrayHeader* array, u32 count);
// The same for a walk whose size is known whole (a loaded one): the block holds exactly
// `count` points, as a movie holds thousands of two-point walks.
bool KeyPointArray_SetSizeExact(SLArrayHeader* array, u32 count);
void KeyPointArray_Free(SLArrayHeader* array);
inline KeyPoint* KeyPointArray_Data(const SLArrayHeader* array) { return static_cast<KeyPoint*>(array->data); }

// What every evaluation at a frame writes into a character or an object; never saved.
struct ElementResults {
  u32 visible;
  i32 posX, posY;  // where the picture's hot spot goes
  SL_GS_Image* image;
  double scale;  // 0.4 to 1.0 on the floor; objects may exceed 1.0 (carried, floating)
  i32 left, top, width, height;  // screen rectangle of the scaled picture on the stage
  SL_GS_SoundRecord* voice;      // the sound started and maybe still playing, or null
  u32 voiceNumber;               // the voice Play handed out: only that voice is stopped
  u32 segmentStart, segmentEnd;  // frames of the current action or state segment
};

struct CharacterActionEntry {
  struct CharacterInstance* owner;
  MovieLink link;
  u32 startFrame, endFrame;  // the action runs in [startFrame, endFrame)
  SLArrayHeader path;        // KeyPoint
  i32 pathLength;            // pixels; 0 = no movement
  u32 pathFrames;            // frames the walk takes (1 on creation)
  u32 direction;             // facing 0-7
  u32 keepDirection;         // the facing is forced until an unforced action ends
  u32 action;                // index in the character's catalogue record
};

struct CharacterInstance : ElementResults {
  Scene* scene;
  MovieLink link;
  i32 character;  // catalogue index
  u32 firstFrame;
  i32 x, y;       // where it stands when no action moves it (its feet)
  u32 endFrame;   // first frame off stage; 0xFFFFFFFF: to the end
  MovieLink actions;  // CharacterActionEntry, in start-frame order
  i32 lastPlacedAction;
  u32 currentAction;
  u32 shuttingDown;
};

struct ObjectStateEntry {
  struct ObjectInstance* owner;
  MovieLink link;
  u32 state;
  u32 startFrame, endFrame;
  SLArrayHeader path;  // KeyPoint
  i32 pathLength;
  u32 pathFrames;
};

struct ObjectInstance : ElementResults {
  Scene* scene;
  MovieLink link;
  i32 object;  // catalogue index
  i32 x, y;
  ObjectInstance* carrier;  // the object it rests on, in the same scene, or null
  u32 supportPoint;         // which of the carrier's support points; 0 without carrier
  MovieLink states;         // ObjectStateEntry, in start-frame order
  u32 flags;                // kObjectEvaluated, kObjectMixed: marks of one pass
  u32 currentState;
  u32 shuttingDown;
};
enum : u32 {
  kObjectEvaluated = 1,  // evaluated in the current render pass
  kObjectMixed = 2,      // mixed in the current export frame
};

// Attachment kinds of a text; any other value is a floating text.
enum : u32 {
  kTextSpokenByCharacter = 1,
  kTextAttachedToObject = 2,
};

struct TextItem {
  Scene* scene;
  Balloon balloon;
  u32 variant;  // an attached text's balloon uses styles 9-16
  MovieLink link;
  u32 startFrame, endFrame;
  i32 x, y;  // top-left of the balloon on the stage
  u32 attachKind;
  void* attachedTo;  // CharacterInstance or ObjectInstance of the same scene, or null
  u32 shown;
  u32 shuttingDown;
};

enum : u32 {
  kSoundEffect = 0,
  kSoundSpoken = 1,
  kSoundObject = 2,
  kSoundMusic = 3,  // played looping
};

struct SoundItem {
  Scene* scene;
  MovieLink link;
  u32 startFrame, endFrame;  // plays in [startFrame, endFrame)
  double speed;
  CSLStringAnsi fileName;  // "*" + full path, or a file of the "Sfx" folder
  CSL_GS_MoviePlayer* player;
  u32 kind;
  void* attachedTo;
  u32 shuttingDown;
};

enum : u32 {
  kDrawCharacter = 1,
  kDrawObject = 2,
  kDrawText = 3,
};
struct DrawItem {
  u32 kind;
  u32 index;  // position of the element in its list
  void* element;
  u32 key;  // depth: trunc(scale x 100000.0); texts 100001 + their index
};

struct Scene {
  MovieLink link;
  i32 background;  // background catalogue index, -1 when none
  u32 currentFrame;
  u32 length;  // frames
  MovieLink characters, objects, texts, sounds;
  SLArrayHeader drawList;  // DrawItem, rebuilt by every render
  u32 shuttingDown;
};

inline constexpr u32 kUndoSlots = 8;
struct UndoSlot {
  MovieLink scenes;
  i32 savedScene;  // -1: the slot is empty
};

struct Movie {
  char* name;  // framework heap, or null
  u32 modified;
  MovieLink scenes;
  u32 currentScene;
  UndoSlot undo[kUndoSlots];
  u32 shuttingDown;
};

// The movie of the process, built on first use. Its exit-time clear runs from the
// singleton registry after the program's devices are gone, with shuttingDown set.
Movie* Movie_Get();
// An empty movie in the caller's memory (tests and tools keep their own).
void Movie_Init(Movie* movie);

// Lookups by position; null past the end.
Scene* Movie_SceneAt(const Movie* movie, u32 index);
u32 Movie_SceneCount(const Movie* movie);
CharacterInstance* Scene_CharacterAt(const Scene* scene, u32 index);
u32 Scene_CharacterCount(const Scene* scene);
ObjectInstance* Scene_ObjectAt(const Scene* scene, u32 index);
u32 Scene_ObjectCount(const Scene* scene);
TextItem* Scene_TextAt(const Scene* scene, u32 index);
u32 Scene_TextCount(const Scene* scene);
SoundItem* Scene_SoundAt(const Scene* scene, u32 index);
u32 Scene_SoundCount(const Scene* scene);

// Creation. The *_New forms allocate a zeroed record (out of memory ends the program)
// and initialise it; the caller links it in.
void Scene_Init(Scene* scene);
Scene* Scene_New();
Scene* Movie_AppendScene(Movie* movie);
void CharacterInstance_Init(CharacterInstance* instance);
CharacterInstance* CharacterInstance_New();
// Appends a character at a random standing point of the background's mask.
CharacterInstance* CharacterInstance_Create(Scene* scene, i32 characterIndex);
void CharacterActionEntry_Init(CharacterActionEntry* entry);
CharacterActionEntry* CharacterActionEntry_Append(CharacterInstance* instance);
void ObjectInstance_Init(ObjectInstance* instance);
ObjectInstance* ObjectInstance_New();
ObjectInstance* ObjectInstance_Create(Scene* scene, i32 objectIndex);
void ObjectStateEntry_Init(ObjectStateEntry* entry);
ObjectStateEntry* ObjectStateEntry_Append(ObjectInstance* instance);
void TextItem_Init(TextItem* text);
TextItem* TextItem_Append(Scene* scene);
void SoundItem_Construct(SoundItem* item);
void SoundItem_Destruct(SoundItem* item);
SoundItem* SoundItem_Append(Scene* scene);
// Opens the item's player on its file: "*path" from the path, else from the "Sfx" folder
// beside the program. A "*path" that names no file is looked for by its file name in the
// program's "Sfx\Grabadas" folder, and when found there the item's name becomes "*" and
// that path. Only regular files are opened; one that does not open leaves the item silent
// (false with the code) but keeps it and its name.
bool SoundItem_OpenFile(SoundItem* item);

// Deep copy; out of memory ends the program (-1621).
Scene* Scene_Clone(const Scene* scene);
// The copy an undo point keeps: its sound items' players stay detached and closed (a
// player's threads start when it is attached), until Scene_OpenPlayers when undo puts
// the scene back.
Scene* Scene_CloneForUndo(const Scene* scene);
void Scene_OpenPlayers(Scene* scene);
// Attaches the item's player to the devices and opens its file (silent when it does not
// open); a player that cannot be attached ends the program (-1621).
void SoundItem_OpenPlayer(SoundItem* item);
void Scene_FreeContents(Scene* scene);
// Frees the contents and the record of a scene that is in no list.
void Scene_Free(Scene* scene, u32 shuttingDown);
// Frees the undo ring, the name and every scene; modified and currentScene become 0.
void Movie_Clear(Movie* movie);

// Movie time to (scene, frame): 1 past the end (last scene at its length), -1 and 1
// without scenes, else 0.
u32 Movie_FindSceneForFrame(const Movie* movie, u32 globalFrame, i32* sceneIndex, u32* localFrame);
// Clamps the index, stores it, sets the timeline slider and renders the scene silently.
void Movie_SelectScene(Movie* movie, u32 index);

// Undo ring.
void Movie_PushUndo(Movie* movie);
void Movie_Undo(Movie* movie, u32* more);
void Movie_FreeUndo(Movie* movie);
// True when the ring holds a step to undo.
bool Movie_CanUndo(const Movie* movie);

// Ends the program through the main window's fatal path with "Insuficiente memoria".
[[noreturn]] void Movie_FatalOutOfMemory(i32 code);

enum : i32 {
  kFatalBalloonText = -1601,
  kFatalBalloonLines = -1611,
  kFatalSceneClone = -1621,
  kFatalDrawList = -1631,
};
