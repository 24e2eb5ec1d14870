// EXIF Load on arbitrary bytes (after the "Exif" signature, so that the structure is
// reached), then every value query for every table tag and directory and for every
// loaded entry. A failed load leaves nothing behind; a loaded block answers every tag.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/readers/SLImageExifData.h"
#include "image/readers/SLImageExifTags.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void Query(const CSLImageExifData& exif, u32 tag, i32 directory, u32 index) {
  u32 top = 1, bottom = 1;
  exif.GetUInt16(tag, directory, index);
  if (!exif.GetRational(&top, &bottom, tag, directory, index)) Check(top == 0 && bottom == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<u8> block = {'E', 'x', 'i', 'f', 0, 0};
  block.insert(block.end(), data, data + size);
  CSLImageExifData exif;
  const bool loaded = exif.Load(block.data(), u32(block.size()), 3);
  u32 total = 0;
  for (u32 d = 0; d < SL_EXIF_IFD_COUNT; ++d) total += exif.GetEntryCount(d);
  Check(loaded ? total >= SLInternals::kSLExifTagRows * SL_EXIF_IFD_COUNT - 10 : total == 0);
  if (!loaded) return 0;
  for (const auto& row : SLInternals::kSLExifTagTable)
    for (i32 directory = -1; directory <= i32(SL_EXIF_IFD_COUNT); ++directory) Query(exif, row.tag, directory, 0);
  for (u32 d = 0; d < SL_EXIF_IFD_COUNT; ++d)
    for (u32 i = 0; i < exif.GetEntryCount(d); ++i) {
      const SLImageExifEntry* entry = exif.GetEntry(d, i);
      for (u32 index = 0; index < entry->count && index < 4; ++index) {
        u32 top, bottom;
        exif.EntryUInt16(entry, index);
        exif.EntryRational(&top, &bottom, entry, index);
      }
    }
  return 0;
}
