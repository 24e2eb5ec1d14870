// The PSD reader on arbitrary bytes.
#include "fuzz/ImageReaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  image_fuzz::Setup();
  CSLImageReaderPSD reader;
  image_fuzz::ReadWith(&reader, data, size);
  return 0;
}
