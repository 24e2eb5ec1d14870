// Where windows go on the display: the desktop's metrics, placement and frames that the
// display follows (and that follow the display), minimising without activation, the
// pointer, black painting and the display window's life around WM_DESTROY.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/gdi32/Gdi32.h"
#include "platform/kernel32/Handles.h"
#include "platform/user32/User32.h"
#include "platform/user32/WindowSystem.h"

namespace {

struct Seen {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool nativeAlive;
};
std::vector<Seen> g_seen;

class WindowPlacement : public ::testing::Test {
 protected:
  void SetUp() override {
    static const bool registered = [] {
      WNDCLASSEXA wc{};
      wc.cbSize = sizeof wc;
      wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) {
        g_seen.push_back({m, wp, lp, SLUser32::NativeWindow(w) != nullptr});
        return DefWindowProcA(w, m, wp, lp);
      };
      wc.lpszClassName = "slplacement";
      return RegisterClassExA(&wc) != 0;
    }();
    ASSERT_TRUE(registered);
    window = CreateWindowExA(0, "slplacement", "colocar", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 20, 320, 240, nullptr,
                             nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    native = static_cast<SDL_Window*>(SLUser32::NativeWindow(window));
    ASSERT_NE(native, nullptr);
    g_seen.clear();
  }
  void TearDown() override {
    if (IsWindow(window)) DestroyWindow(window);
  }
  bool SawMessage(UINT message) const {
    for (const Seen& seen : g_seen)
      if (seen.message == message) return true;
    return false;
  }
  void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  HWND window = nullptr;
  SDL_Window* native = nullptr;
};

TEST_F(WindowPlacement, DesktopQueriesAnswerTheDisplay) {
  SDL_DisplayMode mode;
  ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &mode), 0);
  SDL_Rect usable;
  ASSERT_EQ(SDL_GetDisplayUsableBounds(0, &usable), 0);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), mode.w);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), mode.h);
  RECT rect{};
  ASSERT_TRUE(GetClientRect(GetDesktopWindow(), &rect));
  EXPECT_EQ(rect.right, mode.w);
  EXPECT_EQ(rect.bottom, mode.h);
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &rect, 0));
  EXPECT_EQ(rect.left, usable.x);
  EXPECT_EQ(rect.bottom, usable.y + usable.h);
  EXPECT_FALSE(SystemParametersInfoA(99, 0, &rect, 0));
  EXPECT_EQ(SLPlatformGetLastError(), 87u);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), SDL_BYTESPERPIXEL(mode.format) * 8);
  EXPECT_EQ(GetDeviceCaps(screen, 8), 0);
  EXPECT_EQ(GetDeviceCaps(nullptr, BITSPIXEL), 0);
  EXPECT_EQ(GetMenu(window), nullptr);
  EXPECT_NE(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)), nullptr);
  EXPECT_EQ(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW + 1)), nullptr);
  EXPECT_EQ(SLPlatformGetLastError(), 1402u);
}

// The styles choose the display's frame; the rectangle, the display and the messages
// follow what the flags let change.
TEST_F(WindowPlacement, PlacementReachesTheDisplay) {
  struct Row {
    DWORD style, exStyle;
    int x, y, cx, cy;
    UINT flags;
    bool fullScreen;
    RECT rect;
    bool size, move;
  } rows[] = {
      // The display placed the new window itself: only its size is ours yet.
      {WS_CAPTION | WS_MINIMIZEBOX, WS_EX_CLIENTEDGE, 0, 0, 640, 480, SWP_NOMOVE | SWP_FRAMECHANGED, false,
       {10, 20, 650, 500}, true, false},
      {WS_CAPTION | WS_MINIMIZEBOX, WS_EX_CLIENTEDGE, 192, 144, 0, 0, SWP_NOSIZE, false, {192, 144, 832, 624},
       false, true},
      {WS_CAPTION | WS_MINIMIZEBOX, WS_EX_CLIENTEDGE, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE, false,
       {192, 144, 832, 624}, false, false},
      {WS_POPUP, WS_EX_TOPMOST, 0, 0, 800, 600, SWP_FRAMECHANGED, true, {0, 0, 800, 600}, true, true},
      {WS_POPUP, 0, 5, 6, 100, 50, 0, false, {5, 6, 105, 56}, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.x << "," << row.y << " " << row.cx << "x" << row.cy);
    SetWindowLongA(window, GWL_EXSTYLE, LONG_PTR(row.exStyle));
    SetWindowLongA(window, GWL_STYLE, LONG_PTR(row.style));
    g_seen.clear();
    ASSERT_TRUE(SetWindowPos(window, nullptr, row.x, row.y, row.cx, row.cy, row.flags));
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.left, row.rect.left);
    EXPECT_EQ(rect.top, row.rect.top);
    EXPECT_EQ(rect.right, row.rect.right);
    EXPECT_EQ(rect.bottom, row.rect.bottom);
    EXPECT_EQ(SawMessage(WM_SIZE), row.size);
    EXPECT_EQ(SawMessage(WM_MOVE), row.move);
    const Uint32 flags = SDL_GetWindowFlags(native);
    EXPECT_EQ((flags & SDL_WINDOW_FULLSCREEN) != 0, row.fullScreen);
    if (row.fullScreen) continue;
    int x, y, width, height;
    SDL_GetWindowPosition(native, &x, &y);
    SDL_GetWindowSize(native, &width, &height);
    EXPECT_EQ(width, row.rect.right - row.rect.left);
    if (&row == &rows[0]) continue;
    EXPECT_EQ(x, row.rect.left);
    EXPECT_EQ(y, row.rect.top);
  }
}

// The display's own moves reach the table, so that client coordinates stay right.
TEST_F(WindowPlacement, TableFollowsTheDisplaysMoves) {
  SDL_Event event{};
  event.type = SDL_WINDOWEVENT;
  event.window.event = SDL_WINDOWEVENT_MOVED;
  event.window.windowID = SDL_GetWindowID(native);
  event.window.data1 = 300;
  event.window.data2 = 200;
  ASSERT_EQ(SDL_PushEvent(&event), 1);
  Pump();
  POINT origin{5, 6};
  ASSERT_TRUE(ClientToScreen(window, &origin));
  EXPECT_EQ(origin.x, 305);
  EXPECT_EQ(origin.y, 206);
  EXPECT_TRUE(SawMessage(WM_MOVE));
}

// Minimising on deactivation leaves the active window alone; the pointer over the
// client area asks the window for its shape, and a null cursor hides it.
TEST_F(WindowPlacement, MinimiseWithoutActivationAndPointer) {
  HWND other = CreateWindowExA(0, "slplacement", "otra", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                               nullptr, nullptr, nullptr);
  ASSERT_EQ(GetActiveWindow(), other);
  ShowWindow(window, SW_SHOWMINNOACTIVE);
  EXPECT_TRUE(IsIconic(window));
  EXPECT_EQ(GetActiveWindow(), other);
  EXPECT_EQ(GetForegroundWindow(), other);
  DestroyWindow(other);

  SDL_Event event{};
  event.type = SDL_MOUSEMOTION;
  event.motion.windowID = SDL_GetWindowID(native);
  event.motion.x = 4;
  event.motion.y = 5;
  ASSERT_EQ(SDL_PushEvent(&event), 1);
  g_seen.clear();
  Pump();
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(g_seen.front().message, WM_SETCURSOR);
  EXPECT_EQ(g_seen.front().lParam & 0xFFFF, HTCLIENT);
  EXPECT_TRUE(SawMessage(WM_MOUSEMOVE));
  SetCursor(nullptr);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

// Black painting reaches the display; the display's window outlives WM_DESTROY, where
// whatever was made on it is released.
TEST_F(WindowPlacement, PaintBlackAndDestructionOrder) {
  SDL_Surface* surface = SDL_GetWindowSurface(native);
  ASSERT_NE(surface, nullptr);
  SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 255, 255, 255));
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  EXPECT_TRUE(PatBlt(dc, 0, 0, 320, 240, BLACKNESS));
  EXPECT_FALSE(PatBlt(dc, 0, 0, 320, 240, 0x00F00021));
  EndPaint(window, &paint);
  ASSERT_TRUE(SDL_LockSurface(surface) == 0);
  const Uint32 corner = *static_cast<Uint32*>(surface->pixels);
  SDL_UnlockSurface(surface);
  EXPECT_EQ(corner & 0xFFFFFF, 0u);

  ASSERT_TRUE(DestroyWindow(window));
  ASSERT_FALSE(g_seen.empty());
  for (const Seen& seen : g_seen) {
    if (seen.message == WM_DESTROY) {
      EXPECT_TRUE(seen.nativeAlive);
    }
  }
}

}  // namespace
