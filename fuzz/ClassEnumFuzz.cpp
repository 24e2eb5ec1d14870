// Builds a class tree from the input, registers it, and checks that paging through
// SLEnumerateClasses with any batch size and skip yields the matches newest first,
// each once, as a direct walk of the tree says.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "foundation/SLObject.h"

namespace {
constexpr int kMaxClasses = 200;
SLClassRecord g_records[kMaxClasses];
const SLClassRecord* g_links[kMaxClasses];
bool g_registered = false;
int g_count = 0;

void Check(bool condition) {
  if (!condition) std::abort();
}

// The registry is written once per process, so the tree comes from the first input.
void BuildTree(const std::uint8_t* data, std::size_t size) {
  g_count = size ? 1 + int(data[0]) % (kMaxClasses - 1) : 1;
  for (int i = 0; i < g_count; ++i) {
    std::size_t at = 1 + std::size_t(i);
    int parent = (i == 0 || at >= size) ? -1 : int(data[at]) % i;
    g_records[i] = {"CFuzzClass", 8, nullptr, nullptr,
                    parent < 0 ? &CSLObject::s_classRecord : &g_records[parent], &g_links[i]};
    SLRegisterClass(&g_records[i]);
  }
  g_registered = true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!g_registered) BuildTree(data, size);
  if (size < 3) return 0;
  const SLClassRecord* base = &g_records[data[0] % g_count];
  u32 batch = 1 + data[1] % 40;
  u32 skip = data[2] % 50;

  std::vector<const SLClassRecord*> expected;
  for (int i = g_count - 1; i >= 0; --i)
    if (SLClassRecord::IsDerivedFrom(&g_records[i], base)) expected.push_back(&g_records[i]);

  std::vector<const SLClassRecord*> got;
  std::vector<const SLClassRecord*> page(batch);
  for (u32 from = skip;; from += batch) {
    u32 n = SLEnumerateClasses(page.data(), batch, base, from);
    Check(n <= batch);
    Check(SLEnumerateClasses(nullptr, batch, base, from) == n);
    got.insert(got.end(), page.begin(), page.begin() + n);
    if (n < batch) break;
  }
  Check(got.size() == (expected.size() > skip ? expected.size() - skip : 0));
  for (std::size_t i = 0; i < got.size(); ++i) Check(got[i] == expected[skip + i]);
  return 0;
}
