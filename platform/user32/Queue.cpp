// Per-thread message queues of the user32 stand-in: posted messages, messages sent
// from other threads (answered while the owner looks at its queue), the quit flag,
// and WM_PAINT made up for windows that need painting when nothing else is queued.
#include "platform/user32/Queue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/kernel32/Core.h"
#include "platform/kernel32/Handles.h"
#include "platform/kernel32/Sync.h"
#include "platform/user32/WindowSystem.h"

namespace SLUser32 {
namespace {

struct SentMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result = 0;
  bool done = false;
};

struct ThreadQueue {
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  bool quitPosted = false;
  int quitCode = 0;
  bool wakePending = false;
};

std::mutex g_queueLock;
std::condition_variable g_queueChanged;  // one condition for all queues: waits are rare
std::unordered_map<DWORD, ThreadQueue> g_queues;
DWORD g_displayThread = 0;

DWORD NowMs() {
  using namespace std::chrono;
  return DWORD(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool Matches(const MSG& msg, HWND filter, UINT low, UINT high) {
  if (filter && msg.hwnd != filter && !WindowIsDescendantOrSelf(msg.hwnd, filter)) return false;
  if (low == 0 && high == 0) return true;
  return msg.message >= low && msg.message <= high;
}

// Answers the messages other threads sent to this thread's windows.
void ServeSentMessages(DWORD self) {
  for (;;) {
    std::shared_ptr<SentMessage> item;
    {
      std::lock_guard<std::mutex> guard(g_queueLock);
      auto& queue = g_queues[self];
      if (queue.sent.empty()) return;
      item = queue.sent.front();
      queue.sent.pop_front();
    }
    WNDPROC proc = WindowProcedure(item->window);
    LRESULT result = proc ? proc(item->window, item->message, item->wParam, item->lParam) : 0;
    {
      std::lock_guard<std::mutex> guard(g_queueLock);
      item->result = result;
      item->done = true;
    }
    g_queueChanged.notify_all();
  }
}

bool PostTo(DWORD threadId, const MSG& msg) {
  {
    std::lock_guard<std::mutex> guard(g_queueLock);
    g_queues[threadId].posted.push_back(msg);
  }
  g_queueChanged.notify_all();
  SLWaitNotifyAll();
  return true;
}

BOOL PostCommon(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD owner;
  if (!window) {
    owner = SLPlatformThreadId();
  } else if (!WindowOwner(window, &owner)) {
    SLPlatformSetLastError(1400);
    return FALSE;
  }
  MSG msg{window, message, wParam, lParam, NowMs(), {}};
  return PostTo(owner, msg) ? TRUE : FALSE;
}

LRESULT SendCommon(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD owner;
  if (!WindowOwner(window, &owner)) {
    // A window being destroyed still gets its last messages on its own thread.
    WNDPROC proc = WindowProcedure(window);
    if (!proc) {
      SLPlatformSetLastError(1400);
      return 0;
    }
    return proc(window, message, wParam, lParam);
  }
  DWORD self = SLPlatformThreadId();
  if (owner == self) {
    WNDPROC proc = WindowProcedure(window);
    return proc ? proc(window, message, wParam, lParam) : 0;
  }
  // Another thread's window: queue it there and wait for the answer, answering what is
  // sent to this thread meanwhile so that two threads sending to each other go on.
  auto item = std::make_shared<SentMessage>();
  item->window = window;
  item->message = message;
  item->wParam = wParam;
  item->lParam = lParam;
  {
    std::lock_guard<std::mutex> guard(g_queueLock);
    g_queues[owner].sent.push_back(item);
  }
  g_queueChanged.notify_all();
  SLWaitNotifyAll();
  for (;;) {
    ServeSentMessages(self);
    std::unique_lock<std::mutex> lock(g_queueLock);
    if (item->done) return item->result;
    if (!g_queues[self].sent.empty()) continue;
    g_queueChanged.wait_for(lock, std::chrono::milliseconds(50));
    if (item->done) return item->result;
    DWORD stillOwner;
    lock.unlock();
    if (!WindowOwner(window, &stillOwner)) return 0;  // the window went away unanswered
  }
}

BOOL PeekCommon(MSG* msg, HWND filter, UINT low, UINT high, UINT removeFlags) {
  if (!msg) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD self = SLPlatformThreadId();
  if (self == g_displayThread) Display::Pump();
  ServeSentMessages(self);
  bool remove = (removeFlags & PM_REMOVE) != 0;
  {
    std::lock_guard<std::mutex> guard(g_queueLock);
    auto& queue = g_queues[self];
    queue.wakePending = false;
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
      if (!Matches(*it, filter, low, high)) continue;
      *msg = *it;
      if (remove) queue.posted.erase(it);
      return TRUE;
    }
    // WM_QUIT comes when the posted messages are gone, whatever the window filter.
    if (queue.quitPosted && (low == 0 && high == 0 ? true : (WM_QUIT >= low && WM_QUIT <= high))) {
      *msg = MSG{nullptr, WM_QUIT, WPARAM(queue.quitCode), 0, NowMs(), {}};
      if (remove) queue.quitPosted = false;
      return TRUE;
    }
  }
  if ((low == 0 && high == 0) || (WM_PAINT >= low && WM_PAINT <= high)) {
    // WM_PAINT stays until the window validates itself; PM_REMOVE does not take it.
    if (HWND window = TakePaintWindow(self, filter, false)) {
      *msg = MSG{window, WM_PAINT, 0, 0, NowMs(), {}};
      return TRUE;
    }
  }
  return FALSE;
}

BOOL GetCommon(MSG* msg, HWND filter, UINT low, UINT high) {
  if (!msg) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  while (!PeekCommon(msg, filter, low, high, PM_REMOVE)) Queue::WaitInput(INFINITE);
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

LRESULT DispatchCommon(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;
  DWORD owner;
  if (!WindowOwner(msg->hwnd, &owner) || owner != SLPlatformThreadId()) {
    SLPlatformSetLastError(1400);
    return 0;
  }
  WNDPROC proc = WindowProcedure(msg->hwnd);
  LRESULT result = proc ? proc(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0;
  // A WM_PAINT that the procedure did not answer by validating would come back forever.
  if (msg->message == WM_PAINT) TakePaintWindow(owner, msg->hwnd, true);
  return result;
}

}  // namespace

namespace Queue {

void Wake(DWORD threadId) {
  {
    std::lock_guard<std::mutex> guard(g_queueLock);
    g_queues[threadId].wakePending = true;
  }
  g_queueChanged.notify_all();
  SLWaitNotifyAll();
}

void DropWindow(DWORD threadId, HWND window) {
  std::lock_guard<std::mutex> guard(g_queueLock);
  auto it = g_queues.find(threadId);
  if (it == g_queues.end()) return;
  std::erase_if(it->second.posted, [&](const MSG& msg) { return msg.hwnd == window; });
}

bool HasInput() {
  DWORD self = SLPlatformThreadId();
  {
    std::lock_guard<std::mutex> guard(g_queueLock);
    auto& queue = g_queues[self];
    if (!queue.posted.empty() || !queue.sent.empty() || queue.quitPosted || queue.wakePending) return true;
  }
  return TakePaintWindow(self, nullptr, false) != nullptr;
}

bool WaitInput(DWORD ms) {
  DWORD self = SLPlatformThreadId();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms == INFINITE ? 0 : ms);
  for (;;) {
    if (self == g_displayThread) Display::Pump();
    ServeSentMessages(self);
    if (HasInput()) return true;
    auto now = std::chrono::steady_clock::now();
    if (ms != INFINITE && now >= deadline) return false;
    // The display has no way to wake this condition, so its thread looks every few ms.
    auto slice = std::chrono::milliseconds(self == g_displayThread ? 5 : 100);
    auto until = ms == INFINITE ? now + slice : std::min(deadline, now + slice);
    std::unique_lock<std::mutex> lock(g_queueLock);
    auto& queue = g_queues[self];
    g_queueChanged.wait_until(lock, until, [&] {
      return !queue.posted.empty() || !queue.sent.empty() || queue.quitPosted || queue.wakePending;
    });
  }
}

void SetDisplayThread(DWORD threadId) { g_displayThread = threadId; }

}  // namespace Queue

void PostFromDisplay(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  PostCommon(window, message, wParam, lParam);
}

void PostMouseMoveFromDisplay(HWND window, WPARAM wParam, LPARAM lParam) {
  DWORD owner;
  if (!WindowOwner(window, &owner)) return;
  {
    std::lock_guard<std::mutex> guard(g_queueLock);
    auto& posted = g_queues[owner].posted;
    if (!posted.empty() && posted.back().hwnd == window && posted.back().message == WM_MOUSEMOVE) {
      posted.back().wParam = wParam;  // it keeps its time: when the pointer began to move
      posted.back().lParam = lParam;
      return;
    }
  }
  PostCommon(window, WM_MOUSEMOVE, wParam, lParam);
}

LRESULT SendFromDisplay(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendCommon(window, message, wParam, lParam);
}

}  // namespace SLUser32

using namespace SLUser32;

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return PostCommon(window, message, wParam, lParam);
}
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return PostCommon(window, message, wParam, lParam);
}

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{nullptr, message, wParam, lParam, NowMs(), {}};
  return PostTo(threadId, msg) ? TRUE : FALSE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendCommon(window, message, wParam, lParam);
}
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendCommon(window, message, wParam, lParam);
}

BOOL PeekMessageA(MSG* msg, HWND window, UINT low, UINT high, UINT remove) {
  return PeekCommon(msg, window, low, high, remove);
}
BOOL PeekMessageW(MSG* msg, HWND window, UINT low, UINT high, UINT remove) {
  return PeekCommon(msg, window, low, high, remove);
}
BOOL GetMessageA(MSG* msg, HWND window, UINT low, UINT high) { return GetCommon(msg, window, low, high); }
BOOL GetMessageW(MSG* msg, HWND window, UINT low, UINT high) { return GetCommon(msg, window, low, high); }
LRESULT DispatchMessageA(const MSG* msg) { return DispatchCommon(msg); }
LRESULT DispatchMessageW(const MSG* msg) { return DispatchCommon(msg); }

// Keys that the display reports without text still make characters, as the system's
// translation does for Enter, Backspace, Tab and Escape; text itself arrives as WM_CHAR.
BOOL TranslateMessage(const MSG* msg) {
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  switch (msg->wParam) {
    case VK_BACK:
    case VK_TAB:
    case VK_RETURN:
    case VK_ESCAPE:
      PostMessageW(msg->hwnd, WM_CHAR, msg->wParam, msg->lParam);
      return TRUE;
    default: return FALSE;
  }
}

void PostQuitMessage(int exitCode) {
  DWORD self = SLPlatformThreadId();
  {
    std::lock_guard<std::mutex> guard(g_queueLock);
    g_queues[self].quitPosted = true;
    g_queues[self].quitCode = exitCode;
  }
  g_queueChanged.notify_all();
}

BOOL WaitMessage() {
  Queue::WaitInput(INFINITE);
  return TRUE;
}

namespace {

// Asked by the kernel's wait, under its lock, whether this thread's queue has input.
bool QueueProbe(DWORD) { return Queue::HasInput(); }

}  // namespace

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms, DWORD wakeMask) {
  static const bool installed = (SLSetMessageWaitProbe(&QueueProbe), true);
  (void)installed;
  DWORD self = SLPlatformThreadId();
  if (self != g_displayThread) return SLWaitForObjectsOrMessages(count, handles, waitAll, ms, wakeMask);
  // The display's events wake nothing in the kernel's wait: its thread waits in short
  // slices and looks at the display between them.
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    Display::Pump();
    auto elapsed = DWORD(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    DWORD left = ms == INFINITE ? INFINITE : (elapsed >= ms ? 0 : ms - elapsed);
    DWORD slice = left == INFINITE || left > 5 ? 5 : left;
    DWORD result = SLWaitForObjectsOrMessages(count, handles, waitAll, slice, wakeMask);
    if (result != WAIT_TIMEOUT || left == 0 || left == slice) return result;
  }
}
