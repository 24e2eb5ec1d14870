// Drives one arena heap with a byte-coded sequence of allocations, frees and resizes.
// Every block carries a pattern of its own that must survive until it is freed, and
// the heap's boundary tags and bins must agree after every step.
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <vector>

#include "foundation/SLPooledArena.h"

namespace {

struct Live {
  std::uint8_t* block;
  std::size_t size;
  std::uint8_t tag;
};

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// Byte i of a block tagged t holds (t + i) mod 256: the ramp below from offset t, so that
// painting and checking a block are one copy and one compare.
constexpr std::size_t kLargestBlock = 0xFFFF * 24;

const std::uint8_t* Ramp() {
  static const std::vector<std::uint8_t> ramp = [] {
    std::vector<std::uint8_t> bytes(kLargestBlock + 256);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(i);
    return bytes;
  }();
  return ramp.data();
}

bool Intact(const Live& live) { return std::memcmp(live.block, Ramp() + live.tag, live.size) == 0; }

void Paint(Live& live) { std::memcpy(live.block, Ramp() + live.tag, live.size); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SLInternals::CMXArenaHeap heap;
  std::vector<Live> blocks;
  std::size_t at = 0;
  auto next = [&]() -> std::uint32_t { return at < size ? data[at++] : 0; };
  std::uint8_t tag = 0;
  while (at < size && blocks.size() < 512) {
    std::uint32_t op = next();
    // Sizes reach from a few bytes to past one growth unit, so segments are added.
    std::size_t bytes = (next() | (next() << 8)) * ((op & 0x30) == 0x30 ? 24 : 1);
    if ((op & 3) < 2 || blocks.empty()) {
      Live live{static_cast<std::uint8_t*>(heap.Allocate(bytes)), bytes, ++tag};
      Require(live.block && reinterpret_cast<std::uintptr_t>(live.block) % 16 == 0);
      Paint(live);
      blocks.push_back(live);
    } else {
      Live& live = blocks[(op >> 2) % blocks.size()];
      Require(Intact(live));
      if ((op & 3) == 2) {
        heap.Free(live.block);
        live = blocks.back();
        blocks.pop_back();
      } else {
        auto* moved = static_cast<std::uint8_t*>(heap.Reallocate(live.block, bytes));
        Require(moved != nullptr);
        live.block = moved;
        live.size = std::min(live.size, bytes);
        Require(Intact(live));
        live.size = bytes;
        Paint(live);
      }
    }
    Require(heap.Verify());
  }
  for (const Live& live : blocks) {
    Require(Intact(live));
    heap.Free(live.block);
  }
  Require(heap.Verify());
  heap.Trim();
  Require(heap.Footprint() == 0);
  return 0;
}
