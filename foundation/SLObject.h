// The object model: CSLObject with its reference count, heap flag and property list,
// the constant class records and the process-wide class registry.
#pragma once

#include <atomic>
#include <new>

#include "foundation/SLTypes.h"

class CSLObject;
class CSLProperty;

// One constant record per class.
struct SLClassRecord {
  const char* name;
  u32 objectSize;
  CSLObject* (*CreateObject)();                      // null: abstract or only made directly
  CSLObject* (*CreateObjectInPlace)(void* buffer);   // heap flag of the instance is 0
  const SLClassRecord* base;                         // null only in CSLObject's record
  const SLClassRecord** link;                        // registry cell; null in CSLObject's record

  static bool IsDerivedFrom(const SLClassRecord* record, const SLClassRecord* base);
};

void SLRegisterClass(const SLClassRecord* record);
u32 SLEnumerateClasses(const SLClassRecord** out, u32 maxCount, const SLClassRecord* base, u32 skip);
CSLObject* SLCallGuarded(const SLClassRecord* record);
CSLObject* SLCallFactoryGuarded(const SLClassRecord* record, void* buffer);
// Runs callback(argument) under the same guard: false when it raised.
bool SLCallGuarded(void (*callback)(void* argument), void* argument);
void* SLPlacementNew(u32 size, void* buffer);

struct SLPropertyNode {
  SLPropertyNode* next;
  CSLProperty* property;
};

class CSLObject {
 public:
  CSLObject();
  virtual ~CSLObject();

  // The seven common operations. DeletingDtor is the virtual destructor: flags bit 0
  // also frees the memory through operator delete.
  void DeletingDtor(u32 flags);
  virtual void OnFinalRelease(bool* keepAlive, u32 reserved);
  virtual u32 Reserved2();
  virtual u32 Reserved3(u32);
  virtual const SLClassRecord* GetRuntimeClass() const;
  // A value class writes its own value into `target` (after a kind test).
  virtual bool CopyTo(CSLObject* target) const;
  virtual u32 Reserved6(u32);

  bool CopyFrom(const CSLObject* source) { return source->CopyTo(this); }

  static void* operator new(std::size_t size) noexcept;
  static void operator delete(void* block) noexcept;
  static void* operator new(std::size_t size, void* buffer) noexcept { return SLPlacementNew(u32(size), buffer); }
  static void operator delete(void*, void*) noexcept {}

  u32 AddRef();
  i32 Release();
  bool IsKindOf(const SLClassRecord* base) const;
  bool IsHeapObject() const { return m_heapFlag != 0; }
  i32 GetRefCount() const { return m_refCount.load(std::memory_order_relaxed); }

  bool AddProperty(CSLProperty* property);
  CSLProperty* GetProperty(u32 index) const;
  u32 GetPropertyCount() const;
  bool RemoveProperty(u32 index);
  void RemoveAllProperties();
  bool SetIntegerProperty(const char* name, i32 value);

  static const SLClassRecord s_classRecord;
  static const SLClassRecord* GetClassRecord() { return &s_classRecord; }

  CSLObject(const CSLObject&) = delete;
  CSLObject& operator=(const CSLObject&) = delete;

 private:
  u32 m_heapFlag;
  std::atomic<i32> m_refCount;
  SLPropertyNode* m_properties;
};

// A named value attached to an object.
class CSLProperty {
 public:
  CSLProperty();
  virtual ~CSLProperty();
  void DeletingDtor(u32 flags);

  const char* GetName() const;
  bool SetName(const char* name);
  u32 GetType() const { return m_type; }
  void ClearValue();
  bool SetInteger(i32 value);
  i32 GetInteger() const { return m_value.i; }
  bool CopyTo(CSLProperty* target) const;

  static void* operator new(std::size_t size) noexcept;
  static void operator delete(void* block) noexcept;
  static void* operator new(std::size_t, void* buffer) noexcept { return buffer; }
  static void operator delete(void*, void*) noexcept {}

  union Value {
    u32 u;
    i32 i;
    double d;
    char* textA;
    SLWChar* textW;
    void* block;
    CSLObject* object;
    u64 raw;
  };

 protected:
  char* m_name;
  u32 m_type;
  Value m_value;
};

// Counting smart pointer: AddRefs what it is given, Releases it on destruction.
template <class T>
class TSLObjPtr {
 public:
  TSLObjPtr() : m_p(nullptr) {}
  explicit TSLObjPtr(T* p) : m_p(p) {
    if (m_p) m_p->AddRef();
  }
  TSLObjPtr(const TSLObjPtr& other) : TSLObjPtr(other.m_p) {}
  ~TSLObjPtr() { Reset(nullptr); }
  TSLObjPtr& operator=(const TSLObjPtr& other) {
    if (other.m_p) other.m_p->AddRef();
    Reset(nullptr);
    m_p = other.m_p;
    return *this;
  }
  // Drops the held object (keeping the caller's error code) and holds `p` (AddRef-ed).
  void Reset(T* p);
  // Takes over a reference the caller already owns (no AddRef).
  void Attach(T* p) {
    Reset(nullptr);
    m_p = p;
  }
  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

 private:
  T* m_p;
};

u32 SLGetLastError(bool reset);
bool SLSetLastError(u32 code);

template <class T>
void TSLObjPtr<T>::Reset(T* p) {
  if (p) p->AddRef();
  if (m_p) {
    u32 saved = SLGetLastError(false);
    m_p->Release();
    SLSetLastError(saved);
  }
  m_p = p;
}

// Class record declaration inside a class body.
#define SL_DECLARE_CLASS(cls)                                          \
 public:                                                               \
  static const SLClassRecord s_classRecord;                            \
  static const SLClassRecord* GetClassRecord() { return &s_classRecord; } \
  const SLClassRecord* GetRuntimeClass() const override;               \
                                                                       \
 private:

namespace SLInternals {
template <class T>
CSLObject* SLCreateObject() {
  return new T();
}
template <class T>
CSLObject* SLCreateObjectInPlace(void* buffer) {
  return buffer ? new (buffer) T() : nullptr;
}
}  // namespace SLInternals

// Class record definition in one .cpp file. The _CREATABLE form fills both factories;
// the _INPLACE form only the in-place one; the plain form none (abstract classes and
// classes that are only made directly).
#define SL_IMPLEMENT_CLASS_EX(cls, basecls, create, createInPlace)                           \
  static const SLClassRecord* s_link_##cls = nullptr;                                       \
  const SLClassRecord cls::s_classRecord = {#cls, u32(sizeof(cls)), create, createInPlace,  \
                                            &basecls::s_classRecord, &s_link_##cls};        \
  const SLClassRecord* cls::GetRuntimeClass() const { return &s_classRecord; }
#define SL_IMPLEMENT_CLASS(cls, basecls) SL_IMPLEMENT_CLASS_EX(cls, basecls, nullptr, nullptr)
#define SL_IMPLEMENT_CLASS_CREATABLE(cls, basecls)                                   \
  SL_IMPLEMENT_CLASS_EX(cls, basecls, &SLInternals::SLCreateObject<cls>,             \
                        &SLInternals::SLCreateObjectInPlace<cls>)
#define SL_IMPLEMENT_CLASS_INPLACE(cls, basecls) \
  SL_IMPLEMENT_CLASS_EX(cls, basecls, nullptr, &SLInternals::SLCreateObjectInPlace<cls>)
