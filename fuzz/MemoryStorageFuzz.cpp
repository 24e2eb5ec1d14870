// Operation sequences on a memory storage (write, read, seek, set size, switching form)
// checked against a plain byte vector after every step.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "storage/SLMemoryStorage.h"
#include "storage/StorageClasses.h"

namespace {

constexpr u64 kLimit = 1u << 20;  // sizes the sequences may reach (the storage allows far more)

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool More() const { return at < size; }
  u32 Take(int bytes) {
    u32 value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | (at < size ? data[at++] : 0);
    return value;
  }
};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool registered = (SLRegisterStorageClasses(), true);
  (void)registered;
  Reader in{data, size};
  bool contiguous = in.Take(1) & 1;
  CSLMemoryStorage storage(contiguous, in.Take(2));
  std::vector<uint8_t> model;
  u64 position = 0;
  std::vector<uint8_t> scratch;
  while (in.More()) {
    switch (in.Take(1) % 6) {
      case 0: {  // write
        u32 count = in.Take(3) % 70000;
        if (position > kLimit || position + count > kLimit) break;
        scratch.resize(count + 1);
        for (u32 i = 0; i < count; ++i) scratch[i] = uint8_t(i * 31 + position);
        Check(storage.Write(scratch.data(), count) == count);
        if (position + count > model.size()) model.resize(position + count, 0);
        std::copy(scratch.begin(), scratch.begin() + count, model.begin() + long(position));
        position += count;
        break;
      }
      case 1: {  // read
        u32 count = in.Take(3) % 70000;
        scratch.assign(count + 1, 0xEE);
        u64 got = storage.Read(scratch.data(), count);
        u64 expected = position >= model.size() ? 0 : std::min<u64>(count, model.size() - position);
        Check(got == expected);
        // The position may lie past the model's end (a seek beyond it), where no iterator may point.
        Check(got == 0 || std::equal(scratch.begin(), scratch.begin() + long(got), model.begin() + long(position)));
        if (got < count) Check(SLGetLastError() == SL_E_STORAGE_EOF);
        position += got;
        break;
      }
      case 2: {  // seek
        i64 offset = i64(i32(in.Take(4)));
        u32 origin = in.Take(1) % 4;
        Check(storage.Seek(offset, origin));
        u64 back = offset < 0 ? u64(-offset) : 0;
        u64 end = model.size();
        if (origin == 0) {
          position = u64(offset);
        } else if (origin == 1) {
          if (offset < 0)
            position = back > position ? 0 : position - back;
          else
            position = position >= end ? end : std::min<u64>(position + u64(offset), end);
        } else if (origin == 2) {
          position = offset < 0 ? (back > end ? 0 : end - back) : end + u64(offset);
        }
        break;
      }
      case 3: {  // set size
        u64 newSize = in.Take(3) % kLimit;
        Check(storage.SetSize(newSize));
        model.resize(newSize, 0);
        if (position > newSize) position = newSize;
        break;
      }
      case 4:
        Check(storage.SetContiguous(in.Take(1) & 1));
        break;
      case 5: {  // the whole content, from the start, then back to where it was
        u64 total = 0;
        Check(storage.GetSize(&total) && total == model.size());
        scratch.assign(model.size(), 0xEE);
        Check(storage.Seek(0, SL_SEEK_BEGIN));
        Check(storage.Read(scratch.data(), scratch.size()) == model.size());
        Check(scratch == model);
        const void* block = storage.GetDataPointer();
        if (block && !model.empty()) Check(std::memcmp(block, model.data(), model.size()) == 0);
        Check(storage.Seek(i64(position), SL_SEEK_BEGIN));
        break;
      }
    }
    u64 reported = 0;
    Check(storage.GetPosition(&reported) && reported == position);
    Check(storage.GetSize(&reported) && reported == model.size());
  }
  return 0;
}
