// Window-procedure hooks by subclassing. Each hook of a window owns one slot in the
// window's chain; slot n is served by stub procedure n, which finds its record through
// the calling thread's map and hands the message to the hook, or on down the chain.
#include "foundation/SLWndHook.h"

#include "foundation/SLError.h"
#include "foundation/SLHashMap.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "foundation/SLSingleton.h"

namespace SLInternals {

using WndProc = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using HookProc = LRESULT (*)(int, WPARAM, LPARAM);

namespace {

constexpr int kGwlWndProc = -4;
constexpr int kGwlExStyle = -20;
constexpr int kWhCbt = 5;
constexpr int kHcbtCreateWnd = 3;
constexpr u32 kWmStyleChanged = 0x7D;
constexpr u32 kWmNcDestroy = 0x82;
constexpr u32 kMdiChild = 0x40;  // WS_EX_MDICHILD
constexpr u32 kMaxHooks = 16;

struct StyleStruct {
  DWORD styleOld;
  DWORD styleNew;
};

}  // namespace

struct SLWndProcHookRecord {
  CSLWndProcHook* owner;
  CSLWndProcHookTarget* target;
  bool mdiChild;
  WndProc previous;
  HWND window;
  u32 message;
  WPARAM wParam;
  LPARAM lParam;
  u32 depth;
  bool detached;
};

// One per subclassing, in a circular doubly linked list behind a separate head.
struct tagSL_LINKEDLIST_ITEM {
  tagSL_LINKEDLIST_ITEM* next;
  tagSL_LINKEDLIST_ITEM* previous;
  SLWndProcHookRecord* record;
  WndProc previousProc;
  WndProc stub;
};

namespace {

void FreeChain(tagSL_LINKEDLIST_ITEM* head) {
  if (!head) return;
  for (tagSL_LINKEDLIST_ITEM* slot = head->next; slot != head;) {
    tagSL_LINKEDLIST_ITEM* next = slot->next;
    if (slot->record) {
      // A hook still attached forgets the record before it goes (and gives back the
      // reference it held while attached), so that it never reaches freed memory.
      if (slot->record->owner) slot->record->owner->Detach();
      SLHeapFree(slot->record);
    }
    SLHeapFree(slot);
    slot = next;
  }
  SLHeapFree(head);
}

}  // namespace

class CSLWndProcHookInternalHashMap : public TSLHashMap<HWND, tagSL_LINKEDLIST_ITEM*> {
 public:
  CSLWndProcHookInternalHashMap() : TSLHashMap(&SLHeapAlloc, &SLHeapFree) {}
  ~CSLWndProcHookInternalHashMap() override { RemoveAll(); }
  u32 Hash(HWND key) const override { return u32(reinterpret_cast<std::uintptr_t>(key) >> 4); }
  void OnRemove(HWND, tagSL_LINKEDLIST_ITEM* head) override { FreeChain(head); }
};

class CSLWndProcHookInternalThreadData : public CSLBaseThreadData {
 public:
  ~CSLWndProcHookInternalThreadData() override;
  CSLWndProcHookInternalHashMap map;
  HHOOK creationHook = nullptr;
  CSLWndProcHook* pending = nullptr;
  CSLWndProcHookTarget* pendingTarget = nullptr;
};

// The user32 entry points, bound by name.
class CSLWndProcHookInternal : public CSLBaseOODClass {
 public:
  bool Initialize() override;
  ~CSLWndProcHookInternal() override;

  HHOOK InstallHook(int type, HookProc proc, HINSTANCE module, DWORD threadId);
  BOOL RemoveHook(HHOOK hook);
  LRESULT NextHook(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);
  LONG_PTR GetLong(HWND window, int index);
  LONG_PTR SetLong(HWND window, int index, LONG_PTR value);
  LRESULT DefaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT DefaultMdiChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT CallProc(WndProc proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  BOOL IsWindow(HWND window);
  UINT RegisterMessage(const char* name);
  HWND CreateWindowW(DWORD exStyle, const SLWChar* className, const SLWChar* windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, void* menu, HINSTANCE instance, void* param);
  HWND CreateWindowA(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, void* menu, HINSTANCE instance, void* param);

  SLThreadDataSlot slot;

 private:
  HMODULE m_kernel32 = nullptr;
  HMODULE m_user32 = nullptr;
  HHOOK (*m_pSetWindowsHookExA)(int, HookProc, HINSTANCE, DWORD) = nullptr;
  HHOOK (*m_pSetWindowsHookExW)(int, HookProc, HINSTANCE, DWORD) = nullptr;
  BOOL (*m_pUnhookWindowsHookEx)(HHOOK) = nullptr;
  LRESULT (*m_pCallNextHookEx)(HHOOK, int, WPARAM, LPARAM) = nullptr;
  HWND (*m_pCreateWindowExA)(DWORD, const char*, const char*, DWORD, int, int, int, int, HWND, void*, HINSTANCE,
                            void*) = nullptr;
  HWND (*m_pCreateWindowExW)(DWORD, const SLWChar*, const SLWChar*, DWORD, int, int, int, int, HWND, void*,
                            HINSTANCE, void*) = nullptr;
  LONG_PTR (*m_pGetWindowLongA)(HWND, int) = nullptr;
  LONG_PTR (*m_pGetWindowLongW)(HWND, int) = nullptr;
  LONG_PTR (*m_pSetWindowLongA)(HWND, int, LONG_PTR) = nullptr;
  LONG_PTR (*m_pSetWindowLongW)(HWND, int, LONG_PTR) = nullptr;
  WndProc m_pDefWindowProcA = nullptr;
  WndProc m_pDefWindowProcW = nullptr;
  WndProc m_pDefMDIChildProcA = nullptr;
  WndProc m_pDefMDIChildProcW = nullptr;
  LRESULT (*m_pCallWindowProcA)(WndProc, HWND, UINT, WPARAM, LPARAM) = nullptr;
  LRESULT (*m_pCallWindowProcW)(WndProc, HWND, UINT, WPARAM, LPARAM) = nullptr;
  WndProc m_pSendMessageA = nullptr;
  WndProc m_pSendMessageW = nullptr;
  BOOL (*m_pIsWindow)(HWND) = nullptr;
  UINT (*m_pRegisterWindowMessageA)(const char*) = nullptr;
  UINT (*m_pRegisterWindowMessageW)(const SLWChar*) = nullptr;
  DWORD (*m_pGetWindowThreadProcessId)(HWND, DWORD*) = nullptr;
  DWORD (*m_pGetCurrentProcessId)() = nullptr;
  // The system's converters, for the one-width fall-back of the create wrappers.
  int (*m_pMultiByteToWideChar)(UINT, DWORD, const char*, int, SLWChar*, int) = nullptr;
  int (*m_pWideCharToMultiByte)(UINT, DWORD, const SLWChar*, int, char*, int, const char*, BOOL*) = nullptr;

 public:
  bool WideToAnsi(const SLWChar* text, char* out, int size) {
    return m_pWideCharToMultiByte && m_pWideCharToMultiByte(0, 0, text, -1, out, size, nullptr, nullptr) > 0;
  }
  bool AnsiToWide(const char* text, SLWChar* out, int size) {
    return m_pMultiByteToWideChar && m_pMultiByteToWideChar(0, 0, text, -1, out, size) > 0;
  }
};

namespace {

CSLWndProcHookInternal* g_loader = nullptr;
UINT g_hookMessage = 0;  // "SL_MX_WNDHOOK_MSG", registered on the first attach

CSLWndProcHookInternal* GetLoader() {
  return SLGetSingleton(g_loader, SL_OOD_PRIORITY_LOADERS);
}

template <class R>
R NotImplemented() {
  SLSetSystemLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return R(0);
}

CSLBaseThreadData* MakeThreadData() { return new CSLWndProcHookInternalThreadData(); }

// A null thread-data object also means "no hooks on this thread".
CSLWndProcHookInternalThreadData* FindThreadData(CSLWndProcHookInternal* loader) {
  return static_cast<CSLWndProcHookInternalThreadData*>(SLFindThreadData(&loader->slot));
}

tagSL_LINKEDLIST_ITEM* NthSlot(tagSL_LINKEDLIST_ITEM* head, u32 n) {
  if (!head) return nullptr;
  tagSL_LINKEDLIST_ITEM* slot = head->next;
  for (u32 i = 0; slot != head; ++i, slot = slot->next)
    if (i == n) return slot;
  return nullptr;
}

u32 SlotCount(tagSL_LINKEDLIST_ITEM* head) {
  u32 n = 0;
  if (head)
    for (tagSL_LINKEDLIST_ITEM* slot = head->next; slot != head; slot = slot->next) ++n;
  return n;
}

LRESULT PassOn(CSLWndProcHookInternal* loader, SLWndProcHookRecord* record, u32 message, WPARAM wParam,
               LPARAM lParam) {
  if (record->previous) return loader->CallProc(record->previous, record->window, message, wParam, lParam);
  return record->mdiChild ? loader->DefaultMdiChildProc(record->window, message, wParam, lParam)
                          : loader->DefaultProc(record->window, message, wParam, lParam);
}

// Frees a record and unwinds the window's chain from the top: every top slot without a
// record whose stub is still the window's procedure gives the procedure below it back.
// The map entry goes only when the chain is fully unwound, so that the window's own
// procedure is always reachable whatever order the hooks were detached in.
void RemoveRecord(CSLWndProcHookInternal* loader, CSLWndProcHookInternalThreadData* data,
                  SLWndProcHookRecord* record) {
  HWND window = record->window;
  tagSL_LINKEDLIST_ITEM** found = data->map.Find(window);
  tagSL_LINKEDLIST_ITEM* head = found ? *found : nullptr;
  if (head)
    for (tagSL_LINKEDLIST_ITEM* slot = head->next; slot != head; slot = slot->next)
      if (slot->record == record) {
        slot->record = nullptr;
        break;
      }
  SLHeapFree(record);
  if (!head) return;
  while (head->next != head) {
    tagSL_LINKEDLIST_ITEM* top = head->previous;
    if (top->record) break;
    if (reinterpret_cast<WndProc>(loader->GetLong(window, kGwlWndProc)) != top->stub) break;
    loader->SetLong(window, kGwlWndProc, reinterpret_cast<LONG_PTR>(top->previousProc));
    top->previous->next = head;
    head->previous = top->previous;
    SLHeapFree(top);
  }
  if (head->next == head) data->map.Remove(window);
}

LRESULT SLWndProcHookDispatch(u32 n, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CSLWndProcHookInternal* loader = GetLoader();
  if (!loader) return SLFail(SL_E_OUT_OF_MEMORY, LRESULT(0));
  if (g_hookMessage && message == g_hookMessage) return 0;
  CSLWndProcHookInternalThreadData* data = FindThreadData(loader);
  tagSL_LINKEDLIST_ITEM** found = data ? data->map.Find(window) : nullptr;
  tagSL_LINKEDLIST_ITEM* slot = found ? NthSlot(*found, n) : nullptr;
  if (!slot) {
    if (u32(loader->GetLong(window, kGwlExStyle)) & kMdiChild)
      return loader->DefaultMdiChildProc(window, message, wParam, lParam);
    return loader->DefaultProc(window, message, wParam, lParam);
  }
  SLWndProcHookRecord* record = slot->record;
  if (!record) return loader->CallProc(slot->previousProc, window, message, wParam, lParam);

  u32 savedMessage = record->message;
  WPARAM savedW = record->wParam;
  LPARAM savedL = record->lParam;
  record->message = message;
  record->wParam = wParam;
  record->lParam = lParam;
  ++record->depth;
  LRESULT result;
  if (record->detached) {
    result = PassOn(loader, record, message, wParam, lParam);
  } else if (record->target) {
    result = record->target->OnHookedMessage(record->owner, window, message, wParam, lParam);
  } else {
    // The owner may be released inside its own handler; hold it for the call.
    TSLObjPtr<CSLWndProcHook> keep(record->owner);
    result = record->owner->WindowProc(window, message, wParam, lParam);
  }
  record->message = savedMessage;
  record->wParam = savedW;
  record->lParam = savedL;
  --record->depth;
  if (message == kWmStyleChanged && WPARAM(LONG_PTR(kGwlExStyle)) == wParam && lParam)
    record->mdiChild = (reinterpret_cast<const StyleStruct*>(lParam)->styleNew & kMdiChild) != 0;
  if (message == kWmNcDestroy && record->owner) record->owner->Detach();
  if (record->detached && record->depth == 0) RemoveRecord(loader, data, record);
  return result;
}

template <u32 N>
LRESULT SLWndProcHookStub(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SLWndProcHookDispatch(N, window, message, wParam, lParam);
}

constexpr WndProc kStubs[kMaxHooks] = {
    &SLWndProcHookStub<0>,  &SLWndProcHookStub<1>,  &SLWndProcHookStub<2>,  &SLWndProcHookStub<3>,
    &SLWndProcHookStub<4>,  &SLWndProcHookStub<5>,  &SLWndProcHookStub<6>,  &SLWndProcHookStub<7>,
    &SLWndProcHookStub<8>,  &SLWndProcHookStub<9>,  &SLWndProcHookStub<10>, &SLWndProcHookStub<11>,
    &SLWndProcHookStub<12>, &SLWndProcHookStub<13>, &SLWndProcHookStub<14>, &SLWndProcHookStub<15>};

LRESULT SLWndProcHookCreationProc(int code, WPARAM wParam, LPARAM lParam) {
  CSLWndProcHookInternal* loader = GetLoader();
  CSLWndProcHookInternalThreadData* data = loader ? FindThreadData(loader) : nullptr;
  if (!data) return 0;
  HHOOK hook = data->creationHook;
  if (code == kHcbtCreateWnd && data->pending) {
    // Only the first window made during the call is hooked.
    CSLWndProcHook* pending = data->pending;
    CSLWndProcHookTarget* target = data->pendingTarget;
    data->pending = nullptr;
    data->pendingTarget = nullptr;
    SLErrorKeeper keep;
    pending->Attach(reinterpret_cast<HWND>(wParam), target);
  }
  return loader->NextHook(hook, code, wParam, lParam);
}

bool SLWndProcHookBeginCreation(CSLWndProcHookInternal* loader, CSLWndProcHook* hook,
                                CSLWndProcHookTarget* target) {
  auto* data = static_cast<CSLWndProcHookInternalThreadData*>(SLGetThreadData(&loader->slot, &MakeThreadData));
  if (!data) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (data->pending == hook) return true;
  if (!data->creationHook) {
    data->creationHook = loader->InstallHook(kWhCbt, &SLWndProcHookCreationProc, nullptr, SLGetCurrentThreadId());
    if (!data->creationHook) return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  data->pending = hook;
  data->pendingTarget = target;
  return true;
}

void SLWndProcHookEndCreation(CSLWndProcHookInternal* loader) {
  CSLWndProcHookInternalThreadData* data = FindThreadData(loader);
  if (!data) return;
  if (data->creationHook) loader->RemoveHook(data->creationHook);
  data->creationHook = nullptr;
  data->pending = nullptr;
  data->pendingTarget = nullptr;
}

}  // namespace

CSLWndProcHookInternalThreadData::~CSLWndProcHookInternalThreadData() {
  SLErrorKeeper keep;
  if (creationHook && g_loader) g_loader->RemoveHook(creationHook);
  map.RemoveAll();
}

bool CSLWndProcHookInternal::Initialize() {
  m_kernel32 = SLLoadLibrary(u"kernel32.dll");
  if (m_kernel32) {
    SLBindProc(m_kernel32, u"GetCurrentProcessId", &m_pGetCurrentProcessId);
    SLBindProc(m_kernel32, u"MultiByteToWideChar", &m_pMultiByteToWideChar);
    SLBindProc(m_kernel32, u"WideCharToMultiByte", &m_pWideCharToMultiByte);
  }
  m_user32 = SLLoadLibrary(u"user32.dll");
  if (m_user32) {
    SLBindProc(m_user32, u"SetWindowsHookExA", &m_pSetWindowsHookExA);
    SLBindProc(m_user32, u"SetWindowsHookExW", &m_pSetWindowsHookExW);
    SLBindProc(m_user32, u"UnhookWindowsHookEx", &m_pUnhookWindowsHookEx);
    SLBindProc(m_user32, u"CallNextHookEx", &m_pCallNextHookEx);
    SLBindProc(m_user32, u"CreateWindowExA", &m_pCreateWindowExA);
    SLBindProc(m_user32, u"CreateWindowExW", &m_pCreateWindowExW);
    SLBindProc(m_user32, u"GetWindowLongA", &m_pGetWindowLongA);
    SLBindProc(m_user32, u"GetWindowLongW", &m_pGetWindowLongW);
    SLBindProc(m_user32, u"SetWindowLongA", &m_pSetWindowLongA);
    SLBindProc(m_user32, u"SetWindowLongW", &m_pSetWindowLongW);
    SLBindProc(m_user32, u"DefWindowProcA", &m_pDefWindowProcA);
    SLBindProc(m_user32, u"DefWindowProcW", &m_pDefWindowProcW);
    SLBindProc(m_user32, u"DefMDIChildProcA", &m_pDefMDIChildProcA);
    SLBindProc(m_user32, u"DefMDIChildProcW", &m_pDefMDIChildProcW);
    SLBindProc(m_user32, u"CallWindowProcA", &m_pCallWindowProcA);
    SLBindProc(m_user32, u"CallWindowProcW", &m_pCallWindowProcW);
    SLBindProc(m_user32, u"SendMessageA", &m_pSendMessageA);
    SLBindProc(m_user32, u"SendMessageW", &m_pSendMessageW);
    SLBindProc(m_user32, u"IsWindow", &m_pIsWindow);
    SLBindProc(m_user32, u"RegisterWindowMessageA", &m_pRegisterWindowMessageA);
    SLBindProc(m_user32, u"RegisterWindowMessageW", &m_pRegisterWindowMessageW);
    SLBindProc(m_user32, u"GetWindowThreadProcessId", &m_pGetWindowThreadProcessId);
  }
  // Families that only work together are cleared whole when a member is missing.
  if (!(m_pSetWindowsHookExA || m_pSetWindowsHookExW) || !m_pUnhookWindowsHookEx || !m_pCallNextHookEx) {
    m_pSetWindowsHookExA = nullptr;
    m_pSetWindowsHookExW = nullptr;
    m_pUnhookWindowsHookEx = nullptr;
    m_pCallNextHookEx = nullptr;
  }
  if (!m_pDefWindowProcA || !m_pDefMDIChildProcA || !m_pCallWindowProcA || !m_pSendMessageA) {
    m_pDefWindowProcA = m_pDefMDIChildProcA = m_pSendMessageA = nullptr;
    m_pCallWindowProcA = nullptr;
  }
  if (!m_pDefWindowProcW || !m_pDefMDIChildProcW || !m_pCallWindowProcW || !m_pSendMessageW) {
    m_pDefWindowProcW = m_pDefMDIChildProcW = m_pSendMessageW = nullptr;
    m_pCallWindowProcW = nullptr;
  }
  return true;
}

CSLWndProcHookInternal::~CSLWndProcHookInternal() {
  SLErrorKeeper keep;
  if (m_user32) SLFreeLibrary(m_user32);
  if (m_kernel32) SLFreeLibrary(m_kernel32);
  m_user32 = m_kernel32 = nullptr;
}

HHOOK CSLWndProcHookInternal::InstallHook(int type, HookProc proc, HINSTANCE module, DWORD threadId) {
  if (m_pSetWindowsHookExA) return m_pSetWindowsHookExA(type, proc, module, threadId);
  if (m_pSetWindowsHookExW) return m_pSetWindowsHookExW(type, proc, module, threadId);
  return NotImplemented<HHOOK>();
}

BOOL CSLWndProcHookInternal::RemoveHook(HHOOK hook) {
  return m_pUnhookWindowsHookEx ? m_pUnhookWindowsHookEx(hook) : NotImplemented<BOOL>();
}

LRESULT CSLWndProcHookInternal::NextHook(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
  return m_pCallNextHookEx ? m_pCallNextHookEx(hook, code, wParam, lParam) : NotImplemented<LRESULT>();
}

LONG_PTR CSLWndProcHookInternal::GetLong(HWND window, int index) {
  if (m_pGetWindowLongA) return m_pGetWindowLongA(window, index);
  if (m_pGetWindowLongW) return m_pGetWindowLongW(window, index);
  return NotImplemented<LONG_PTR>();
}

LONG_PTR CSLWndProcHookInternal::SetLong(HWND window, int index, LONG_PTR value) {
  if (m_pSetWindowLongA) return m_pSetWindowLongA(window, index, value);
  if (m_pSetWindowLongW) return m_pSetWindowLongW(window, index, value);
  return NotImplemented<LONG_PTR>();
}

LRESULT CSLWndProcHookInternal::DefaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pDefWindowProcA) return m_pDefWindowProcA(window, message, wParam, lParam);
  if (m_pDefWindowProcW) return m_pDefWindowProcW(window, message, wParam, lParam);
  return NotImplemented<LRESULT>();
}

LRESULT CSLWndProcHookInternal::DefaultMdiChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pDefMDIChildProcA) return m_pDefMDIChildProcA(window, message, wParam, lParam);
  if (m_pDefMDIChildProcW) return m_pDefMDIChildProcW(window, message, wParam, lParam);
  return NotImplemented<LRESULT>();
}

LRESULT CSLWndProcHookInternal::CallProc(WndProc proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pCallWindowProcA) return m_pCallWindowProcA(proc, window, message, wParam, lParam);
  if (m_pCallWindowProcW) return m_pCallWindowProcW(proc, window, message, wParam, lParam);
  return NotImplemented<LRESULT>();
}

BOOL CSLWndProcHookInternal::IsWindow(HWND window) {
  return m_pIsWindow ? m_pIsWindow(window) : NotImplemented<BOOL>();
}

UINT CSLWndProcHookInternal::RegisterMessage(const char* name) {
  if (m_pRegisterWindowMessageA) return m_pRegisterWindowMessageA(name);
  if (!m_pRegisterWindowMessageW) return NotImplemented<UINT>();
  if (!name) {
    SLSetSystemLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // The name is widened byte by byte, as far as 250 characters.
  SLWChar wide[251];
  u32 i = 0;
  for (; name[i] && i < 250; ++i) wide[i] = SLWChar(static_cast<unsigned char>(name[i]));
  wide[i] = 0;
  return m_pRegisterWindowMessageW(wide);
}

namespace {

// Class names of 0xFFFF or less are atoms and pass unconverted.
bool IsAtom(const void* name) { return reinterpret_cast<std::uintptr_t>(name) <= 0xFFFF; }

}  // namespace

HWND CSLWndProcHookInternal::CreateWindowW(DWORD exStyle, const SLWChar* className, const SLWChar* windowName,
                                           DWORD style, int x, int y, int width, int height, HWND parent,
                                           void* menu, HINSTANCE instance, void* param) {
  if (m_pCreateWindowExW)
    return m_pCreateWindowExW(exStyle, className, windowName, style, x, y, width, height, parent, menu, instance,
                             param);
  if (!m_pCreateWindowExA) return NotImplemented<HWND>();
  // Only the one width exists: the names are narrowed to the 8-bit code page.
  char classBuffer[1024], nameBuffer[1024];
  const char* narrowClass = reinterpret_cast<const char*>(className);
  if (!IsAtom(className)) {
    if (!WideToAnsi(className, classBuffer, sizeof classBuffer)) {
      SLSetSystemLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    narrowClass = classBuffer;
  }
  const char* narrowName = nullptr;
  if (windowName) {
    if (!WideToAnsi(windowName, nameBuffer, sizeof nameBuffer)) {
      SLSetSystemLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    narrowName = nameBuffer;
  }
  return m_pCreateWindowExA(exStyle, narrowClass, narrowName, style, x, y, width, height, parent, menu, instance,
                           param);
}

HWND CSLWndProcHookInternal::CreateWindowA(DWORD exStyle, const char* className, const char* windowName,
                                           DWORD style, int x, int y, int width, int height, HWND parent,
                                           void* menu, HINSTANCE instance, void* param) {
  if (m_pCreateWindowExA)
    return m_pCreateWindowExA(exStyle, className, windowName, style, x, y, width, height, parent, menu, instance,
                             param);
  if (!m_pCreateWindowExW) return NotImplemented<HWND>();
  SLWChar classBuffer[1024], nameBuffer[1024];
  const SLWChar* wideClass = reinterpret_cast<const SLWChar*>(className);
  if (!IsAtom(className)) {
    if (!AnsiToWide(className, classBuffer, 1024)) {
      SLSetSystemLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    wideClass = classBuffer;
  }
  const SLWChar* wideName = nullptr;
  if (windowName) {
    if (!AnsiToWide(windowName, nameBuffer, 1024)) {
      SLSetSystemLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    wideName = nameBuffer;
  }
  return m_pCreateWindowExW(exStyle, wideClass, wideName, style, x, y, width, height, parent, menu, instance,
                           param);
}

}  // namespace SLInternals

using namespace SLInternals;

SL_IMPLEMENT_CLASS(CSLWndProcHook, CSLObject)

CSLWndProcHook::CSLWndProcHook() : m_record(nullptr) {}

CSLWndProcHook::~CSLWndProcHook() {
  SLErrorKeeper keep;
  if (m_record) Detach();
}

HWND CSLWndProcHook::GetWindow() const { return m_record ? m_record->window : nullptr; }

bool CSLWndProcHook::Attach(HWND window, CSLWndProcHookTarget* target) {
  TSLObjPtr<CSLWndProcHook> keep(this);
  CSLWndProcHookInternal* loader = GetLoader();
  if (!loader) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!g_hookMessage) {
    g_hookMessage = loader->RegisterMessage("SL_MX_WNDHOOK_MSG");
    if (!g_hookMessage) return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  if (!window || !loader->IsWindow(window)) return SLFail(SL_E_INVALID_ARG, false);
  if (m_record) return SLFail(SL_E_HOOK_ATTACHED, false);
  auto* data = static_cast<CSLWndProcHookInternalThreadData*>(SLGetThreadData(&loader->slot, &MakeThreadData));
  if (!data) return SLFail(SL_E_OUT_OF_MEMORY, false);
  tagSL_LINKEDLIST_ITEM** found = data->map.Find(window);
  u32 n = found ? SlotCount(*found) : 0;
  if (n >= kMaxHooks) return SLFail(SL_E_HOOK_LIMIT, false);

  auto* record = static_cast<SLWndProcHookRecord*>(SLHeapAlloc(sizeof(SLWndProcHookRecord)));
  if (!record) return SLFail(SL_E_OUT_OF_MEMORY, false);
  *record = SLWndProcHookRecord{};
  record->owner = this;
  record->target = target;
  record->window = window;
  record->mdiChild = (u32(loader->GetLong(window, kGwlExStyle)) & kMdiChild) != 0;

  SLSetSystemLastError(0);
  LONG_PTR previous = loader->SetLong(window, kGwlWndProc, reinterpret_cast<LONG_PTR>(kStubs[n]));
  if (!previous && SLGetSystemLastError()) {
    SLHeapFree(record);
    return SLFail(SL_E_SYSTEM, false);
  }
  record->previous = reinterpret_cast<WndProc>(previous);

  tagSL_LINKEDLIST_ITEM* head = found ? *found : nullptr;
  bool madeHead = false;
  if (!head) {
    head = static_cast<tagSL_LINKEDLIST_ITEM*>(SLHeapAlloc(sizeof(tagSL_LINKEDLIST_ITEM)));
    if (head) {
      *head = tagSL_LINKEDLIST_ITEM{head, head, nullptr, nullptr, nullptr};
      madeHead = true;
    }
  }
  auto* slot = head ? static_cast<tagSL_LINKEDLIST_ITEM*>(SLHeapAlloc(sizeof(tagSL_LINKEDLIST_ITEM))) : nullptr;
  if (slot && madeHead && !data->map.Insert(window, head)) {
    SLHeapFree(slot);
    slot = nullptr;
  }
  if (!slot) {
    if (madeHead && head) SLHeapFree(head);
    loader->SetLong(window, kGwlWndProc, previous);
    SLHeapFree(record);
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  *slot = tagSL_LINKEDLIST_ITEM{head, head->previous, record, record->previous, kStubs[n]};
  head->previous->next = slot;
  head->previous = slot;

  m_record = record;
  AddRef();
  return SLSucceed(true);
}

bool CSLWndProcHook::Detach() {
  if (!m_record) return SLFail(SL_E_NOT_INITIALISED, false);
  m_record->owner = nullptr;
  m_record->detached = true;
  m_record = nullptr;
  Release();
  return SLSucceed(true);
}

LRESULT CSLWndProcHook::CallPrevious(u32 message, WPARAM wParam, LPARAM lParam) {
  if (!m_record) return 0;
  CSLWndProcHookInternal* loader = GetLoader();
  if (!loader) return SLFail(SL_E_OUT_OF_MEMORY, LRESULT(0));
  return PassOn(loader, m_record, message, wParam, lParam);
}

LRESULT CSLWndProcHook::WindowProc(HWND, u32, WPARAM, LPARAM) {
  if (!m_record) return 0;
  return CallPrevious(m_record->message, m_record->wParam, m_record->lParam);
}

HWND CSLWndProcHook::CreateHookedWindowW(u32 exStyle, const SLWChar* className, const SLWChar* windowName,
                                         u32 style, i32 x, i32 y, i32 width, i32 height, HWND parent, void* menu,
                                         HINSTANCE instance, void* param, CSLWndProcHookTarget* target) {
  TSLObjPtr<CSLWndProcHook> keep(this);
  CSLWndProcHookInternal* loader = GetLoader();
  if (!loader) return SLFail(SL_E_OUT_OF_MEMORY, HWND(nullptr));
  if (!SLWndProcHookBeginCreation(loader, this, target)) return nullptr;
  HWND window = loader->CreateWindowW(exStyle, className, windowName, style, x, y, width, height, parent, menu,
                                      instance, param);
  SLWndProcHookEndCreation(loader);
  if (m_record) return SLSucceed(window);
  return SLFail(SL_E_OUT_OF_MEMORY, HWND(nullptr));
}

HWND CSLWndProcHook::CreateHookedWindowA(u32 exStyle, const char* className, const char* windowName, u32 style,
                                         i32 x, i32 y, i32 width, i32 height, HWND parent, void* menu,
                                         HINSTANCE instance, void* param, CSLWndProcHookTarget* target) {
  TSLObjPtr<CSLWndProcHook> keep(this);
  CSLWndProcHookInternal* loader = GetLoader();
  if (!loader) return SLFail(SL_E_OUT_OF_MEMORY, HWND(nullptr));
  if (!SLWndProcHookBeginCreation(loader, this, target)) return nullptr;
  HWND window = loader->CreateWindowA(exStyle, className, windowName, style, x, y, width, height, parent, menu,
                                      instance, param);
  SLWndProcHookEndCreation(loader);
  if (m_record) return SLSucceed(window);
  return SLFail(SL_E_OUT_OF_MEMORY, HWND(nullptr));
}
