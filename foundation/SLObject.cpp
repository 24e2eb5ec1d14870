// The object model: reference counts, the heap flag, properties and the class registry.
#include "foundation/SLObject.h"

#include <cstring>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLSingleton.h"
#include "foundation/SLStr.h"

// ---- class records and the registry ---------------------------------------------------

const SLClassRecord CSLObject::s_classRecord = {"CSLObject", u32(sizeof(CSLObject)), nullptr, nullptr, nullptr,
                                                nullptr};

namespace {
const SLClassRecord* g_classHead = nullptr;  // newest registration; written only at start-up

const SLClassRecord* NextRecord(const SLClassRecord* record) { return record->link ? *record->link : nullptr; }
}  // namespace

bool SLClassRecord::IsDerivedFrom(const SLClassRecord* record, const SLClassRecord* base) {
  for (; record; record = record->base)
    if (record == base) return true;
  return false;
}

void SLRegisterClass(const SLClassRecord* record) {
  // A record without a link cell (CSLObject's own) cannot join the list.
  if (!record || !record->link) return;
  *record->link = g_classHead;
  g_classHead = record;
}

u32 SLEnumerateClasses(const SLClassRecord** out, u32 maxCount, const SLClassRecord* base, u32 skip) {
  u32 taken = 0;
  for (const SLClassRecord* record = g_classHead; record && taken < maxCount; record = NextRecord(record)) {
    if (base && !SLClassRecord::IsDerivedFrom(record, base)) continue;
    if (skip) {
      --skip;
      continue;
    }
    if (out) out[taken] = record;
    ++taken;
  }
  return taken;
}

CSLObject* SLCallGuarded(const SLClassRecord* record) {
  if (!record || !record->CreateObject) return nullptr;
  try {
    return record->CreateObject();
  } catch (...) {
    return nullptr;
  }
}

CSLObject* SLCallFactoryGuarded(const SLClassRecord* record, void* buffer) {
  if (!record || !buffer || !record->CreateObjectInPlace) return nullptr;
  try {
    return record->CreateObjectInPlace(buffer);
  } catch (...) {
    return nullptr;
  }
}

bool SLCallGuarded(void (*callback)(void* argument), void* argument) {
  if (!callback) return SLFail(SL_E_INVALID_ARG, false);
  try {
    callback(argument);
    return true;
  } catch (...) {
    return false;
  }
}

void* SLPlacementNew(u32, void* buffer) { return buffer; }

// ---- the heap flag ----------------------------------------------------------------------
//
// operator new records the block it hands out in the calling thread's detector; the
// constructor takes the flag only when it builds the object at exactly that address.
// Objects built while new's arguments are evaluated (temporaries, in C++ after the
// allocation) therefore cannot take the flag meant for the outer object.

namespace {

class CDynamicAllocatorDetector : public CSLBaseThreadData {
 public:
  void* pendingBlock;  // zero-filled by the thread-data allocation
};

SLThreadDataSlot g_detectorSlot;

CSLBaseThreadData* MakeDetector() { return new CDynamicAllocatorDetector(); }

}  // namespace

void* CSLObject::operator new(std::size_t size) noexcept {
  auto* detector = static_cast<CDynamicAllocatorDetector*>(SLGetThreadData(&g_detectorSlot, &MakeDetector));
  if (!detector) return nullptr;
  if (!SLFitsU32(size)) {
    detector->pendingBlock = nullptr;
    return SLFail(SL_E_OUT_OF_MEMORY, (void*)nullptr);
  }
  void* block = SLAlloc(u32(size));
  if (block) std::memset(block, 0, size);
  detector->pendingBlock = block;
  return block;
}

void CSLObject::operator delete(void* block) noexcept { SLFree(block); }

CSLObject::CSLObject() : m_heapFlag(0), m_refCount(1), m_properties(nullptr) {
  SLErrorKeeper keep;
  auto* detector = static_cast<CDynamicAllocatorDetector*>(SLFindThreadData(&g_detectorSlot));
  if (detector && detector->pendingBlock == this) {
    m_heapFlag = 1;
    detector->pendingBlock = nullptr;
  }
}

CSLObject::~CSLObject() {
  SLErrorKeeper keep;
  RemoveAllProperties();
}

// Freeing clears the error code; destruction never changes the caller's.
void CSLObject::DeletingDtor(u32 flags) {
  SLErrorKeeper keep;
  if (flags & 1)
    delete this;
  else
    this->~CSLObject();
}

void CSLObject::OnFinalRelease(bool*, u32) {}
u32 CSLObject::Reserved2() { return 0; }
u32 CSLObject::Reserved3(u32) { return SLFail(SL_E_NOT_SUPPORTED, 0u); }
const SLClassRecord* CSLObject::GetRuntimeClass() const { return &s_classRecord; }
bool CSLObject::CopyTo(CSLObject*) const { return SLFail(SL_E_NOT_SUPPORTED, false); }
u32 CSLObject::Reserved6(u32) { return SLFail(SL_E_NOT_SUPPORTED, 0u); }

u32 CSLObject::AddRef() { return u32(m_refCount.fetch_add(1, std::memory_order_relaxed) + 1); }

i32 CSLObject::Release() {
  i32 count = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (count != 0) return count;
  bool keepAlive = false;
  OnFinalRelease(&keepAlive, 0);
  if (!keepAlive && m_heapFlag) {
    DeletingDtor(1);
    return 0;
  }
  // Not ours to delete (or kept alive): the count rests at 1.
  m_refCount.fetch_add(1, std::memory_order_relaxed);
  return 1;
}

bool CSLObject::IsKindOf(const SLClassRecord* base) const {
  return SLClassRecord::IsDerivedFrom(GetRuntimeClass(), base);
}

// ---- properties on an object -----------------------------------------------------------

bool CSLObject::AddProperty(CSLProperty* property) {
  if (!property) return SLFail(SL_E_INVALID_ARG, false);
  const char* name = property->GetName();
  if (!*name) return SLFail(SL_E_NOT_INITIALISED, false);
  for (SLPropertyNode* node = m_properties; node; node = node->next) {
    if (SLStrICmpA(node->property->GetName(), name) != 0) continue;
    // Adding a property the list already holds changes nothing.
    if (node->property == property) return SLSucceed(true);
    if (!property->CopyTo(node->property)) return false;  // the caller keeps its property
    property->DeletingDtor(1);
    return SLSucceed(true);
  }
  auto* node = static_cast<SLPropertyNode*>(SLAlloc(sizeof(SLPropertyNode)));
  if (!node) return false;
  node->property = property;
  node->next = m_properties;
  m_properties = node;
  return SLSucceed(true);
}

CSLProperty* CSLObject::GetProperty(u32 index) const {
  SLPropertyNode* node = m_properties;
  for (; node && index; --index) node = node->next;
  if (!node) return SLFail(SL_E_INDEX, (CSLProperty*)nullptr);
  SLSetLastError(SL_OK);
  return node->property;
}

u32 CSLObject::GetPropertyCount() const {
  u32 count = 0;
  for (SLPropertyNode* node = m_properties; node; node = node->next) ++count;
  SLSetLastError(SL_OK);
  return count;
}

bool CSLObject::RemoveProperty(u32 index) {
  SLPropertyNode** link = &m_properties;
  for (; *link && index; --index) link = &(*link)->next;
  if (!*link) return SLFail(SL_E_NOT_FOUND, false);
  SLPropertyNode* node = *link;
  *link = node->next;
  node->property->DeletingDtor(1);
  SLFree(node);
  return SLSucceed(true);
}

void CSLObject::RemoveAllProperties() {
  while (m_properties) RemoveProperty(0);
  SLSetLastError(SL_OK);
}

bool CSLObject::SetIntegerProperty(const char* name, i32 value) {
  if (!name || !*name) return SLFail(SL_E_EMPTY_NAME, false);
  CSLProperty* property = new CSLProperty();
  if (!property) return false;
  if (!property->SetName(name) || !property->SetInteger(value) || !AddProperty(property)) {
    SLErrorKeeper keep;
    property->DeletingDtor(1);
    return false;
  }
  return true;
}

// ---- CSLProperty ----------------------------------------------------------------------

namespace {
enum : u32 {
  kPropNone = 0,
  kPropValue32 = 1,
  kPropInteger = 2,
  kPropDouble = 3,
  kPropTextA = 4,
  kPropTextW = 5,
  kPropOwnedBlock = 6,
  kPropValue32b = 7,
  kPropBorrowed = 8,
  kPropObject = 9,
};

template <class Char>
Char* DupText(const Char* text) {
  u64 length = 0;
  if (text)
    while (text[length]) ++length;
  u64 bytes = (length + 1) * sizeof(Char);
  if (!SLFitsU32(bytes)) return SLFail(SL_E_OUT_OF_MEMORY, (Char*)nullptr);
  auto* copy = static_cast<Char*>(SLAlloc(u32(bytes)));
  if (!copy) return nullptr;
  if (length) std::memcpy(copy, text, length * sizeof(Char));
  copy[length] = 0;
  return copy;
}
}  // namespace

void* CSLProperty::operator new(std::size_t size) noexcept {
  if (!SLFitsU32(size)) return SLFail(SL_E_OUT_OF_MEMORY, (void*)nullptr);
  return SLAllocZero(u32(size));
}
void CSLProperty::operator delete(void* block) noexcept { SLFree(block); }

CSLProperty::CSLProperty() : m_name(nullptr), m_type(kPropNone) { m_value.raw = 0; }

CSLProperty::~CSLProperty() {
  SLErrorKeeper keep;
  SLFree(m_name);
  m_name = nullptr;
  ClearValue();
}

void CSLProperty::DeletingDtor(u32 flags) {
  SLErrorKeeper keep;
  if (flags & 1)
    delete this;
  else
    this->~CSLProperty();
}

const char* CSLProperty::GetName() const { return m_name ? m_name : ""; }

bool CSLProperty::SetName(const char* name) {
  {
    SLErrorKeeper keep;
    SLFree(m_name);
  }
  m_name = nullptr;
  if (!name || !*name) return SLSucceed(true);
  m_name = DupText(name);
  return m_name != nullptr;
}

void CSLProperty::ClearValue() {
  switch (m_type) {
    case kPropTextA:
    case kPropTextW:
    case kPropOwnedBlock:
      SLFree(m_value.block);
      break;
    case kPropObject:
      if (m_value.object) m_value.object->Release();
      break;
    default:
      break;
  }
  m_type = kPropNone;
  m_value.raw = 0;
  SLSetLastError(SL_OK);
}

bool CSLProperty::SetInteger(i32 value) {
  ClearValue();
  m_type = kPropInteger;
  m_value.raw = 0;
  m_value.i = value;
  return SLSucceed(true);
}

bool CSLProperty::CopyTo(CSLProperty* target) const {
  if (target == this) return SLSucceed(true);
  if (!target) return SLFail(SL_E_INVALID_ARG, false);
  bool ok = target->SetName(m_name);
  // Clearing the old value resets the code; a failed name copy keeps its own.
  const u32 nameFailure = ok ? SL_OK : SLGetLastError(false);
  target->ClearValue();
  if (!ok) SLSetLastError(nameFailure);
  if (ok) {
    target->m_type = m_type;
    switch (m_type) {
      case kPropTextA:
        target->m_value.textA = DupText(m_value.textA);
        ok = target->m_value.textA != nullptr;
        break;
      case kPropTextW:
        target->m_value.textW = DupText(m_value.textW);
        ok = target->m_value.textW != nullptr;
        break;
      case kPropOwnedBlock:
      case kPropBorrowed:
        // A copy never owns the block: it only says there was one.
        target->m_type = kPropBorrowed;
        break;
      case kPropObject:
        target->m_value.object = m_value.object;
        if (m_value.object) m_value.object->AddRef();
        break;
      case kPropValue32:
      case kPropInteger:
      case kPropValue32b:
        // A 32-bit value: the rest of the value word stays zero.
        target->m_value.u = m_value.u;
        break;
      default:
        target->m_value.raw = m_value.raw;
        break;
    }
  }
  if (!ok) {
    SLErrorKeeper keep;
    target->m_type = kPropNone;
    target->m_value.raw = 0;
    target->SetName(nullptr);
    return false;
  }
  return SLSucceed(true);
}
