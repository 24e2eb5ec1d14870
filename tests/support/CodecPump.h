// Runs a codec object over whole inputs in pieces and collects what it puts out, and the
// system zlib's encoder as the trusted peer of the deflate tests.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <vector>

#include "foundation/SLError.h"
#include "storage/SLCompress.h"

namespace SLTestCodec {

using Bytes = std::vector<u8>;

// Everything waiting in a ring, taken out.
inline Bytes Drain(CSLCircularBuffer* ring) {
  Bytes out;
  u8 *first, *second;
  u32 firstLength, secondLength;
  if (!ring->GetReadRegions(&first, &firstLength, &second, &secondLength)) return out;
  out.insert(out.end(), first, first + firstLength);
  out.insert(out.end(), second, second + secondLength);
  ring->CommitRead(firstLength + secondLength);
  return out;
}

inline Bytes DrainDecompressed(CSLBaseCompress& codec) {
  Bytes out(codec.GetDecompressedSize());
  if (!out.empty()) {
    EXPECT_TRUE(codec.ReadDecompressed(out.data(), static_cast<u32>(out.size())));
  }
  return out;
}

inline void Append(Bytes* out, const Bytes& part) { out->insert(out->end(), part.begin(), part.end()); }

// One whole stream. Without `rng` the pieces are `maxPiece` bytes and the output is taken
// at the end; with it, pieces of 1 to `maxPiece` bytes, the output taken now and then.
inline Bytes CompressInPieces(CSLBaseCompress& codec, const Bytes& data, u32 maxPiece,
                              std::mt19937* rng = nullptr) {
  EXPECT_TRUE(codec.BeginCompress());
  Bytes out;
  for (size_t pos = 0; pos < data.size();) {
    const u32 piece = static_cast<u32>(std::min<size_t>(rng ? 1 + (*rng)() % maxPiece : maxPiece, data.size() - pos));
    EXPECT_TRUE(codec.Compress(data.data() + pos, piece));
    pos += piece;
    if (rng && (*rng)() % 2) Append(&out, Drain(codec.GetCompressedOutput()));
  }
  EXPECT_TRUE(codec.EndCompress());
  EXPECT_EQ(SLGetLastError(), 0u);
  Append(&out, Drain(codec.GetCompressedOutput()));
  return out;
}

// Feeds `stream` in pieces (as above) and takes the output after each; `unconsumed` gets
// the sum of the bytes each call left. With `end` the stream is ended and drained last.
inline Bytes DecompressInPieces(CSLBaseCompress& codec, const Bytes& stream, u32 maxPiece,
                                std::mt19937* rng = nullptr, u32* unconsumed = nullptr, bool end = true) {
  EXPECT_TRUE(codec.BeginDecompress());
  Bytes out;
  u32 left = 0;
  for (size_t pos = 0; pos < stream.size();) {
    const u32 piece = static_cast<u32>(std::min<size_t>(rng ? 1 + (*rng)() % maxPiece : maxPiece, stream.size() - pos));
    u32 remaining = 0;
    EXPECT_TRUE(codec.Decompress(stream.data() + pos, piece, &remaining)) << std::hex << SLGetLastError();
    pos += piece;
    left += remaining;
    Append(&out, DrainDecompressed(codec));
  }
  if (unconsumed) *unconsumed = left;
  if (end) {
    EXPECT_TRUE(codec.EndDecompress()) << std::hex << SLGetLastError();
    Append(&out, DrainDecompressed(codec));
  }
  return out;
}

// The system zlib's deflate in one call; `gzipFields` writes a gzip header with an extra
// field of 300 bytes, a name, a comment and the header CRC.
inline Bytes ZlibDeflate(const Bytes& data, int level, int windowBits, int strategy = Z_DEFAULT_STRATEGY,
                         bool gzipFields = false) {
  ::z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, level, Z_DEFLATED, windowBits, 8, strategy), Z_OK);
  gz_header header{};
  Bytes extra(300, 0x5A);
  char name[] = "nombre.bin";
  char comment[] = "comentario largo";
  if (gzipFields) {
    header.extra = extra.data();
    header.extra_len = static_cast<uInt>(extra.size());
    header.name = reinterpret_cast<Bytef*>(name);
    header.comment = reinterpret_cast<Bytef*>(comment);
    header.hcrc = 1;
    EXPECT_EQ(deflateSetHeader(&zs, &header), Z_OK);
  }
  Bytes out(deflateBound(&zs, data.size()) + 400);
  zs.next_in = const_cast<Bytef*>(data.data());
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

}  // namespace SLTestCodec
