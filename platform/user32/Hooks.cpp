// Creation hooks and registered window messages of the user32 stand-in.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/kernel32/Core.h"
#include "platform/kernel32/Handles.h"
#include "platform/user32/WindowSystem.h"
#include "platform/user32/WindowTable.h"

namespace SLUser32 {

namespace {

struct Hook {
  HHOOK handle;
  int type;
  HOOKPROC proc;
  DWORD threadId;
};

std::vector<Hook> g_hooks;  // newest last
std::uintptr_t g_nextHook = 0x20010;
std::map<std::u16string, UINT> g_registeredMessages;
UINT g_nextMessage = 0xC000;

UINT RegisterMessageCommon(const std::u16string& name) {
  if (name.empty()) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  auto key = Folded(name);
  auto it = g_registeredMessages.find(key);
  if (it != g_registeredMessages.end()) return it->second;
  if (g_nextMessage == 0) {
    SLPlatformSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  UINT id = g_nextMessage++;
  g_registeredMessages[key] = id;
  return id;
}

HHOOK SetHookCommon(int type, HOOKPROC proc, DWORD threadId) {
  if (type != WH_CBT || !proc) {
    SLPlatformSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  Hook hook{reinterpret_cast<HHOOK>(g_nextHook), type, proc, threadId ? threadId : SLPlatformThreadId()};
  g_nextHook += 0x10;
  g_hooks.push_back(hook);
  SLPlatformSetLastError(ERROR_SUCCESS);
  return hook.handle;
}
}  // namespace

LRESULT RunCbtHooks(int code, WPARAM wParam, LPARAM lParam) {
  HOOKPROC proc = nullptr;
  {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    DWORD self = SLPlatformThreadId();
    for (auto it = g_hooks.rbegin(); it != g_hooks.rend(); ++it)
      if (it->type == WH_CBT && it->threadId == self) {
        proc = it->proc;
        break;
      }
  }
  return proc ? proc(code, wParam, lParam) : 0;
}

}  // namespace SLUser32

using namespace SLUser32;

UINT RegisterWindowMessageA(LPCSTR name) {
  if (!name) return SLPlatformSetLastError(ERROR_INVALID_PARAMETER), 0u;
  return RegisterMessageCommon(AnsiToWide(name));
}

UINT RegisterWindowMessageW(LPCWSTR name) {
  if (!name) return SLPlatformSetLastError(ERROR_INVALID_PARAMETER), 0u;
  return RegisterMessageCommon(name);
}

HHOOK SetWindowsHookExA(int type, HOOKPROC proc, HINSTANCE, DWORD threadId) {
  return SetHookCommon(type, proc, threadId);
}

HHOOK SetWindowsHookExW(int type, HOOKPROC proc, HINSTANCE, DWORD threadId) {
  return SetHookCommon(type, proc, threadId);
}

BOOL UnhookWindowsHookEx(HHOOK hook) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  auto it = std::find_if(g_hooks.begin(), g_hooks.end(), [&](const Hook& h) { return h.handle == hook; });
  if (it == g_hooks.end()) return SLPlatformSetLastError(1404), FALSE;  // invalid hook handle
  g_hooks.erase(it);
  return TRUE;
}

// Passes to the next older hook of the same thread and type.
LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
  HOOKPROC next = nullptr;
  {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    auto it = std::find_if(g_hooks.begin(), g_hooks.end(), [&](const Hook& h) { return h.handle == hook; });
    if (it != g_hooks.end())
      for (auto older = std::make_reverse_iterator(it); older != g_hooks.rend(); ++older)
        if (older->type == it->type && older->threadId == it->threadId) {
          next = older->proc;
          break;
        }
  }
  return next ? next(code, wParam, lParam) : 0;
}
