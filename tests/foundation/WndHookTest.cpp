// Window-procedure hooks over the user32 stand-in's windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "foundation/SLError.h"
#include "foundation/SLWndHook.h"
#include "platform/user32/User32.h"

namespace {

constexpr UINT kProbe = WM_USER + 7;
std::vector<std::string> g_trace;

LRESULT OwnProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kProbe) {
    g_trace.push_back("own");
    return 99;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

class NamedHook : public CSLWndProcHook {
 public:
  explicit NamedHook(std::string name) : m_name(std::move(name)) {}
  LRESULT WindowProc(HWND window, u32 message, WPARAM wParam, LPARAM lParam) override {
    if (message == kProbe) {
      g_trace.push_back(m_name);
      if (detachInside) Detach();
      if (swallow) return 5;
    }
    seen.push_back(message);
    return CallPrevious(message, wParam, lParam);
    (void)window;
  }
  std::string m_name;
  bool swallow = false;
  bool detachInside = false;
  std::vector<u32> seen;
};

class WndHook : public ::testing::Test {
 protected:
  void SetUp() override {
    g_trace.clear();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &OwnProc;
    wc.lpszClassName = u"SLHookTestClass";
    RegisterClassExW(&wc);
    window = CreateWindowExW(0, u"SLHookTestClass", u"w", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    if (IsWindow(window)) DestroyWindow(window);
    UnregisterClassW(u"SLHookTestClass", nullptr);
  }
  WNDPROC CurrentProc() { return reinterpret_cast<WNDPROC>(GetWindowLongW(window, GWL_WNDPROC)); }
  HWND window = nullptr;
};

}  // namespace

TEST_F(WndHook, NewestHookSeesTheMessageFirstAndChainsDown) {
  NamedHook a("a"), b("b"), c("c");
  ASSERT_TRUE(a.Attach(window, nullptr));
  ASSERT_TRUE(b.Attach(window, nullptr));
  ASSERT_TRUE(c.Attach(window, nullptr));
  EXPECT_EQ(SendMessageW(window, kProbe, 0, 0), 99);
  EXPECT_EQ(g_trace, (std::vector<std::string>{"c", "b", "a", "own"}));
  c.Detach();
  b.Detach();
  a.Detach();
}

TEST_F(WndHook, SeventeenthHookIsRefused) {
  std::vector<NamedHook*> hooks;
  for (int i = 0; i < 16; ++i) {
    hooks.push_back(new NamedHook(std::to_string(i)));
    ASSERT_TRUE(hooks.back()->Attach(window, nullptr)) << i;
  }
  NamedHook extra("x");
  EXPECT_FALSE(extra.Attach(window, nullptr));
  EXPECT_EQ(SLGetLastError(false), SL_E_HOOK_LIMIT);
  // Once the newest is detached and a message has gone through, there is room again.
  hooks.back()->Detach();
  SendMessageW(window, kProbe, 0, 0);
  EXPECT_TRUE(extra.Attach(window, nullptr));
  extra.Detach();
  for (auto* h : hooks) {
    if (h->IsAttached()) h->Detach();
    h->Release();
  }
}

TEST_F(WndHook, EveryDetachOrderRestoresTheOwnProcedure) {
  const std::vector<std::vector<int>> orders = {{0, 1, 2}, {2, 1, 0}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}};
  for (const auto& order : orders) {
    NamedHook h0("0"), h1("1"), h2("2");
    NamedHook* hooks[] = {&h0, &h1, &h2};
    for (auto* h : hooks) ASSERT_TRUE(h->Attach(window, nullptr));
    for (int index : order) {
      hooks[index]->Detach();
      g_trace.clear();
      EXPECT_EQ(SendMessageW(window, kProbe, 0, 0), 99);  // the own procedure always answers
    }
    EXPECT_EQ(CurrentProc(), &OwnProc) << "order " << order[0] << order[1] << order[2];
  }
}

TEST_F(WndHook, HookDetachedInsideItsOwnHandlerGoesAfterTheCall) {
  NamedHook a("a"), b("b");
  a.detachInside = true;
  a.swallow = true;
  ASSERT_TRUE(b.Attach(window, nullptr));
  ASSERT_TRUE(a.Attach(window, nullptr));
  // While its handler runs, the detached hook's slot still carries the message.
  EXPECT_EQ(SendMessageW(window, kProbe, 0, 0), 5);
  EXPECT_FALSE(a.IsAttached());
  EXPECT_EQ(a.GetRefCount(), 1);
  // After the call its record is gone and the chain unwound to the older hook.
  g_trace.clear();
  EXPECT_EQ(SendMessageW(window, kProbe, 0, 0), 99);
  EXPECT_EQ(g_trace, (std::vector<std::string>{"b", "own"}));
  b.Detach();
  SendMessageW(window, kProbe, 0, 0);  // the next message through its stub removes it
  EXPECT_EQ(CurrentProc(), &OwnProc);
}

TEST_F(WndHook, ThreadEndDetachesTheHooksItHeld) {
  // The thread's hook data goes with the thread; a hook attached there must not keep
  // pointing at its freed record.
  NamedHook a("a");
  std::thread worker([&] { EXPECT_TRUE(a.Attach(window, nullptr)); });
  worker.join();
  // An ended thread's data is swept by later lookups of other threads.
  for (int i = 0; i < 300; ++i) SendMessageW(window, kProbe, 0, 0);
  EXPECT_FALSE(a.IsAttached());
  EXPECT_EQ(a.GetRefCount(), 1);
  EXPECT_FALSE(a.Detach());
  EXPECT_EQ(SLGetLastError(false), SL_E_NOT_INITIALISED);
}

namespace {
class Target : public CSLWndProcHookTarget {
 public:
  LRESULT OnHookedMessage(CSLWndProcHook* hook, HWND, u32 message, WPARAM wParam, LPARAM lParam) override {
    seen.push_back(message);
    return hook->CallPrevious(message, wParam, lParam);
  }
  std::vector<u32> seen;
};
}  // namespace

TEST_F(WndHook, HookedWindowSeesItsCreationMessages) {
  Target target;
  NamedHook hook("h");
  HWND made = hook.CreateHookedWindowW(0, u"SLHookTestClass", u"hooked", 0, 0, 0, 20, 20, nullptr, nullptr,
                                       nullptr, nullptr, &target);
  ASSERT_NE(made, nullptr);
  ASSERT_FALSE(target.seen.empty());
  EXPECT_EQ(target.seen.front(), WM_NCCREATE);
  EXPECT_NE(std::find(target.seen.begin(), target.seen.end(), WM_CREATE), target.seen.end());
  DestroyWindow(made);
  EXPECT_FALSE(hook.IsAttached());
}
