// The JPEG reader on arbitrary bytes, then the EXIF queries a caller makes of the block
// the reader kept.
#include "fuzz/ImageReaderFuzz.h"
#include "image/readers/SLImageReaderJPG.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  image_fuzz::Setup();
  CSLImageReaderJPG reader;
  image_fuzz::ReadWith(&reader, data, size);
  const CSLImageExifData* exif = reader.GetExifData();
  for (u32 tag : {0x128u, 0x11Au, 0x11Bu, 0x112u, 0x9286u, 0x927Cu}) {
    u32 top, bottom;
    exif->GetUInt16(tag, CSLImageExifData::kAnyDirectory, 0);
    exif->GetRational(&top, &bottom, tag, CSLImageExifData::kAnyDirectory, 0);
  }
  return 0;
}
