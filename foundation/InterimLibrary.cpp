// Interim stand-ins for the kernel table wrappers, the singleton registry and the
// object model, until the runtime core lands. Each block compiles only while the real
// file is absent, and this file goes when the core is merged.
#include "platform/kernel32/Sync.h"

#if !__has_include("foundation/SLLibrary.cpp")
#include "foundation/SLLibrary.h"

u32 SLWaitForSingleObject(HANDLE handle, u32 ms) { return WaitForSingleObject(handle, ms); }
u32 SLWaitForMultipleObjects(u32 count, const HANDLE* handles, bool waitAll, u32 ms) {
  return WaitForMultipleObjects(count, handles, waitAll ? 1 : 0, ms);
}
BOOL SLDuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target) {
  return DuplicateHandle(sourceProcess, source, targetProcess, target, 0, TRUE, SL_DUPLICATE_SAME_ACCESS);
}
BOOL SLCloseHandle(HANDLE handle) { return CloseHandle(handle); }
void SLSetSystemLastError(u32 code) { SLPlatformSetLastError(code); }
u32 SLGetSystemLastError() { return SLPlatformGetLastError(); }
bool SLGetExitCodeThread(HANDLE thread, u32* code) {
  DWORD exitCode = 0;
  if (!GetExitCodeThread(thread, &exitCode)) return false;
  if (exitCode == STILL_ACTIVE) return false;
  if (code) *code = exitCode;
  return true;
}
BOOL SLTerminateThread(HANDLE thread, u32 exitCode) { return TerminateThread(thread, exitCode); }
BOOL SLSetThreadPriority(HANDLE thread, i32 priority) { return SetThreadPriority(thread, priority); }
HANDLE SLGetCurrentThread() { return GetCurrentThread(); }
u32 SLGetCurrentThreadId() { return SLPlatformThreadId(); }
u32 SLGetProcessorCount() { return 4; }
#endif

#if !__has_include("foundation/SLSingleton.cpp")
#include <mutex>

#include "foundation/SLError.h"
#include "foundation/SLSingleton.h"

CSLBaseOODClass::~CSLBaseOODClass() = default;
bool CSLBaseOODClass::Initialize() { return true; }
void SLDestroyInPlace(CSLBaseOODClass* object) { object->~CSLBaseOODClass(); }
bool SLGetOODInstance(void** instance, i16, SLOODFactory factory, SLOODDestroy, void* buffer) {
  static std::recursive_mutex lock;
  std::lock_guard<std::recursive_mutex> guard(lock);
  if (std::atomic_ref<void*>(*instance).load()) return SLFail(SL_OK, true);
  CSLBaseOODClass* object = factory(buffer);
  if (!object || !object->Initialize()) return SLFail(SL_E_OUT_OF_MEMORY, false);
  std::atomic_ref<void*>(*instance).store(object, std::memory_order_release);
  return SLFail(SL_OK, true);
}
#endif

#if !__has_include("foundation/SLObject.cpp")
#include <cstdlib>

#include "foundation/SLObject.h"

const SLClassRecord CSLObject::s_classRecord = {"CSLObject", u32(sizeof(CSLObject)), nullptr, nullptr, nullptr,
                                                nullptr};
CSLObject::CSLObject() : m_heapFlag(0), m_refCount(1), m_properties(nullptr) {}
CSLObject::~CSLObject() = default;
void CSLObject::OnFinalRelease(bool*, u32) {}
u32 CSLObject::Reserved2() { return 0; }
u32 CSLObject::Reserved3(u32) { return 0; }
const SLClassRecord* CSLObject::GetRuntimeClass() const { return &s_classRecord; }
bool CSLObject::CopyTo(CSLObject*) const { return false; }
u32 CSLObject::Reserved6(u32) { return 0; }
void* CSLObject::operator new(std::size_t size) noexcept { return std::malloc(size); }
void CSLObject::operator delete(void* block) noexcept { std::free(block); }
void* SLPlacementNew(u32, void* buffer) { return buffer; }
u32 CSLObject::AddRef() { return u32(++m_refCount); }
i32 CSLObject::Release() { return --m_refCount; }
bool SLClassRecord::IsDerivedFrom(const SLClassRecord* record, const SLClassRecord* base) {
  for (; record; record = record->base)
    if (record == base) return true;
  return false;
}
bool CSLObject::IsKindOf(const SLClassRecord* base) const {
  return SLClassRecord::IsDerivedFrom(GetRuntimeClass(), base);
}
void SLRegisterClass(const SLClassRecord*) {}
#endif
