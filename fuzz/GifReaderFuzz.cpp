// The GIF reader on arbitrary bytes.
#include "fuzz/ImageReaderFuzz.h"
#include "image/readers/SLImageReaderGIF.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  image_fuzz::Setup();
  CSLImageReaderGIF reader;
  image_fuzz::ReadWith(&reader, data, size);
  return 0;
}
