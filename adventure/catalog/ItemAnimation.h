// What object states and character actions share: frames read from the item pack (MXIMG
// pictures made into graphics images with a hit mask from their alpha), the order in
// which they play, the timing of one pass and the optional sound.
#pragma once

#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLTypes.h"

class CSLBaseStorage;
class ItemDescription;
struct SL_GS_Image;
struct SL_GS_SoundRecord;

using ItemFrameArray = TSLPtrArray<SL_GS_Image>;

// The number of frames "<base>_01.mximg", "<base>_02.mximg", ... in the pack, probing
// until one is missing. Only an entry whose name equals the probed one (without regard
// to case) counts: a "*" or "?" in the base is no wildcard.
bool ItemFrames_Count(CSLBaseStorage* pack, const char* base, u32* count);
// Loads frames 1..count of `base` into `frames` (which keeps whatever loaded when a later
// frame fails, for the owner to release). *width and *height, when given, receive the
// size of the first frame.
bool ItemFrames_Load(CSLBaseStorage* pack, const char* base, u32 count, ItemFrameArray* frames, u32* width,
                     u32* height);
// Destroys the frames through the graphics device, unless `exitFlag` says it is gone.
void ItemFrames_Release(ItemFrameArray* frames, u32 exitFlag);

// The playing order of `frameCount` frames from "Animación_Secuencia" (1-based frame
// numbers), else from "Animación_Ida_y_Vuelta" and "Animación_Sentido_Inverso".
bool ItemAnimation_ReadSequence(ItemDescription* description, const char* section, u32 frameCount,
                                TSLArray<u32>* sequence);
// "Animación_Duración" (required, not 0) and "Animación_Repite" (1 by default, "NO" and 0
// give 1, "SIEMPRE" endless).
inline constexpr u32 kRepeatEndless = 0xFFFFFFFF;
bool ItemAnimation_ReadTiming(ItemDescription* description, const char* section, u32* duration, u32* repeat);

// "Audio" (a WAV entry of the pack, loaded with three voices; present and unopenable is
// the pack's code) and "Audio_Repite".
bool ItemSound_Read(ItemDescription* description, CSLBaseStorage* pack, const char* section, SL_GS_SoundRecord** sound,
                    u32* loops);
// Destroys the sound through the sound device, unless `exitFlag` says it is gone.
void ItemSound_Release(SL_GS_SoundRecord** sound, u32 exitFlag);

// A new entry of a record's list: framework memory, built by `construct`, appended to
// `list`, which owns it from then on. Null with the error code when memory runs out.
template <class T, class Construct>
T* CatalogAppendNew(TSLPtrArray<T>* list, Construct construct) {
  T* entry = static_cast<T*>(SLAlloc(sizeof(T)));
  if (!entry) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<T*>(nullptr));
  construct(entry);
  if (list->Add(entry)) return entry;
  SLErrorKeeper keep;
  entry->~T();
  SLFree(entry);
  return nullptr;
}
