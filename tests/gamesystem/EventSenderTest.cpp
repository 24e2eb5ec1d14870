// Event senders: delivery order, removal rules, and what listeners may do to the list
// (and to the sender) while a delivery runs.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "foundation/SLSync.h"
#include "gamesystem/SLEventSender.h"

namespace {

class Device : public CSLObject, public TSLEventSender<Device, CSLBaseEvent*> {};

std::string g_log;

struct Listener {
  explicit Listener(char name) : name(name) {}
  void OnEvent(Device* sender, CSLBaseEvent*, u32 user) {
    g_log += name;
    if (user > 1) g_log += char('0' + user);
    lastSender = sender;
    if (action) {
      auto once = std::move(action);
      action = nullptr;
      once(sender);
    }
  }
  void OnOther(Device*, CSLBaseEvent*, u32) { g_log += char(name - 'A' + 'a'); }
  char name;
  Device* lastSender = nullptr;
  std::function<void(Device*)> action;  // runs once, inside the next call
};

// A listener with two bases: its member pointer carries an adjustment to the second.
struct Padding {
  virtual ~Padding() = default;
  long filler[3] = {};
};
struct TwoBases : Padding, Listener {
  TwoBases() : Listener('M') {}
};

std::string SendOnce(Device* device) {
  g_log.clear();
  CSLEventSourceDying event;
  device->Send(&event);
  return g_log;
}

TEST(EventSender, DeliversInRegistrationOrderToEveryRegistration) {
  Device device;
  EXPECT_EQ(SendOnce(&device), "");
  Listener a('A'), b('B');
  TwoBases m;
  ASSERT_TRUE(device.AddCallback(&a, &Listener::OnEvent, 0));
  ASSERT_TRUE(device.AddCallback(&b, &Listener::OnEvent, 0));
  ASSERT_TRUE(device.AddCallback<TwoBases>(&m, &TwoBases::OnEvent, 0));
  ASSERT_TRUE(device.AddCallback(&a, &Listener::OnEvent, 0));  // a second registration
  EXPECT_EQ(SLGetLastError(), 0u);
  EXPECT_EQ(SendOnce(&device), "ABMA");
  EXPECT_EQ(SendOnce(&device), "ABMA");
  EXPECT_EQ(a.lastSender, &device);
}

TEST(EventSender, AddRefusesNullListenerOrMember) {
  Device device;
  Listener a('A');
  EXPECT_FALSE(device.AddCallback<Listener>(nullptr, &Listener::OnEvent, 0));
  EXPECT_EQ(SLGetLastError(), 0x80001001u);
  EXPECT_FALSE(device.AddCallback<Listener>(&a, nullptr, 0));
  EXPECT_EQ(SLGetLastError(), 0x80001001u);
  EXPECT_FALSE(device.RemoveCallback<Listener>(nullptr, &Listener::OnEvent, 0));
  EXPECT_EQ(SLGetLastError(), 0x80001001u);
  EXPECT_EQ(SendOnce(&device), "");
}

TEST(EventSender, RemoveMatchesListenerMemberAndUser) {
  struct Case {
    bool nullMember;
    bool otherMember;
    u32 user;
    bool removes;
    const char* remaining;
  };
  // Registered: A(OnEvent, 1), A(OnEvent, 2), A(OnOther, 1), B(OnEvent, 1).
  const Case cases[] = {
      {true, false, 0, true, "B"},       // a null member removes every record of A
      {true, false, 7, true, "B"},       // ... whatever the user value
      {false, false, 0, true, "aB"},     // user 0: every record with that member
      {false, false, 2, true, "AaB"},    // that member and that user value only
      {false, true, 1, true, "AA2B"},    // the other member
      {false, true, 2, false, "AA2aB"},  // nothing matches: 0x80010001, nothing removed
  };
  for (const Case& c : cases) {
    Device device;
    Listener a('A'), b('B');
    device.AddCallback(&a, &Listener::OnEvent, 1);
    device.AddCallback(&a, &Listener::OnEvent, 2);
    device.AddCallback(&a, &Listener::OnOther, 1);
    device.AddCallback(&b, &Listener::OnEvent, 1);
    auto member = c.nullMember ? nullptr : c.otherMember ? &Listener::OnOther : &Listener::OnEvent;
    EXPECT_EQ(device.RemoveCallback(&a, member, c.user), c.removes) << c.remaining;
    EXPECT_EQ(SLGetLastError(), c.removes ? 0u : 0x80010001u);
    EXPECT_EQ(SendOnce(&device), c.remaining);
  }
}

// What a listener does inside a delivery, and what that delivery and the next one call.
TEST(EventSender, ListenersChangeTheListDuringADelivery) {
  struct Case {
    const char* what;
    char actor;  // the listener whose call does it
    std::function<void(Device*, Listener*, Listener*, Listener*, Listener*)> action;  // device, A, B, C, D
    const char* first;
    const char* second;
  };
  const Case cases[] = {
      {"removes itself", 'B', [](Device* d, Listener*, Listener* b, Listener*, Listener*) {
         EXPECT_TRUE(d->RemoveCallback(b, &Listener::OnEvent, 0));
         EXPECT_FALSE(d->RemoveCallback(b, &Listener::OnEvent, 0));  // already gone
       }, "ABC", "AC"},
      {"removes the next one", 'B', [](Device* d, Listener*, Listener*, Listener* c, Listener*) {
         d->RemoveCallback(c, &Listener::OnEvent, 0);
       }, "AB", "AB"},
      {"appends while not last", 'B', [](Device* d, Listener*, Listener*, Listener*, Listener* x) {
         d->AddCallback(x, &Listener::OnEvent, 0);
       }, "ABCD", "ABCD"},
      {"appends while last", 'C', [](Device* d, Listener*, Listener*, Listener*, Listener* x) {
         d->AddCallback(x, &Listener::OnEvent, 0);
       }, "ABC", "ABCD"},
  };
  for (const Case& c : cases) {
    Device device;
    Listener a('A'), b('B'), third('C'), d('D');
    Listener* byName[] = {&a, &b, &third};
    for (Listener* l : byName) device.AddCallback(l, &Listener::OnEvent, 0);
    Listener* actor = byName[c.actor - 'A'];
    actor->action = [&](Device* sender) { c.action(sender, &a, &b, &third, &d); };
    EXPECT_EQ(SendOnce(&device), c.first) << c.what;
    EXPECT_EQ(SendOnce(&device), c.second) << c.what;
  }
}

TEST(EventSender, SenderDestroyedInsideItsOwnDeliveryStopsIt) {
  for (bool nested : {false, true}) {
    auto* device = new Device;
    Listener a('A'), b('B'), c('C');
    device->AddCallback(&a, &Listener::OnEvent, 0);
    device->AddCallback(&b, &Listener::OnEvent, 0);
    device->AddCallback(&c, &Listener::OnEvent, 0);
    if (nested) {
      a.action = [](Device* d) {
        CSLBaseEvent inner;
        d->Send(&inner);
      };
    }
    b.action = [](Device* d) {
      delete d;
      SLSetLastError(0x1234);
    };
    EXPECT_EQ(SendOnce(device), nested ? "AAB" : "AB");
    EXPECT_EQ(SLGetLastError(), 0x1234u);  // freeing the records afterwards kept the code
  }
}

TEST(EventSender, ThrowingListenerEndsTheDeliveryAndFreesTheLock) {
  Device device;
  Listener a('A'), b('B');
  device.AddCallback(&a, &Listener::OnEvent, 0);
  device.AddCallback(&b, &Listener::OnEvent, 0);
  a.action = [](Device*) { throw std::runtime_error("listener failed"); };
  g_log.clear();
  CSLEventSourceDying event;
  EXPECT_THROW(device.Send(&event), std::runtime_error);
  EXPECT_EQ(g_log, "A");
  bool locked = false;
  std::thread([&] {
    if ((locked = SLEventManagerLock())) SLEventManagerUnlock();
  }).join();
  EXPECT_TRUE(locked);
  EXPECT_EQ(SendOnce(&device), "AB");
}

}  // namespace
