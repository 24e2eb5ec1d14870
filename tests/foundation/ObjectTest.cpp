#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLObject.h"
#include "tests/foundation/ChildProcess.h"
#include "tests/support/TestSupport.h"

namespace {

std::atomic<int> g_destroyed{0};

class CTestShape : public CSLObject {
  SL_DECLARE_CLASS(CTestShape)
 public:
  CTestShape() = default;
  ~CTestShape() override { ++g_destroyed; }
};

class CTestCircle : public CTestShape {
  SL_DECLARE_CLASS(CTestCircle)
 public:
  CTestCircle() = default;
  explicit CTestCircle(const CTestShape& like) : m_likeWasHeap(like.IsHeapObject()) {}
  bool m_likeWasHeap = true;
  CTestShape m_member;  // a member object is never a heap object of its own
};

}  // namespace

class CTestAbstract : public CSLObject {
  SL_DECLARE_CLASS(CTestAbstract)
 public:
  virtual void Draw() = 0;
};

SL_IMPLEMENT_CLASS(CTestShape, CSLObject)
SL_IMPLEMENT_CLASS_CREATABLE(CTestCircle, CTestShape)
SL_IMPLEMENT_CLASS(CTestAbstract, CSLObject)

namespace {

CSLObject* ThrowingFactory() { throw 42; }
CSLObject* ThrowingInPlace(void*) { throw 43; }
const SLClassRecord* g_throwingLink = nullptr;
const SLClassRecord kThrowingRecord = {"CTestThrowing", 8, &ThrowingFactory, &ThrowingInPlace,
                                       &CSLObject::s_classRecord, &g_throwingLink};

struct RegisterTestClasses {
  RegisterTestClasses() {
    SLRegisterClass(&CTestShape::s_classRecord);
    SLRegisterClass(&CTestCircle::s_classRecord);
    SLRegisterClass(&CTestAbstract::s_classRecord);
    SLRegisterClass(&kThrowingRecord);
  }
} g_registerTestClasses;

// Exposes the value types that only the framework's own code sets.
class CTestProperty : public CSLProperty {
 public:
  void SetRaw(u32 type, Value value) {
    ClearValue();
    m_type = type;
    m_value = value;
  }
  Value GetValue() const { return m_value; }
};

}  // namespace

// ---- lifetime and the heap flag -------------------------------------------------------

TEST(ObjectLifetime, MadeInPlaceSurvivesReleaseWithCountOne) {
  alignas(CTestCircle) unsigned char buffer[sizeof(CTestCircle)];
  ASSERT_GE(sizeof(buffer), CTestCircle::s_classRecord.objectSize);
  int before = g_destroyed;
  CSLObject* object = SLCallFactoryGuarded(&CTestCircle::s_classRecord, buffer);
  ASSERT_EQ(static_cast<void*>(object), static_cast<void*>(buffer));
  EXPECT_FALSE(object->IsHeapObject());
  EXPECT_EQ(object->Release(), 1);
  EXPECT_EQ(object->GetRefCount(), 1);
  EXPECT_EQ(g_destroyed, before);
  object->DeletingDtor(0);
  EXPECT_EQ(g_destroyed - before, 2);
}

TEST(ObjectLifetime, TemporaryBuiltForNewArgumentsDoesNotTakeTheHeapFlag) {
  // The temporary is built after the allocation and before the outer constructor.
  CTestCircle* circle = new CTestCircle(CTestShape());
  ASSERT_NE(circle, nullptr);
  EXPECT_FALSE(circle->m_likeWasHeap);
  EXPECT_TRUE(circle->IsHeapObject());
  EXPECT_FALSE(circle->m_member.IsHeapObject());
  // And an object built on the stack right after a new does not take it either.
  CTestShape* heap = new CTestShape();
  CTestShape after;
  EXPECT_TRUE(heap->IsHeapObject());
  EXPECT_FALSE(after.IsHeapObject());
  int before = g_destroyed;
  EXPECT_EQ(circle->Release(), 0);
  EXPECT_EQ(heap->Release(), 0);
  EXPECT_EQ(g_destroyed - before, 3);
}

TEST(ObjectLifetime, ConcurrentNewOnEightThreadsKeepsEveryFlag) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&wrong] {
      for (int i = 0; i < 500; ++i) {
        CTestShape local;
        CTestShape* heap = new CTestShape();
        if (!heap->IsHeapObject() || local.IsHeapObject()) ++wrong;
        heap->Release();
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong, 0);
}

// ---- kinds and the registry -------------------------------------------------------------

// ---- properties ---------------------------------------------------------------------------

TEST(Properties, AddingTheSameObjectAgainChangesNothing) {
  CTestShape shape;
  CSLProperty* property = new CSLProperty();
  ASSERT_TRUE(property->SetName("Frame"));
  ASSERT_TRUE(property->SetInteger(9));
  ASSERT_TRUE(shape.AddProperty(property));
  SLSetLastError(SL_E_INVALID_ARG);
  SL_EXPECT_OK(shape.AddProperty(property));
  EXPECT_EQ(shape.GetPropertyCount(), 1u);
  // The property is still alive and owned by the object (a freed one would fault here).
  EXPECT_EQ(shape.GetProperty(0), property);
  EXPECT_EQ(property->GetInteger(), 9);
  EXPECT_STREQ(property->GetName(), "Frame");
}

TEST(Properties, CopyFollowsTheValueType) {
  CTestProperty source, target;
  source.SetName("Text");
  char* text = static_cast<char*>(SLAlloc(6));
  std::memcpy(text, "hello", 6);
  CSLProperty::Value value{};
  value.textA = text;
  source.SetRaw(4, value);
  ASSERT_TRUE(source.CopyTo(&target));
  EXPECT_STREQ(target.GetName(), "Text");
  EXPECT_EQ(target.GetType(), 4u);
  EXPECT_STREQ(target.GetValue().textA, "hello");
  EXPECT_NE(target.GetValue().textA, text);  // a copy of its own

  // An owned block is not copied: the copy only says there was one.
  value.block = SLAlloc(16);
  source.SetRaw(6, value);
  ASSERT_TRUE(source.CopyTo(&target));
  EXPECT_EQ(target.GetType(), 8u);
  EXPECT_EQ(target.GetValue().block, nullptr);

  CTestShape* object = new CTestShape();
  value.object = object;
  source.SetRaw(9, value);  // the property now holds the creation reference
  ASSERT_TRUE(source.CopyTo(&target));
  EXPECT_EQ(object->GetRefCount(), 2);
  target.ClearValue();
  EXPECT_EQ(object->GetRefCount(), 1);
  int before = g_destroyed;
  source.ClearValue();
  EXPECT_EQ(g_destroyed - before, 1);

  // The 32-bit kinds copy their 32 bits and nothing of the word around them.
  for (u32 type : {1u, 2u, 7u}) {
    value.raw = 0xA5A5A5A512345678ull;
    source.SetRaw(type, value);
    ASSERT_TRUE(source.CopyTo(&target));
    EXPECT_EQ(target.GetType(), type);
    EXPECT_EQ(target.GetValue().raw, 0x12345678ull) << type;
  }

  value.raw = 0;
  value.d = 2.5;
  source.SetRaw(3, value);
  ASSERT_TRUE(source.CopyTo(&target));
  EXPECT_EQ(target.GetValue().d, 2.5);
  SL_EXPECT_OK(target.CopyTo(&target));
}

// Out of memory while copying the name: the target ends up cleared and the failure's
// code is what the caller reads, not the success of clearing the old value.
TEST(Properties, FailedNameCopyKeepsItsCode) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "an address-space limit does not suit the sanitizers' shadow memory";
#endif
  if (SLInChildProcess()) return;
  SL_EXPECT_CHILD_PASSES("PropertiesChild.FailedNameCopy", "");
}

TEST(PropertiesChild, FailedNameCopy) {
  SL_CHILD_ONLY();
  std::string name(64u << 20, 'n');
  CTestProperty source, target;
  ASSERT_TRUE(source.SetName(name.c_str()));
  ASSERT_TRUE(target.SetName("old"));
  target.SetInteger(5);

  // Leave the address space only a little room: a second copy of the name cannot fit.
  u64 pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  ASSERT_GT(pages, 0u);
  rlimit limit{};
  limit.rlim_cur = limit.rlim_max = rlim_t(pages * u64(sysconf(_SC_PAGESIZE)) + (16u << 20));
  ASSERT_EQ(setrlimit(RLIMIT_AS, &limit), 0);

  SLSetLastError(0);
  SL_EXPECT_FAIL(source.CopyTo(&target), SL_E_OUT_OF_MEMORY);
  EXPECT_STREQ(target.GetName(), "");
  EXPECT_EQ(target.GetType(), 0u);
  SL_CHILD_DONE();
}

TEST(ClassRecords, GuardedFactories) {
  SLSetLastError(0x80020001u);
  SL_EXPECT_FAIL(SLCallGuarded(&CTestAbstract::s_classRecord), 0x80020001u);  // sets no code of its own
  EXPECT_EQ(SLCallGuarded(&kThrowingRecord), nullptr);
  char buffer[64];
  EXPECT_EQ(SLCallFactoryGuarded(&kThrowingRecord, buffer), nullptr);
  EXPECT_EQ(SLCallFactoryGuarded(&CTestCircle::s_classRecord, nullptr), nullptr);
  EXPECT_EQ(SLCallFactoryGuarded(&CTestAbstract::s_classRecord, buffer), nullptr);

  int ran = 0;
  EXPECT_TRUE(SLCallGuarded([](void* a) { ++*static_cast<int*>(a); }, &ran));
  EXPECT_EQ(ran, 1);
  EXPECT_FALSE(SLCallGuarded([](void*) { throw 1; }, nullptr));
}

TEST(ClassRecords, KindTests) {
  EXPECT_TRUE(SLClassRecord::IsDerivedFrom(&CTestCircle::s_classRecord, &CTestCircle::s_classRecord));
  EXPECT_TRUE(SLClassRecord::IsDerivedFrom(&CTestCircle::s_classRecord, &CTestShape::s_classRecord));
  EXPECT_FALSE(SLClassRecord::IsDerivedFrom(&CTestShape::s_classRecord, &CTestCircle::s_classRecord));
  EXPECT_FALSE(SLClassRecord::IsDerivedFrom(nullptr, &CSLObject::s_classRecord));
  CTestCircle circle;
  EXPECT_TRUE(circle.IsKindOf(&CSLObject::s_classRecord));
  EXPECT_TRUE(circle.IsKindOf(&CTestShape::s_classRecord));
  EXPECT_FALSE(circle.IsKindOf(&CTestAbstract::s_classRecord));
  EXPECT_STREQ(circle.GetRuntimeClass()->name, "CTestCircle");
  EXPECT_EQ(CSLObject::s_classRecord.base, nullptr);
  EXPECT_EQ(CSLObject::s_classRecord.link, nullptr);
}
