#include "gamesystem/SLPhaseHooks.h"

#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLSingleton.h"
#include "foundation/SLSync.h"

namespace SLInternals {

// The game system's common lock; a thread may enter it again while it holds it.
class CSL_GS_Common_CS : public CSLBaseOODClass, public CSLCriticalSection {};

namespace {

struct PhaseHookEntry {
  u32 id;
  u32 phase;
  u32 priority;
  SLPhaseHookFunction function;
  std::uintptr_t argument;
  u32 removed;
};

struct PhaseHookTable {
  TSLArray<PhaseHookEntry> entries;  // ascending priority
  u32 dispatchDepth = 0;
  u32 nextId = 1;
};

CSL_GS_Common_CS* g_commonLock = nullptr;

PhaseHookTable& Table() {
  static PhaseHookTable table;
  return table;
}

CSL_GS_Common_CS* CommonLock() { return SLGetSingleton(g_commonLock, SL_OOD_PRIORITY_COMMON_LOCK); }

bool IsPhase(u32 phase) { return phase == SL_GS_PHASE_LOGIC || phase == SL_GS_PHASE_DRAW; }

// Drops the entries marked during the dispatches that just ended.
void CompactTable(PhaseHookTable& table) {
  for (u32 i = table.entries.GetCount(); i-- > 0;)
    if (table.entries[i].removed) table.entries.RemoveAt(i);
}

}  // namespace
}  // namespace SLInternals

using namespace SLInternals;

bool SL_GS_AddPhaseHook(u32* id, u32 phase, u32 priority, SLPhaseHookFunction function, std::uintptr_t argument) {
  if (!id) return SLFail(SL_E_NULL_OUTPUT, false);
  *id = 0xFFFFFFFFu;
  if (!IsPhase(phase) || !function) return SLFail(SL_E_INVALID_ARG, false);
  CSL_GS_Common_CS* lock = CommonLock();
  if (!lock) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SLCriticalSectionLock guard(lock);
  if (!guard.IsLocked()) return SLFail(SL_E_OUT_OF_MEMORY, false);
  PhaseHookTable& table = Table();
  u32 position = 0;
  while (position < table.entries.GetCount() && table.entries[position].priority <= priority) ++position;
  const PhaseHookEntry entry{table.nextId, phase, priority, function, argument, 0};
  if (!table.entries.InsertAt(entry, position)) return false;
  *id = entry.id;
  if (++table.nextId == 0) table.nextId = 1;
  return SLSucceed(true);
}

bool SL_GS_RemovePhaseHook(u32 id) {
  CSL_GS_Common_CS* lock = CommonLock();
  if (!lock) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SLCriticalSectionLock guard(lock);
  if (!guard.IsLocked()) return SLFail(SL_E_OUT_OF_MEMORY, false);
  PhaseHookTable& table = Table();
  for (u32 i = 0; i < table.entries.GetCount(); ++i) {
    PhaseHookEntry& entry = table.entries[i];
    if (entry.id != id || entry.removed) continue;
    if (table.dispatchDepth)
      entry.removed = 1;
    else
      table.entries.RemoveAt(i);
    return SLSucceed(true);
  }
  return SLFail(SL_E_NOT_FOUND, false);
}

bool SL_GS_RunPhaseHooks(u32 phase) {
  if (!IsPhase(phase)) return SLFail(SL_E_INVALID_ARG, false);
  CSL_GS_Common_CS* lock = CommonLock();
  if (!lock) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SLCriticalSectionLock guard(lock);
  if (!guard.IsLocked()) return SLFail(SL_E_OUT_OF_MEMORY, false);
  PhaseHookTable& table = Table();
  // The depth goes back and the table is compacted even when a hook throws.
  struct Dispatch {
    PhaseHookTable& table;
    explicit Dispatch(PhaseHookTable& t) : table(t) { ++table.dispatchDepth; }
    ~Dispatch() {
      if (--table.dispatchDepth == 0) CompactTable(table);
    }
  } dispatch(table);
  // Only the entries present when the dispatch began are visited; hooks may add hooks,
  // so the entry is looked up again for every call.
  const u32 count = table.entries.GetCount();
  for (u32 i = 0; i < count && i < table.entries.GetCount(); ++i) {
    const PhaseHookEntry entry = table.entries[i];
    if (entry.phase == phase && !entry.removed) entry.function(entry.argument);
  }
  return SLSucceed(true);
}
