// Drives two event senders with registrations, removals, deliveries and destructions
// decoded from the input; listeners, while they are called, add, remove (their own
// records and others'), send again and destroy senders. Every call made is checked
// against a plain model of the delivery order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/SLError.h"
#include "fuzz/FuzzProgram.h"
#include "gamesystem/SLEventSender.h"

namespace {

constexpr int kSenders = 2, kListeners = 4, kMaxDepth = 4;

using Input = SLFuzzProgram;

// One action, decoded the same way by the real run and the model.
struct Action {
  enum Kind { None, Add, Remove, Send, Destroy } kind;
  int sender, listener, member;  // member 2: null (every record of the listener)
  u32 user;
};
Action Decode(Input& in) {
  u32 op = in.Take(), arg = in.Take();
  Action a{Action::Kind(op % 5), int(arg & 1), int((arg >> 1) & 3), int((arg >> 3) % 3), (arg >> 5) & 3};
  return a;
}

std::string g_log;  // "<listener><member><user>" per call

// ---- the real senders ----
class Device : public CSLObject, public TSLEventSender<Device, CSLBaseEvent*> {
 public:
  explicit Device(int index) : index(index) {}
  int index;
};
Device* g_devices[kSenders];
Input* g_input;
int g_depth;

void Perform(const Action& a);

struct Listener {
  int index;
  void Called(Device* sender, u32 user, int member) {
    SLFuzzCheck(sender && g_devices[sender->index] == sender);
    g_log += char('0' + index);
    g_log += char('a' + member);
    g_log += char('0' + user);
    Action a = Decode(*g_input);
    if (g_depth < kMaxDepth) Perform(a);
  }
  void OnA(Device* sender, CSLBaseEvent*, u32 user) { Called(sender, user, 0); }
  void OnB(Device* sender, CSLBaseEvent*, u32 user) { Called(sender, user, 1); }
};
Listener g_listeners[kListeners] = {{0}, {1}, {2}, {3}};
using Member = void (Listener::*)(Device*, CSLBaseEvent*, u32);
const Member kMembers[2] = {&Listener::OnA, &Listener::OnB};

void Perform(const Action& a) {
  Device* device = g_devices[a.sender];
  switch (a.kind) {
    case Action::None: break;
    case Action::Add:
      if (device) SLFuzzCheck(device->AddCallback(&g_listeners[a.listener], kMembers[a.member % 2], a.user));
      break;
    case Action::Remove:
      if (device) {
        Member member = a.member == 2 ? nullptr : kMembers[a.member];
        bool removed = device->RemoveCallback(&g_listeners[a.listener], member, a.user);
        g_log += removed ? "+" : "-";
        SLFuzzCheck(SLGetLastError() == (removed ? 0u : 0x80010001u));
      }
      break;
    case Action::Send:
      if (device) {
        ++g_depth;
        CSLBaseEvent event;
        device->Send(&event);
        --g_depth;
        g_log += '.';
      }
      break;
    case Action::Destroy:
      if (device) {
        g_devices[a.sender] = nullptr;
        delete device;
      }
      break;
  }
}

// ---- the model ----
struct Record {
  int listener, member;
  u32 user;
  bool removed;
  int id;
};
struct ModelSender {
  bool alive = false;
  std::vector<Record> records;
  int deliveries = 0;
  int generation = 0;  // bumped when destroyed: running deliveries of it stop
};
ModelSender g_model[kSenders];
int g_nextId;
std::string g_modelLog;
Input* g_modelInput;
int g_modelDepth;

void ModelPerform(const Action& a);

int IndexOf(const ModelSender& s, int id) {
  for (std::size_t i = 0; i < s.records.size(); ++i)
    if (s.records[i].id == id) return int(i);
  return -1;
}

void ModelDeliver(int sender) {
  ModelSender& s = g_model[sender];
  const int generation = s.generation;
  ++s.deliveries;
  int current = s.records.empty() ? -1 : s.records.front().id;
  while (current != -1) {
    int index = IndexOf(s, current);
    int next = index + 1 < int(s.records.size()) ? s.records[index + 1].id : -1;
    Record record = s.records[index];
    if (!record.removed) {
      g_modelLog += char('0' + record.listener);
      g_modelLog += char('a' + record.member);
      g_modelLog += char('0' + record.user);
      Action a = Decode(*g_modelInput);
      if (g_modelDepth < kMaxDepth) ModelPerform(a);
      if (s.generation != generation) return;
    }
    current = next;
  }
  if (--s.deliveries == 0)
    std::erase_if(s.records, [](const Record& r) { return r.removed; });
}

void ModelPerform(const Action& a) {
  ModelSender& s = g_model[a.sender];
  if (!s.alive || a.kind == Action::None) return;
  switch (a.kind) {
    case Action::Add:
      s.records.push_back(Record{a.listener, a.member % 2, a.user, false, g_nextId++});
      break;
    case Action::Remove: {
      bool any = false;
      for (Record& r : s.records)
        if (!r.removed && r.listener == a.listener &&
            (a.member == 2 || (r.member == a.member && (a.user == 0 || a.user == r.user)))) {
          r.removed = true;
          any = true;
        }
      if (!s.deliveries) std::erase_if(s.records, [](const Record& r) { return r.removed; });
      g_modelLog += any ? "+" : "-";
      break;
    }
    case Action::Send:
      ++g_modelDepth;
      ModelDeliver(a.sender);
      --g_modelDepth;
      g_modelLog += '.';
      break;
    case Action::Destroy:
      s.alive = false;
      s.records.clear();
      s.deliveries = 0;
      ++s.generation;
      break;
    default: break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Both readers live as long as the program; each input starts them afresh.
  static Input real{nullptr, 0}, model{nullptr, 0};
  real = Input{data, size};
  model = Input{data, size};
  g_input = &real;
  g_modelInput = &model;
  for (int i = 0; i < kSenders; ++i) {
    g_devices[i] = new Device(i);
    g_model[i] = ModelSender{};
    g_model[i].alive = true;
  }
  g_nextId = 0;
  while (real.at < size) {
    const std::size_t start = real.at;
    g_log.clear();
    g_modelLog.clear();
    Action a = Decode(real);
    if (a.kind == Action::None) {  // top level: "none" brings a destroyed sender back
      if (!g_devices[a.sender]) {
        g_devices[a.sender] = new Device(a.sender);
        g_model[a.sender].alive = true;
      }
      model.at = real.at;
      continue;
    }
    g_depth = 0;
    Perform(a);
    model.at = start;
    g_modelDepth = 0;
    ModelPerform(Decode(model));
    SLFuzzCheck(g_log == g_modelLog);
    SLFuzzCheck(real.at == model.at);
  }
  for (Device*& device : g_devices) {
    delete device;
    device = nullptr;
  }
  return 0;
}
