// The MXIMG reader on arbitrary bytes (its embedded pictures go through the other readers).
#include "fuzz/ImageReaderFuzz.h"
#include "image/readers/SLImageReaderMXIMG.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  image_fuzz::Setup();
  CSLImageReaderMXIMG reader;
  image_fuzz::ReadWith(&reader, data, size);
  return 0;
}
