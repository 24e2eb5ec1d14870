// Drives the phase-hook table with additions, removals and dispatches decoded from the
// input; hooks, while they run, add hooks, remove themselves or others and dispatch
// again. Every call made and every answer is checked against a plain model.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "fuzz/FuzzProgram.h"
#include "gamesystem/SLPhaseHooks.h"

namespace {

constexpr int kSlots = 6, kMaxDepth = 3;

using Input = SLFuzzProgram;

struct Action {
  enum Kind { None, Add, Remove, Run } kind;
  int slot;
  u32 phase, priority;
};
Action Decode(Input& in) {
  u32 op = in.Take(), arg = in.Take();
  return Action{Action::Kind(op % 4), int(arg % kSlots), 1 + ((arg >> 3) & 1), (arg >> 4) & 3};
}

std::string g_log, g_modelLog;
Input *g_input, *g_modelInput;
int g_depth, g_modelDepth;
u32 g_ids[kSlots];          // the real id of each slot's newest hook (0: none)
std::deque<u32> g_newIds;   // ids the real table gave out, in order, for the model

void Perform(const Action& a);

void Hook(std::uintptr_t slot) {
  g_log += char('0' + slot);
  Action a = Decode(*g_input);
  if (g_depth < kMaxDepth) Perform(a);
}

void Perform(const Action& a) {
  switch (a.kind) {
    case Action::None: break;
    case Action::Add: {
      u32 id = 0;
      SLFuzzCheck(SL_GS_AddPhaseHook(&id, a.phase, a.priority, &Hook, std::uintptr_t(a.slot)));
      g_ids[a.slot] = id;
      g_newIds.push_back(id);
      break;
    }
    case Action::Remove: {
      bool removed = g_ids[a.slot] && SL_GS_RemovePhaseHook(g_ids[a.slot]);
      if (g_ids[a.slot]) SLFuzzCheck(SLGetLastError() == (removed ? 0u : 0x80010001u));
      g_log += removed ? "+" : "-";
      break;
    }
    case Action::Run:
      ++g_depth;
      SLFuzzCheck(SL_GS_RunPhaseHooks(a.phase));
      --g_depth;
      g_log += '.';
      break;
  }
}

// ---- the model ----
struct Entry {
  u32 id, phase, priority;
  int slot;
  bool removed;
};
std::vector<Entry> g_entries;
u32 g_modelIds[kSlots];
int g_dispatches;

void ModelPerform(const Action& a);

void ModelRun(u32 phase) {
  ++g_dispatches;
  const std::size_t count = g_entries.size();
  for (std::size_t i = 0; i < count && i < g_entries.size(); ++i) {
    Entry entry = g_entries[i];
    if (entry.phase != phase || entry.removed) continue;
    g_modelLog += char('0' + entry.slot);
    Action a = Decode(*g_modelInput);
    if (g_modelDepth < kMaxDepth) ModelPerform(a);
  }
  if (--g_dispatches == 0) std::erase_if(g_entries, [](const Entry& e) { return e.removed; });
}

void ModelPerform(const Action& a) {
  switch (a.kind) {
    case Action::None: break;
    case Action::Add: {
      SLFuzzCheck(!g_newIds.empty());
      u32 id = g_newIds.front();
      g_newIds.pop_front();
      std::size_t position = 0;
      while (position < g_entries.size() && g_entries[position].priority <= a.priority) ++position;
      g_entries.insert(g_entries.begin() + std::ptrdiff_t(position), Entry{id, a.phase, a.priority, a.slot, false});
      g_modelIds[a.slot] = id;
      break;
    }
    case Action::Remove: {
      bool removed = false;
      for (std::size_t i = 0; g_modelIds[a.slot] && i < g_entries.size(); ++i)
        if (g_entries[i].id == g_modelIds[a.slot] && !g_entries[i].removed) {
          removed = true;
          if (g_dispatches)
            g_entries[i].removed = true;
          else
            g_entries.erase(g_entries.begin() + std::ptrdiff_t(i));
          break;
        }
      g_modelLog += removed ? "+" : "-";
      break;
    }
    case Action::Run:
      ++g_modelDepth;
      ModelRun(a.phase);
      --g_modelDepth;
      g_modelLog += '.';
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input real{data, size}, model{data, size};
  g_input = &real;
  g_modelInput = &model;
  g_entries.clear();
  g_newIds.clear();
  for (int i = 0; i < kSlots; ++i) g_ids[i] = g_modelIds[i] = 0;
  std::vector<u32> every;
  while (real.at < size) {
    const std::size_t start = real.at;
    g_log.clear();
    g_modelLog.clear();
    const std::size_t before = g_newIds.size();
    g_depth = 0;
    Perform(Decode(real));
    for (std::size_t i = before; i < g_newIds.size(); ++i) every.push_back(g_newIds[i]);
    model.at = start;
    g_modelDepth = 0;
    ModelPerform(Decode(model));
    SLFuzzCheck(g_log == g_modelLog);
    SLFuzzCheck(real.at == model.at);
    SLFuzzCheck(g_newIds.empty());
  }
  // The table is the process's: leave it empty for the next input.
  for (u32 id : every) SL_GS_RemovePhaseHook(id);
  g_log.clear();
  SL_GS_RunPhaseHooks(SL_GS_PHASE_LOGIC);
  SL_GS_RunPhaseHooks(SL_GS_PHASE_DRAW);
  SLFuzzCheck(g_log.empty());
  return 0;
}
