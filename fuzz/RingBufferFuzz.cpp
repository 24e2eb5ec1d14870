// Drives the ring buffer with operations decoded from the input and checks every span
// and every byte against a plain queue.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "foundation/SLArray.h"
#include "foundation/SLError.h"

namespace {
void Check(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CSLCircularBuffer ring;
  std::deque<u8> model;
  u8 next = 0;
  std::size_t at = 0;
  auto take = [&](std::size_t bytes) {
    u32 value = 0;
    for (std::size_t i = 0; i < bytes && at < size; ++i) value = (value << 8) | data[at++];
    return value;
  };
  while (at < size) {
    u32 op = take(1) % 6;
    u32 amount = take(2);
    switch (op) {
      case 0: {  // write, growing or not
        u32 length = amount % 9000;
        std::vector<u8> bytes(length);
        for (u8& b : bytes) b = next++;
        bool grow = (amount & 0x8000) != 0;
        bool fits = model.size() + length <= ring.GetCapacity();
        bool ok = ring.Write(length ? bytes.data() : nullptr, length, grow);
        Check(ok == (length != 0 && (fits || grow)));
        if (ok) model.insert(model.end(), bytes.begin(), bytes.end());
        else next = u8(next - length);
        break;
      }
      case 1: {  // read some
        u32 count = model.empty() ? 0 : amount % (model.size() + 1);
        u8 *p1, *p2;
        u32 n1, n2;
        if (!ring.GetReadRegions(&p1, &n1, &p2, &n2)) {
          Check(ring.GetCapacity() == 0 && SLGetLastError() == 0x80010002u);
          break;
        }
        Check(n1 + n2 == model.size() && (n2 == 0 || p2 != nullptr));
        for (u32 i = 0; i < count; ++i) {
          Check((i < n1 ? p1[i] : p2[i - n1]) == model.front());
          model.pop_front();
        }
        Check(ring.CommitRead(count));
        break;
      }
      case 2: {  // write straight into the free spans
        u8 *p1, *p2;
        u32 n1, n2;
        if (!ring.GetWriteRegions(&p1, &n1, &p2, &n2)) break;
        Check(n1 + n2 == ring.GetCapacity() - ring.GetUsed());
        u32 count = (n1 + n2) ? amount % (n1 + n2 + 1) : 0;
        for (u32 i = 0; i < count; ++i) {
          (i < n1 ? p1[i] : p2[i - n1]) = next;
          model.push_back(next++);
        }
        Check(ring.CommitWrite(count));
        break;
      }
      case 3: {  // resize
        u32 request = amount * 16;
        u32 oldCapacity = ring.GetCapacity();
        bool ok = ring.SetCapacity(request);
        if (request == 0) {
          Check(ok);
          model.clear();
        } else if (oldCapacity && model.size() > request) {
          Check(!ok && ring.GetCapacity() == oldCapacity);
        }
        break;
      }
      case 4:  // over-long commits fail and change nothing
        Check(!ring.CommitRead(u32(model.size()) + 1 + amount));
        Check(!ring.CommitWrite(ring.GetCapacity() - ring.GetUsed() + 1 + amount));
        break;
      default:
        break;
    }
    Check(ring.GetUsed() == model.size());
    Check(ring.GetCapacity() % 4096 == 0);
  }
  return 0;
}
