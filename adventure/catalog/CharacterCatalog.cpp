#include "adventure/catalog/CharacterCatalog.h"

#include <new>

#include "adventure/catalog/CatalogKind.h"
#include "adventure/catalog/ItemDescription.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLPrintf.h"
#include "foundation/SLStr.h"
#include "foundation/SLWideText.h"
#include "storage/SLFastFileStorage.h"

namespace {
using CharacterKind = TCatalogKind<CharacterRecord, &CharacterRecord_Destruct, &CharacterCatalog>;
constexpr u32 kValueSize = ItemDescription::kValueSize;
constexpr u32 kMaxAttributeToken = 100;

constexpr const char* kDirectionFolders[kDirectionCount] = {
    "adelante", "adelante_izquierda", "adelante_derecha", "atras", "atras_izquierda", "atras_derecha",
    "izquierda", "derecha"};

// The alternates of each wanted direction, in order of preference.
constexpr u8 kAlternates[kDirectionCount][7] = {
    {1, 2, 6, 7, 3, 4, 5}, {0, 6, 2, 7, 4, 5, 3}, {0, 7, 1, 6, 5, 4, 3}, {4, 5, 6, 7, 3, 1, 2},
    {3, 6, 5, 7, 1, 0, 0}, {3, 7, 4, 6, 2, 0, 0}, {1, 4, 0, 3, 7, 2, 5}, {2, 5, 0, 3, 6, 1, 4}};

template <class T>
void DestroyEntries(TSLPtrArray<T>* list, u32 exitFlag) {
  for (T* entry : *list) {
    entry->exitFlag = exitFlag;
    entry->~T();
    SLFree(entry);
  }
  list->Free();
}

bool Fail() { return SLFail(SL_E_MALFORMED, false); }
}  // namespace

constinit CatalogList CharacterCatalog{{{&CharacterCatalog.head, &CharacterCatalog.head}}, 0, &CharacterKind::kKind};

void CharacterAction_Construct(CharacterAction* action) {
  new (action) CharacterAction;
  action->visible = 1;
  action->dialogue = action->isWalk = 0;
  action->duration = 0;
  action->repeat = 1;
  action->sound = nullptr;
  action->soundLoops = action->releasesForcedDirection = action->leavesObject = 0;
  action->exitFlag = 0;
}

void CharacterAction_Destruct(CharacterAction* action) {
  if (!action) return;
  SLErrorKeeper keep;
  for (ItemFrameArray& frames : action->frames) ItemFrames_Release(&frames, action->exitFlag);
  ItemSound_Release(&action->sound, action->exitFlag);
  DestroyEntries(&action->references, action->exitFlag);
  DestroyEntries(&action->stateEffects, action->exitFlag);
  DestroyEntries(&action->takenObjects, action->exitFlag);
  action->~CharacterAction();
}

void CharacterRecord_Construct(CharacterRecord* record) {
  new (record) CharacterRecord;
  record->id = ItemId{};
  record->link = CatalogLink{{nullptr, nullptr}};
  record->floating = 0;
  record->exitFlag = 0;
}

void CharacterRecord_Destruct(CharacterRecord* record) {
  if (!record) return;
  SLErrorKeeper keep;
  DestroyEntries(&record->states, record->exitFlag);
  for (CharacterAction* action : record->actions) {
    action->exitFlag = record->exitFlag;
    CharacterAction_Destruct(action);
    SLFree(action);
  }
  record->~CharacterRecord();
}

CharacterAction* CatalogRecord_GetListEntryAt(CharacterRecord* record, u32 n) {
  if (!record) return SLFail(SL_E_NULL_DATA, static_cast<CharacterAction*>(nullptr));
  return n < record->actions.GetCount() ? record->actions[n] : nullptr;
}

u32 CatalogRecord_GetListEntryCount(const CharacterRecord* record) { return record ? record->actions.GetCount() : 0; }

i32 CharacterRecord_FindState(const CharacterRecord* record, const char* name) {
  if (!record || !name) return SLFail(SL_E_NULL_DATA, -1);
  for (u32 i = 0; i < record->states.GetCount(); ++i)
    if (SLStrICmpA(const_cast<CharacterState*>(record->states[i])->name.CStr(), name) == 0) return i32(i);
  return -1;
}

CharacterState* CharacterRecord_GetStateAt(CharacterRecord* record, u32 index) {
  return record && index < record->states.GetCount() ? record->states[index] : nullptr;
}

u32 CharacterAction_PickDirection(const CharacterAction* action, u32 wanted) {
  const auto has = [&](u32 d) { return action->frames[d].GetCount() != 0; };
  if (!action) return wanted;
  if (wanted < kDirectionCount) {
    if (has(wanted)) return wanted;
    for (u8 d : kAlternates[wanted])
      if (has(d)) return d;
  }
  // Some rows leave directions out: any direction with frames beats one without.
  for (u32 d = 0; d < kDirectionCount; ++d)
    if (has(d)) return d;
  return wanted;
}

SL_GS_Image* CharacterAction_FrameAt(const CharacterAction* action, u32 direction, u32 t, bool holdLast) {
  if (!action || direction >= kDirectionCount) return SLFail(SL_E_INVALID_ARG, static_cast<SL_GS_Image*>(nullptr));
  const ItemFrameArray& frames = action->frames[direction];
  const u32 entries = action->sequence.GetCount(), duration = action->duration;
  if (entries == 0) return SLFail(SL_E_INVALID_ARG, static_cast<SL_GS_Image*>(nullptr));
  u32 entry = 0;
  if (duration != 0) {
    if (action->repeat != kRepeatEndless && t / duration > action->repeat) {
      if (!holdLast) return ActionFrameOver();
      t = duration - 1;
    }
    entry = u32(u64(t % duration) * entries / duration);
  }
  const u32 frame = action->sequence[entry];
  if (frame >= frames.GetCount()) return SLFail(SL_E_INVALID_ARG, static_cast<SL_GS_Image*>(nullptr));
  return frames[frame];
}

u32 CharacterAction_GetReferenceCount(const CharacterAction* action) {
  return action ? action->references.GetCount() : 0;
}

namespace {
struct CharacterLoad {
  CharacterRecord* record;
  CSLFastFileStorage* pack;
  CSLThread* thread;
  ItemDescription description;
};

// "Acción_<n>" with n >= 1 as the action index n - 1.
bool ParseActionReference(const char* text, i32* index) {
  static constexpr char kPrefix[] = "Acci\xF3n_";
  constexpr u32 kPrefixLength = sizeof kPrefix - 1;
  if (SLTextLength(text) < kPrefixLength || SLStrNICmpA(text, kPrefix, kPrefixLength) != 0) return Fail();
  u32 n;
  if (!ItemDescription_ParseUInt(text + kPrefixLength, &n, false)) return false;
  if (n == 0) return Fail();
  *index = i32(n - 1);
  return SLSucceed(true);
}

bool ReadActionReference(CharacterLoad& load, const char* section, const char* key, bool required, i32* index) {
  char value[kValueSize];
  bool found;
  if (!load.description.GetNonEmpty(section, key, value, sizeof value, &found)) return false;
  if (!found) return required ? Fail() : SLSucceed(true);
  return ParseActionReference(value, index);
}

bool ReadStates(CharacterLoad& load) {
  char section[32], value[kValueSize];
  for (u32 i = 1;; ++i) {
    if (CatalogLoader_StopRequested(load.thread)) return SLFail(SL_E_CANCELLED, false);
    ItemDescription_NumberedName(section, sizeof section, "Estado_%ld", i);
    bool found;
    if (!load.description.GetNonEmpty(section, "Nombre", value, sizeof value, &found)) return false;
    if (!found) return i > 1 ? SLSucceed(true) : Fail();
    CharacterState* state = CatalogAppendNew(&load.record->states, [](CharacterState* s) {
      new (s) CharacterState;
      s->defaultAction = 0;
      s->walkAction = s->talkAction = -1;
      s->exitFlag = 0;
    });
    if (!state || !state->name.Assign(value) ||
        !ReadActionReference(load, section, "Acci\xF3n_Por_Defecto", true, &state->defaultAction) ||
        !ReadActionReference(load, section, "Acci\xF3n_Caminata", false, &state->walkAction) ||
        !ReadActionReference(load, section, "Acci\xF3n_Habla", false, &state->talkAction))
      return false;
  }
}

bool CountActions(CharacterLoad& load, u32* count) {
  char section[32], value[kValueSize];
  for (u32 i = 1;; ++i) {
    if (CatalogLoader_StopRequested(load.thread)) return SLFail(SL_E_CANCELLED, false);
    ItemDescription_NumberedName(section, sizeof section, "Acci\xF3n_%ld", i);
    bool found;
    if (!load.description.GetNonEmpty(section, "Nombre", value, sizeof value, &found)) return false;
    if (!found) return *count = i - 1, SLSucceed(true);
  }
}

bool ReadFrames(CharacterLoad& load, CharacterAction* action, const char* base, u32* frameCount) {
  char folder[kValueSize + 32];
  u32 counts[kDirectionCount], m = 0;
  for (u32 d = 0; d < kDirectionCount; ++d) {
    SLSnprintfA(folder, sizeof folder, "%s/%s", base, kDirectionFolders[d]);
    if (!ItemFrames_Count(load.pack, folder, &counts[d])) return false;
    if (counts[d] && m && counts[d] != m) return Fail();
    if (counts[d]) m = counts[d];
  }
  if (m == 0) return Fail();
  for (u32 d = 0; d < kDirectionCount; ++d) {
    SLSnprintfA(folder, sizeof folder, "%s/%s", base, kDirectionFolders[d]);
    if (counts[d] && !ItemFrames_Load(load.pack, folder, counts[d], &action->frames[d], nullptr, nullptr))
      return false;
  }
  *frameCount = m;
  return SLSucceed(true);
}

// A yes/no key as 0 or 1.
bool ReadFlag(CharacterLoad& load, const char* section, const char* key, bool defaultValue, u32* out) {
  bool value;
  if (!load.description.GetYesNo(section, key, defaultValue, &value)) return false;
  *out = value;
  return SLSucceed(true);
}

bool ReadDialogue(CharacterLoad& load, const char* section, u32* dialogue) {
  char value[kValueSize];
  bool present;
  if (!load.description.GetValue(section, "Inserta_Habla", value, sizeof value, &present)) return false;
  *dialogue = 0;
  if (!present) return SLSucceed(true);
  static constexpr struct {
    const char* word;
    u32 value;
  } kWords[] = {{"NO", 0}, {"SI", 3}, {"S\xF3loAudio", 1}, {"S\xF3loTexto", 2}};
  for (const auto& known : kWords)
    if (SLStrICmpA(value, known.word) == 0) return *dialogue = known.value, SLSucceed(true);
  return Fail();
}

void Trim(const char** from, const char** to) {
  while (*from < *to && (**from == ' ' || **from == '\t')) ++*from;
  while (*to > *from && ((*to)[-1] == ' ' || (*to)[-1] == '\t')) --*to;
}

// "(dx; dy)" or "(dx; dy; direction)".
bool ParseApproachOffsets(const char* text, ActionReference* reference) {
  while (*text == ' ' || *text == '\t') ++text;
  if (*text != '(') return Fail();
  const char* close = text + 1;
  while (*close && *close != ')') ++close;
  if (*close != ')') return Fail();
  CSLStringAnsi group;
  if (!group.Assign(text + 1, u32(close - text - 1))) return false;
  const char* inner = group.CStr();
  char token[kValueSize];
  i32 dx, dy;
  ItemDescription_GetDirectionToken(inner, 1, token, sizeof token);
  if (!ItemDescription_ParseInt(token, &dx, true)) return false;
  ItemDescription_GetDirectionToken(inner, 2, token, sizeof token);
  if (!ItemDescription_ParseInt(token, &dy, true)) return false;
  if (!ItemDescription_GetDirectionToken(inner, 3, token, sizeof token)) {
    for (u32 d = 0; d < kDirectionCount; ++d) reference->dx[d] = dx, reference->dy[d] = dy;
    return SLSucceed(true);
  }
  static constexpr struct {
    const char* word;
    u32 direction;
  } kWords[] = {{"Adelante", 0}, {"Atr\xE1s", 3}, {"Izquierda", 6}, {"Derecha", 7}};
  for (const auto& known : kWords)
    if (SLStrCmpA(token, known.word) == 0) {
      reference->dx[known.direction] = dx, reference->dy[known.direction] = dy;
      return SLSucceed(true);
    }
  return Fail();
}

bool ParseAttribute(const char* attribute, ActionReference* reference) {
  static constexpr const char* kNames[] = {"Clase", "Acercar", "Delta_Acercar"};
  u32 which = 0;
  for (; which < 3; ++which) {
    const u32 length = SLTextLength(kNames[which]);
    if (SLTextLength(attribute) >= length && SLStrNICmpA(attribute, kNames[which], length) == 0) break;
  }
  if (which == 3) return Fail();
  const char* rest = attribute + SLTextLength(kNames[which]);
  while (*rest && u8(*rest) <= ' ') ++rest;
  if (*rest++ != '=') return Fail();
  const char *from = rest, *to = rest + SLTextLength(rest);
  Trim(&from, &to);
  if (which == 2) return ParseApproachOffsets(from, reference);
  CSLStringAnsi value;
  if (!value.Assign(from, u32(to - from))) return false;
  if (which == 1) {
    bool approach;
    if (!ItemDescription_ParseYesNo(value.CStr(), &approach)) return false;
    reference->approach = approach;
    return SLSucceed(true);
  }
  if (reference->kind == kReferenceStage) return Fail();
  return reference->referenceClass.Assign(value.CStr());
}

}  // namespace

bool ActionReference_Parse(const char* text, ActionReference* reference) {
  char token[kValueSize];
  static constexpr const char* kKinds[] = {"Escenario", "Personaje", "Objeto", "ObjetoApoyo"};
  if (!ItemDescription_GetToken(text, 1, token, sizeof token)) return Fail();
  reference->kind = 0;
  for (u32 k = 0; k < 4; ++k)
    if (SLStrICmpA(token, kKinds[k]) == 0) reference->kind = k + 1;
  if (!reference->kind) return Fail();
  for (u32 n = 2; n <= kMaxAttributeToken && ItemDescription_GetToken(text, n, token, sizeof token); ++n)
    if (!ParseAttribute(token, reference)) return false;
  return SLSucceed(true);
}

namespace {
bool ReadReferences(CharacterLoad& load, CharacterAction* action, const char* section) {
  char key[40], value[kValueSize];
  for (u32 k = 1;; ++k) {
    ItemDescription_NumberedName(key, sizeof key, "Necesita_Referencia%ld", k);
    bool found;
    if (!load.description.GetNonEmpty(section, key, value, sizeof value, &found)) return false;
    if (!found) return SLSucceed(true);
    ActionReference* reference = CatalogAppendNew(&action->references, [](ActionReference* r) {
      new (r) ActionReference;
      r->kind = r->approach = r->exitFlag = 0;
      for (u32 d = 0; d < kDirectionCount; ++d) r->dx[d] = r->dy[d] = 0;
    });
    if (!reference || !ActionReference_Parse(value, reference)) return false;
  }
}

// The numbered series of `pattern`, each value split into `count` required tokens.
template <class T>
bool ReadTokenSeries(CharacterLoad& load, const char* section, const char* pattern, TSLPtrArray<T>* list,
                     CSLStringAnsi T::*const* fields, u32 count) {
  char key[40], value[kValueSize], token[kValueSize];
  for (u32 k = 1;; ++k) {
    ItemDescription_NumberedName(key, sizeof key, pattern, k);
    bool found;
    if (!load.description.GetNonEmpty(section, key, value, sizeof value, &found)) return false;
    if (!found) return SLSucceed(true);
    T* entry = CatalogAppendNew(list, [](T* e) {
      new (e) T;
      e->exitFlag = 0;
    });
    if (!entry) return false;
    for (u32 n = 0; n < count; ++n)
      if (!ItemDescription_GetToken(value, n + 1, token, sizeof token) ? !Fail() : !(entry->*fields[n]).Assign(token))
        return false;
  }
}

bool ReadAction(CharacterLoad& load, CharacterAction* action, const char* section) {
  char value[kValueSize], base[kValueSize];
  bool found;
  u32 m;
  if (!load.description.GetRequired(section, "Clase", value, sizeof value) || !action->actionClass.Assign(value) ||
      !load.description.GetNonEmpty(section, "Disponible_En_Estado", value, sizeof value, &found) ||
      (found && !action->availableInState.Assign(value)) ||
      !load.description.GetRequired(section, "Animaci\xF3n", base, sizeof base) ||
      !ReadFrames(load, action, base, &m) ||
      !ItemAnimation_ReadSequence(&load.description, section, m, &action->sequence) ||
      !ItemAnimation_ReadTiming(&load.description, section, &action->duration, &action->repeat) ||
      !ReadFlag(load, section, "Visible", true, &action->visible) ||
      !ItemSound_Read(&load.description, load.pack, section, &action->sound, &action->soundLoops) ||
      !ReadDialogue(load, section, &action->dialogue) ||
      !ReadFlag(load, section, "Es_Caminata", false, &action->isWalk) ||
      !ReadFlag(load, section, "QuitarForzarDirecci\xF3n", false, &action->releasesForcedDirection) ||
      !ReadReferences(load, action, section) ||
      !load.description.GetNonEmpty(section, "Pasa_A_Estado", value, sizeof value, &found) ||
      (found && !action->nextState.Assign(value)))
    return false;
  static constexpr CSLStringAnsi ActionStateEffect::*kEffectFields[] = {
      &ActionStateEffect::objectName, &ActionStateEffect::requiredState, &ActionStateEffect::newState};
  static constexpr CSLStringAnsi ActionTakeObject::*kTakeFields[] = {&ActionTakeObject::first,
                                                                     &ActionTakeObject::second};
  return ReadTokenSeries(load, section, "Afecta_Estado_Objeto%ld", &action->stateEffects, kEffectFields, 3) &&
         ReadTokenSeries(load, section, "Toma_Objeto%ld", &action->takenObjects, kTakeFields, 2) &&
         ReadFlag(load, section, "Deja_Objeto", false, &action->leavesObject);
}

void StoreProgress(std::atomic<uint32_t>* progress, u32 start, u32 end, u32 i, u32 n) {
  if (!progress) return;
  u64 value = start;
  if (end > start) value += u64(i - 1) * (end - start) / (n ? n : 1);
  if (value > end) value = end;
  if (value < start) value = start;
  progress->store(u32(value), std::memory_order_relaxed);
}

bool ReadActions(CharacterLoad& load, std::atomic<uint32_t>* progress, u32 start, u32 end) {
  u32 n;
  if (!CountActions(load, &n)) return false;
  char section[32], value[kValueSize];
  for (u32 i = 1;; ++i) {
    if (CatalogLoader_StopRequested(load.thread)) return SLFail(SL_E_CANCELLED, false);
    StoreProgress(progress, start, end, i, n);
    ItemDescription_NumberedName(section, sizeof section, "Acci\xF3n_%ld", i);
    bool found;
    if (!load.description.GetNonEmpty(section, "Nombre", value, sizeof value, &found)) return false;
    if (!found) return i > 1 ? SLSucceed(true) : Fail();
    CharacterAction* action = CatalogAppendNew(&load.record->actions, CharacterAction_Construct);
    if (!action || !action->name.Assign(value) || !ReadAction(load, action, section)) return false;
  }
}

// Every action index is checked unsigned: a stored -2 from "Acción_4294967295" is no action.
bool Validate(CharacterRecord* record) {
  const u32 actions = record->actions.GetCount();
  if (CharacterRecord_FindState(record, record->initialState.CStr()) < 0) return Fail();
  for (CharacterState* state : record->states) {
    if (u32(state->defaultAction) >= actions) return Fail();
    if (state->walkAction != -1) {
      if (u32(state->walkAction) >= actions) return Fail();
      record->actions[u32(state->walkAction)]->isWalk = 1;
    }
    if (state->talkAction != -1 && u32(state->talkAction) >= actions) return Fail();
  }
  for (CharacterAction* action : record->actions) {
    if (action->availableInState.GetLength() && CharacterRecord_FindState(record, action->availableInState.CStr()) < 0)
      return Fail();
    if (action->nextState.GetLength() && CharacterRecord_FindState(record, action->nextState.CStr()) < 0)
      return Fail();
  }
  return SLSucceed(true);
}

bool LoadCharacter(CharacterLoad& load, std::atomic<uint32_t>* progress, u32 start, u32 end) {
  CharacterRecord* record = load.record;
  char itemClass[kValueSize], name[kValueSize], initial[kValueSize];
  u32 floating;
  if (!load.description.Load(load.pack) ||
      !load.description.GetRequired("General", "Clase", itemClass, sizeof itemClass) ||
      !load.description.GetRequired("General", "Nombre", name, sizeof name) ||
      !ReadFlag(load, "General", "Flotante", false, &floating) ||
      !load.description.GetRequired("General", "Estado_Inicial", initial, sizeof initial))
    return false;
  record->floating = floating;
  if (!record->itemClass.Assign(itemClass) || !record->name.Assign(name) || !record->initialState.Assign(initial) ||
      !ReadStates(load) || !ReadActions(load, progress, start, end) || !Validate(record))
    return false;
  const char* fields[] = {name, itemClass, initial};
  return ItemId_Compute(&record->id, fields, 3) && CatalogList_Insert(&CharacterCatalog, record);
}
}  // namespace

CharacterRecord* CharacterCatalog_LoadItem(const char* path, CSLThread* thread, std::atomic<uint32_t>* progress,
                                           u32 progressStart, u32 progressEnd) {
  if (!path) return SLFail(SL_E_NULL_DATA, static_cast<CharacterRecord*>(nullptr));
  CSLFastFileStorage pack;
  if (!pack.AttachFile(path, false, 0)) return nullptr;
  auto* record = static_cast<CharacterRecord*>(SLAlloc(sizeof(CharacterRecord)));
  if (!record) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<CharacterRecord*>(nullptr));
  CharacterRecord_Construct(record);
  CharacterLoad load;
  load.record = record, load.pack = &pack, load.thread = thread;
  if (!LoadCharacter(load, progress, progressStart, progressEnd)) {
    CharacterKind::Destroy(record, CharacterCatalog.exitFlag);
    return nullptr;
  }
  return SLSucceed(record);
}

CharacterRecord* CharacterCatalog_GetAt(u32 index) {
  return static_cast<CharacterRecord*>(CatalogList_GetAt(&CharacterCatalog, index));
}

i32 CharacterCatalog_FindById(const ItemId& id) { return CatalogList_FindById(&CharacterCatalog, id); }

void CharacterCatalog_Free() { CatalogList_Free(&CharacterCatalog); }
