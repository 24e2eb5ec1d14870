#include "adventure/catalog/ObjectCatalog.h"

#include <new>

#include "adventure/catalog/CatalogKind.h"
#include "adventure/catalog/ItemDescription.h"
#include "foundation/SLError.h"
#include "foundation/SLFormula.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "foundation/SLWideText.h"
#include "storage/SLFastFileStorage.h"

namespace {
using ObjectKind = TCatalogKind<ObjectRecord, &ObjectRecord_Destruct, &ObjectCatalog>;
constexpr u32 kValueSize = ItemDescription::kValueSize;
constexpr u32 kMaxClassTokens = 99;
constexpr u32 kMaxDirectionWords = 9;

}  // namespace

constinit CatalogList ObjectCatalog{{{&ObjectCatalog.head, &ObjectCatalog.head}}, 0, &ObjectKind::kKind};

void ObjectSupportPoint_Construct(ObjectSupportPoint* point) {
  new (point) ObjectSupportPoint;
  point->x = point->y = 0;
  point->exitFlag = 0;
}

void ObjectState_Construct(ObjectState* state) {
  new (state) ObjectState;
  state->duration = 0;
  state->repeat = 1;
  state->sound = nullptr;
  state->soundLoops = 0;
  state->exitFlag = 0;
}

void ObjectState_Destruct(ObjectState* state) {
  if (!state) return;
  ItemFrames_Release(&state->frames, state->exitFlag);
  ItemSound_Release(&state->sound, state->exitFlag);
  state->~ObjectState();
}

void ObjectRecord_Construct(ObjectRecord* record) {
  new (record) ObjectRecord;
  record->id = ItemId{};
  record->link = CatalogLink{{nullptr, nullptr}};
  record->floatDepth = -1.0;
  record->exitFlag = 0;
}

void ObjectRecord_Destruct(ObjectRecord* record) {
  if (!record) return;
  SLErrorKeeper keep;
  for (ObjectSupportPoint* point : record->supportPoints) {
    point->exitFlag = record->exitFlag;
    point->~ObjectSupportPoint();
    SLFree(point);
  }
  for (ObjectState* state : record->states) {
    state->exitFlag = record->exitFlag;
    ObjectState_Destruct(state);
    SLFree(state);
  }
  record->~ObjectRecord();
}

ObjectSupportPoint* CatalogRecord_GetListEntryAt(ObjectRecord* record, u32 n) {
  if (!record) return SLFail(SL_E_NULL_DATA, static_cast<ObjectSupportPoint*>(nullptr));
  return n < record->supportPoints.GetCount() ? record->supportPoints[n] : nullptr;
}

u32 CatalogRecord_GetListEntryCount(const ObjectRecord* record) {
  return record ? record->supportPoints.GetCount() : 0;
}

i32 ObjectRecord_FindState(const ObjectRecord* record, const char* name) {
  if (!record || !name) return SLFail(SL_E_NULL_DATA, -1);
  for (u32 i = 0; i < record->states.GetCount(); ++i)
    if (SLStrICmpA(const_cast<ObjectState*>(record->states[i])->name.CStr(), name) == 0) return i32(i);
  return -1;
}

namespace {
struct ObjectLoad {
  ObjectRecord* record;
  CSLFastFileStorage* pack;
  CSLThread* thread;
  ItemDescription description;
  u32 width = 0, height = 0;  // of the first frame of the first state
};

bool ReadFloating(ObjectLoad& load) {
  char value[kValueSize];
  bool present;
  if (!load.description.GetValue("General", "Flotante", value, sizeof value, &present)) return false;
  if (!present || SLStrICmpA(value, "NO") == 0) return SLSucceed(true);
  double depth;
  if (!ItemDescription_ParseFraction(value, &depth, true)) return false;
  if (!(depth >= 0.0 && depth <= 100.0)) return SLFail(SL_E_MALFORMED, false);
  load.record->floatDepth = depth;
  return SLSucceed(true);
}

bool ReadState(ObjectLoad& load, ObjectState* state, const char* section) {
  char base[kValueSize], value[kValueSize];
  if (!load.description.GetRequired(section, "Animaci\xF3n", base, sizeof base)) return false;
  u32 count;
  if (!ItemFrames_Count(load.pack, base, &count)) return false;
  if (count == 0) return SLFail(SL_E_MALFORMED, false);
  const bool first = load.record->states.GetCount() == 1;
  if (!ItemFrames_Load(load.pack, base, count, &state->frames, first ? &load.width : nullptr, &load.height) ||
      !ItemAnimation_ReadSequence(&load.description, section, count, &state->sequence) ||
      !ItemAnimation_ReadTiming(&load.description, section, &state->duration, &state->repeat))
    return false;
  bool found;
  if (!load.description.GetNonEmpty(section, "Pasa_A_Estado", value, sizeof value, &found)) return false;
  if (found && !state->nextState.Assign(value)) return false;
  return ItemSound_Read(&load.description, load.pack, section, &state->sound, &state->soundLoops);
}

// One coordinate of "Posición": the formula's value truncated toward zero, which must fit.
bool EvaluateCoordinate(CSLFormulaSolver* solver, const char* formula, i32* out) {
  double value;
  i32 position;
  if (!solver->Evaluate(formula, &value, &position)) return false;
  if (!(value > -2147483649.0 && value < 2147483648.0)) return SLFail(SL_E_MALFORMED, false);
  *out = i32(value);
  return SLSucceed(true);
}

bool ReadObjectClasses(ObjectLoad& load, ObjectSupportPoint* point, const char* section) {
  bool accepts;
  if (!load.description.GetYesNo(section, "Acepta_Objetos", false, &accepts)) return false;
  if (!accepts) return SLSucceed(true);
  char list[kValueSize], token[kValueSize];
  if (!load.description.GetRequired(section, "Clase_Objetos", list, sizeof list)) return false;
  for (u32 n = 1; n <= kMaxClassTokens && ItemDescription_GetToken(list, n, token, sizeof token); ++n)
    if ((n > 1 && !point->objectClasses.Append(",")) || !point->objectClasses.Append(token)) return false;
  return point->objectClasses.GetLength() ? SLSucceed(true) : SLFail(SL_E_MALFORMED, false);
}

// "ForzarDirección = word; word ..." as a direction mask.
bool ParseForcedDirections(const char* clause, u32* mask) {
  static constexpr char kWord[] = "ForzarDirecci\xF3n";
  constexpr u32 kWordLength = sizeof kWord - 1;
  if (SLTextLength(clause) < kWordLength || SLStrNICmpA(clause, kWord, kWordLength) != 0)
    return SLFail(SL_E_MALFORMED, false);
  const char* rest = clause + kWordLength;
  while (*rest == ' ' || *rest == '\t') ++rest;
  if (*rest++ != '=') return SLFail(SL_E_MALFORMED, false);
  static constexpr struct {
    const char* word;
    u32 bit;
  } kWords[] = {{"Adelante", kForceFront}, {"Atr\xE1s", kForceBack}, {"Izquierda", kForceLeft}, {"Derecha", kForceRight}};
  char word[kValueSize];
  *mask = 0;
  u32 n = 1;
  for (; n <= kMaxDirectionWords && ItemDescription_GetDirectionToken(rest, n, word, sizeof word); ++n) {
    u32 bit = 0;
    for (const auto& known : kWords)
      if (SLStrCmpA(word, known.word) == 0) bit = known.bit;
    if (!bit) return SLFail(SL_E_MALFORMED, false);
    *mask |= bit;
  }
  return n > 1 ? SLSucceed(true) : SLFail(SL_E_MALFORMED, false);
}

bool ReadCharacterClasses(ObjectLoad& load, ObjectSupportPoint* point, const char* section) {
  bool accepts;
  if (!load.description.GetYesNo(section, "Acepta_Personajes", false, &accepts)) return false;
  if (!accepts) return SLSucceed(true);
  char key[32], value[kValueSize], itemClass[kValueSize], clause[kValueSize];
  for (u32 j = 1; j <= kMaxClassTokens; ++j) {
    ItemDescription_NumberedName(key, sizeof key, "Clase_Personajes%lu", j);
    bool found;
    if (!load.description.GetNonEmpty(section, key, value, sizeof value, &found)) return false;
    if (!found) return j > 1 ? SLSucceed(true) : SLFail(SL_E_MALFORMED, false);
    if (!ItemDescription_GetToken(value, 1, itemClass, sizeof itemClass)) return SLFail(SL_E_MALFORMED, false);
    u32 mask = 0;
    if (ItemDescription_GetToken(value, 2, clause, sizeof clause) && !ParseForcedDirections(clause, &mask))
      return false;
    CSLStringAnsi& classes = point->characterClasses;
    if ((classes.GetLength() && !classes.Append(",")) || !classes.Append(itemClass) ||
        !classes.AppendFormat(", %lu", static_cast<unsigned long>(mask)))
      return false;
  }
  return SLSucceed(true);
}

bool ReadSupportPoints(ObjectLoad& load) {
  CSLFormulaSolver solver;
  const u32 right = load.width - 1u, bottom = load.height - 1u;
  const double centreX = right >> 1, centreY = bottom >> 1;
  if (!solver.SetVariable("CENTROX", centreX, true) || !solver.SetVariable("CENTROY", centreY, true) ||
      !solver.SetVariable("IZQUIERDA", 0, true) || !solver.SetVariable("DERECHA", right, true) ||
      !solver.SetVariable("ARRIBA", 0, true) || !solver.SetVariable("ABAJO", bottom, true))
    return false;
  char section[32], position[kValueSize], formula[kValueSize];
  for (u32 p = 1;; ++p) {
    if (CatalogLoader_StopRequested(load.thread)) return SLFail(SL_E_CANCELLED, false);
    ItemDescription_NumberedName(section, sizeof section, "Punto_Apoyo_%ld", p);
    bool found;
    if (!load.description.GetNonEmpty(section, "Posici\xF3n", position, sizeof position, &found)) return false;
    if (!found) return SLSucceed(true);
    ObjectSupportPoint* point = CatalogAppendNew(&load.record->supportPoints, ObjectSupportPoint_Construct);
    if (!point) return false;
    ItemDescription_GetToken(position, 1, formula, sizeof formula);
    if (!solver.SetVariable("CENTRO", centreX, true) || !EvaluateCoordinate(&solver, formula, &point->x)) return false;
    ItemDescription_GetToken(position, 2, formula, sizeof formula);
    if (!solver.SetVariable("CENTRO", centreY, true) || !EvaluateCoordinate(&solver, formula, &point->y)) return false;
    if (!ReadObjectClasses(load, point, section) || !ReadCharacterClasses(load, point, section)) return false;
  }
}

bool Validate(const ObjectRecord* record) {
  if (record->states.GetCount() == 0 || ObjectRecord_FindState(record, const_cast<ObjectRecord*>(record)->initialState.CStr()) < 0)
    return SLFail(SL_E_MALFORMED, false);
  for (u32 i = 0; i < record->states.GetCount(); ++i) {
    ObjectState* state = const_cast<ObjectState*>(record->states[i]);
    if (state->nextState.GetLength() == 0) continue;
    const i32 next = ObjectRecord_FindState(record, state->nextState.CStr());
    if (next < 0 || u32(next) == i) return SLFail(SL_E_MALFORMED, false);
  }
  return SLSucceed(true);
}

bool LoadObject(ObjectLoad& load) {
  ObjectRecord* record = load.record;
  char itemClass[kValueSize], name[kValueSize], initial[kValueSize], section[32], value[kValueSize];
  if (!load.description.Load(load.pack) ||
      !load.description.GetRequired("General", "Clase", itemClass, sizeof itemClass) ||
      !load.description.GetRequired("General", "Nombre", name, sizeof name) || !ReadFloating(load) ||
      !load.description.GetRequired("General", "Estado_Inicial", initial, sizeof initial))
    return false;
  if (!record->itemClass.Assign(itemClass) || !record->name.Assign(name) || !record->initialState.Assign(initial))
    return false;
  for (u32 i = 1;; ++i) {
    if (CatalogLoader_StopRequested(load.thread)) return SLFail(SL_E_CANCELLED, false);
    ItemDescription_NumberedName(section, sizeof section, "Estado_%ld", i);
    bool found;
    if (!load.description.GetNonEmpty(section, "Nombre", value, sizeof value, &found)) return false;
    if (!found) {
      if (i == 1) return SLFail(SL_E_MALFORMED, false);
      break;
    }
    ObjectState* state = CatalogAppendNew(&record->states, ObjectState_Construct);
    if (!state || !state->name.Assign(value) || !ReadState(load, state, section)) return false;
  }
  if (!ReadSupportPoints(load) || !Validate(record)) return false;
  const char* fields[] = {name, itemClass, initial};
  return ItemId_Compute(&record->id, fields, 3) && CatalogList_Insert(&ObjectCatalog, record);
}
}  // namespace

ObjectRecord* ObjectCatalog_LoadItem(const char* path, CSLThread* thread) {
  if (!path) return SLFail(SL_E_NULL_DATA, static_cast<ObjectRecord*>(nullptr));
  CSLFastFileStorage pack;
  if (!pack.AttachFile(path, false, 0)) return nullptr;
  auto* record = static_cast<ObjectRecord*>(SLAlloc(sizeof(ObjectRecord)));
  if (!record) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<ObjectRecord*>(nullptr));
  ObjectRecord_Construct(record);
  ObjectLoad load;
  load.record = record, load.pack = &pack, load.thread = thread;
  if (!LoadObject(load)) {
    ObjectKind::Destroy(record, ObjectCatalog.exitFlag);
    return nullptr;
  }
  return SLSucceed(record);
}

ObjectRecord* ObjectCatalog_GetAt(u32 index) {
  return static_cast<ObjectRecord*>(CatalogList_GetAt(&ObjectCatalog, index));
}

i32 ObjectCatalog_FindById(const ItemId& id) { return CatalogList_FindById(&ObjectCatalog, id); }

void ObjectCatalog_Free() { CatalogList_Free(&ObjectCatalog); }
