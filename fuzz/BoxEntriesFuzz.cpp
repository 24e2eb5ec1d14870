// Building-box entries: a graphics pack whose entry names under the boxes' folder come
// from the input (one name a line, Windows-1252), listed through the box enumeration and
// paged by the box arrows as the input's last byte says. Every accepted box number must
// come from five digits after "Caja", and every shown box button must name a box.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/screens/BoxScreen.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLMemoryStorage.h"
#include "storage/StorageClasses.h"
#include "tools/slpack/PackWriter.h"

namespace {

struct Accepted {
  std::string name;
  u32 number;
};

bool Collect(void* context, const char* entryName, u32 number) {
  static_cast<std::vector<Accepted>*>(context)->push_back({entryName, number});
  return true;
}

bool FiveDigitsMake(const std::string& name, u32 number) {
  if (name.size() < 9) return false;
  u32 value = 0;
  for (size_t i = 4; i < 9; ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
    value = value * 10 + u32(name[i] - '0');
  }
  return value == number;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool registered = (SLRegisterStorageClasses(), true);
  (void)registered;
  if (size > 4096) return 0;
  slpack::PackWriter writer(3, 0x5A17C3E9);
  std::u16string folder = u"Interface/Construcci\u00f3n/Cajas/";
  std::u16string name;
  u32 names = 0;
  for (size_t i = 0; i + 1 < size && names < 64; ++i) {
    if (data[i] == '\n') {
      if (!name.empty()) writer.AddFile(folder + name, {1}), ++names;
      name.clear();
    } else if (data[i] != 0 && name.size() < 48) {
      name.push_back(char16_t(data[i]));
    }
  }
  if (!name.empty()) writer.AddFile(folder + name, {1});
  std::vector<uint8_t> bytes;
  std::string error;
  if (!writer.Build(&bytes, &error)) return 0;

  auto* source = new CSLMemoryStorage();
  source->AttachBuffer(bytes.data(), uint32_t(bytes.size()), false);
  CSLFastFileStorage pack;
  std::vector<Accepted> boxes;
  if (pack.AttachContainer(source)) BoxEntry_Enumerate(&pack, &Collect, &boxes);
  pack.AttachContainer(nullptr);
  source->Release();
  for (const Accepted& box : boxes)
    if (!FiveDigitsMake(box.name, box.number)) std::abort();

  // The arrows as the screen pages: start one below the top, go up once, then the
  // steps the last byte's bits give; the three buttons show boxes first..first+2.
  const u32 count = u32(boxes.size());
  u32 first = BoxList_Step(1, count, kBoxButtons, false);
  const uint8_t steps = size ? data[size - 1] : 0;
  for (u32 bit = 0; bit < 8; ++bit) {
    first = BoxList_Step(first, count, kBoxButtons, (steps >> bit) & 1);
    for (u32 k = 0; k < kBoxButtons; ++k) {
      const bool shown = first + k < count;
      if (k == 0 && count > 0 && !shown) std::abort();  // the first button always names a box
      if (shown && first + k >= count) std::abort();
    }
    if (count > kBoxButtons && first > count - kBoxButtons) std::abort();
    if (count <= kBoxButtons && first != 0) std::abort();
    if (BoxList_HasMoreBelow(first, count, kBoxButtons) != (first + kBoxButtons < count)) std::abort();
  }
  return 0;
}
