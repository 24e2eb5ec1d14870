// The own inflater against the system zlib on arbitrary input: the first byte picks the
// wrapper and the piece sizes, the rest is the stream. Both must agree call by call on the
// return code, the counts, the message and the bytes.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "storage/SLInflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static const int kWindowBits[] = {-15, 15, 31, 47, -9, 9, 0, 32};
  const int windowBits = kWindowBits[data[0] & 7];
  const unsigned inPiece = 1u + ((data[0] >> 3) & 3) * 37;
  const unsigned outPiece = 1u + ((data[1] & 15) * 97);
  const int flush = (data[1] & 0x10) ? Z_SYNC_FLUSH : Z_NO_FLUSH;
  data += 2;
  size -= 2;

  ::z_stream peer{};
  SLInflate::z_stream own{};
  if (inflateInit2(&peer, windowBits) != Z_OK) std::abort();
  if (SLInflate::inflateInit2_(&own, windowBits, "1.2.5", sizeof(own)) != Z_OK) std::abort();
  std::vector<uint8_t> peerOut(outPiece), ownOut(outPiece);
  size_t pos = 0;
  for (int call = 0; call < 100000; ++call) {
    const unsigned in = static_cast<unsigned>(size - pos < inPiece ? size - pos : inPiece);
    peer.next_in = const_cast<Bytef*>(data + pos);
    peer.avail_in = in;
    peer.next_out = peerOut.data();
    peer.avail_out = outPiece;
    own.next_in = data + pos;
    own.avail_in = in;
    own.next_out = ownOut.data();
    own.avail_out = outPiece;
    const int a = ::inflate(&peer, flush);
    const int b = SLInflate::inflate(&own, flush);
    if (a != b || peer.avail_in != own.avail_in || peer.avail_out != own.avail_out ||
        peer.total_in != own.total_in || peer.total_out != own.total_out ||
        peer.data_type != own.data_type) {
      std::abort();
    }
    if ((peer.msg == nullptr) != (own.msg == nullptr) || (peer.msg && std::strcmp(peer.msg, own.msg) != 0)) {
      std::abort();
    }
    if (std::memcmp(peerOut.data(), ownOut.data(), outPiece - peer.avail_out) != 0) std::abort();
    pos += in - peer.avail_in;
    if (a != Z_OK && a != Z_BUF_ERROR) break;
    if (pos == size && peer.avail_out != 0) break;
  }
  inflateEnd(&peer);
  SLInflate::inflateEnd(&own);
  // The same bytes as a raw Deflate64 stream: no crash, no over-read.
  SLInflate::z_stream wide{};
  SLInflate::inflateInit2_(&wide, -16, "1.2.5", sizeof(wide));
  wide.next_in = data;
  wide.avail_in = static_cast<unsigned>(size);
  for (int call = 0; call < 1000; ++call) {
    wide.next_out = ownOut.data();
    wide.avail_out = outPiece;
    if (SLInflate::inflate(&wide, Z_NO_FLUSH) != Z_OK) break;
  }
  SLInflate::inflateEnd(&wide);
  return 0;
}
