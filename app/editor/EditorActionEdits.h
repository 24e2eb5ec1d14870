// The edits that placing an action and the editor's answers make to a scene's timed
// elements: the cut at a frame (what starts before it is shortened to end there, what
// starts at or after it goes) and the removal of one element with everything it owns.
// Elements here are always records of the scene they are removed from.
#pragma once

#include "adventure/movie/Movie.h"

// Cuts at `frame` the character's actions, the texts it speaks and the sounds of its
// voice (the editor's "delete action" and the start of every placement).
void EditorEdit_CutCharacter(Scene* scene, CharacterInstance* character, u32 frame);
// The cut of each list on its own.
void EditorEdit_CutActions(CharacterInstance* character, u32 frame);
void EditorEdit_CutStates(ObjectInstance* object, u32 frame);
// Removes every state change that ends at or after `frame`; the earliest start among them,
// or `frame` when that is earlier.
u32 EditorEdit_RemoveStatesFrom(ObjectInstance* object, u32 frame);
// Texts with that attachment kind on `element` / sounds of that kind on `element`.
void EditorEdit_CutTexts(Scene* scene, u32 attachKind, const void* element, u32 frame);
void EditorEdit_CutSounds(Scene* scene, u32 soundKind, const void* element, u32 frame);

void EditorEdit_RemoveText(TextItem* text);
void EditorEdit_RemoveSound(SoundItem* sound);
// Every text and sound attached to the element, at every frame.
void EditorEdit_RemoveAttached(Scene* scene, const void* element);
// The character with its actions; the object with its state changes, after setting down
// whatever rests on it.
void EditorEdit_RemoveCharacter(CharacterInstance* character);
void EditorEdit_RemoveObject(ObjectInstance* object);
// Every background music of the scene.
void EditorEdit_CutMusic(Scene* scene, u32 frame);
