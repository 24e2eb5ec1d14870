// Shared body of the image reader targets: the input in a block of exactly its size, read
// by one reader; a decoded image of modest size must survive both writers and read back
// with the same size. Nothing may crash, read past the block or leave images behind on failure.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/ImageClasses.h"
#include "image/readers/SLImageReaderBMP.h"
#include "image/readers/SLImageReaderPSD.h"
#include "image/readers/SLImageReaderTGA.h"
#include "image/writers/SLImageWriterBMP.h"
#include "image/writers/SLImageWriterTGA.h"
#include "storage/SLMemoryStorage.h"

namespace image_fuzz {

// The largest picture, in pixels, that is written and read back.
constexpr u64 kRoundTripPixels = u64(1) << 20;

inline void Check(bool condition) {
  if (!condition) std::abort();
}

inline void Setup() {
  static bool done = (SLRegisterImageClasses(), SLSetImageBufferLimit(u64(1) << 26), true);
  (void)done;
}

template <class Writer, class Reader>
void RoundTrip(CSLImageArray* images) {
  Writer writer;
  CSLMemoryStorage storage;
  Check(writer.Write(images, &storage));
  storage.Seek(0, SL_SEEK_BEGIN);
  CSLImageArray back;
  Reader reader;
  Check(reader.Read(&back, &storage, 0));
  Check(back[0]->GetWidth() == (*images)[0]->GetWidth() && back[0]->GetHeight() == (*images)[0]->GetHeight());
}

inline void ReadWith(CSLBaseImageReader* reader, const uint8_t* data, size_t size) {
  std::vector<uint8_t> copy(data, data + size);
  auto* storage = new CSLMemoryStorage();
  storage->AttachBuffer(copy.data(), uint32_t(copy.size()), false);
  CSLImageArray images;
  for (u32 flags : {1u, 0u}) {
    storage->Seek(0, SL_SEEK_BEGIN);
    const bool read = reader->Read(&images, storage, flags);
    Check(read ? images.GetCount() >= 1 : images.GetCount() == 0);
  }
  // The writers are fuzzed through what the readers decode, but only on pictures of modest
  // size: a few hundred bytes may declare tens of millions of pixels, and writing and reading
  // those back would take all of the target's time (the read above stays at any size).
  if (images.GetCount() && images[0]->GetPixels() && images[0]->GetWidth() <= 0xFFFF &&
      images[0]->GetHeight() <= 0xFFFF && u64(images[0]->GetWidth()) * u64(images[0]->GetHeight()) <= kRoundTripPixels) {
    RoundTrip<CSLImageWriterTGA, CSLImageReaderTGA>(&images);
    RoundTrip<CSLImageWriterBMP, CSLImageReaderBMP>(&images);
  }
  storage->Release();
}

}  // namespace image_fuzz
