// What the stream codecs share around their libraries (zlib's z_stream, libbz2's
// bz_stream, the own inflater's stream): the two loops, input handed over in pieces while
// the output of each pass is collected through a staging buffer into a ring, and the
// finishing passes that drain what the library still holds; and the release and
// end-of-stream answers. The codecs differ only in the call they make and in which of its
// results mean "go on", "the stream ended" or a failure.
#pragma once

#include <type_traits>

#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLTypes.h"
#include "storage/SLCompress.h"

namespace SLInternals {

inline constexpr u32 kCodecStagingSize = 4096;
// At most this much input per library call, so that one call's output stays bounded.
inline constexpr u32 kCodecMaxInputPiece = 131072;
// Finishing passes that yield nothing before the stream counts as stuck.
inline constexpr u32 kCodecMaxIdlePasses = 24;

enum class SLCodecStep { kMore, kEnd, kFail };

template <class Stream>
void SLSetCodecBuffers(Stream& stream, const u8* in, u32 inLength, u8* out, u32 outLength) {
  using In = std::remove_cv_t<std::remove_pointer_t<decltype(stream.next_in)>>;
  using Out = std::remove_pointer_t<decltype(stream.next_out)>;
  stream.next_in = reinterpret_cast<In*>(const_cast<u8*>(in));
  stream.avail_in = inLength;
  stream.next_out = reinterpret_cast<Out*>(out);
  stream.avail_out = outLength;
}

// Passes data[0, length) through `call` until all of it is taken or, with `streamEnd`,
// until the stream ends. `*consumed` counts what the library took, also when it failed.
// False leaves the code to fail the stream with in `*failure`: `failCode` for a result
// `classify` calls a failure, the ring's own code when the output does not fit.
template <class Stream, class Call, class Classify>
bool SLPumpCodecInput(Stream& stream, u8* staging, CSLCircularBuffer& ring, const u8* data, u32 length,
                      u32* consumed, u32* streamEnd, Call call, Classify classify, u32 failCode, u32* failure) {
  *consumed = 0;
  while ((streamEnd == nullptr || !*streamEnd) && *consumed < length) {
    const u32 left = length - *consumed;
    const u32 piece = left < kCodecMaxInputPiece ? left : kCodecMaxInputPiece;
    SLSetCodecBuffers(stream, data + *consumed, piece, staging, kCodecStagingSize);
    const SLCodecStep step = classify(call(stream));
    *consumed += piece - stream.avail_in;
    if (step == SLCodecStep::kFail) {
      *failure = failCode;
      return false;
    }
    if (step == SLCodecStep::kEnd && streamEnd != nullptr) *streamEnd = 1;
    const u32 produced = kCodecStagingSize - stream.avail_out;
    if (produced != 0 && !ring.Write(staging, produced, true)) {
      *failure = SLGetLastError(false);
      return false;
    }
  }
  return true;
}

// Passes without input until the library reports the stream's end, collecting the output;
// a stream that keeps yielding nothing is stuck. Failures as in SLPumpCodecInput.
template <class Stream, class Call, class Classify>
bool SLPumpCodecFinish(Stream& stream, u8* staging, CSLCircularBuffer& ring, Call call, Classify classify,
                       u32 failCode, u32* failure) {
  u32 idlePasses = 0;
  for (;;) {
    SLSetCodecBuffers(stream, nullptr, 0, staging, kCodecStagingSize);
    const SLCodecStep step = classify(call(stream));
    if (step == SLCodecStep::kFail) {
      *failure = failCode;
      return false;
    }
    const u32 produced = kCodecStagingSize - stream.avail_out;
    if (produced != 0 && !ring.Write(staging, produced, true)) {
      *failure = SLGetLastError(false);
      return false;
    }
    if (step == SLCodecStep::kEnd) return true;
    if (produced == 0 && ++idlePasses >= kCodecMaxIdlePasses) {
      *failure = failCode;
      return false;
    }
  }
}

// The parts of a codec's life that do not depend on its library. `State` has, for each
// side, a started flag (compressStarted, decompressStarted), and streamEnd.

// A codec's destructor: ends the streams still running and frees the state, keeping the
// caller's code.
template <class Codec, class State>
void SLReleaseCodecState(Codec* codec, State*& state) {
  SLErrorKeeper keep;
  if (state == nullptr) return;
  if (state->compressStarted) codec->EndCompress();
  if (state->decompressStarted) codec->EndDecompress();
  SLFree(state);
  state = nullptr;
}

// IsStreamEnd: whether the running decompression stream has reached its end marker.
template <class State>
bool SLCodecStreamEnded(const State* state) {
  if (state == nullptr || !state->decompressStarted) return SLFail(SL_E_NOT_STARTED, true);
  return SLSucceed(state->streamEnd != 0);
}

}  // namespace SLInternals
