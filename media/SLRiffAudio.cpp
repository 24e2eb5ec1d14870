#include "media/SLRiffAudio.h"

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "media/SLAudioConverterApi.h"

namespace SLRiffAudio {

bool IsStoredPcm(const u8* format, u32 size) {
  if (!format || size < 2) return false;
  const u32 tag = SLLoadLE16(format);
  return tag == kTagPcm || (tag == kTagExtensible && size >= 40 && SLMemCompare(format + 24, kSLPcmSubFormat, 16) == 0);
}

void WidenStoredFrames(const u8* in, u8* out, u32 frames, u32 channels, u32 storedFrame, u32 slot, u32 container) {
  for (u32 f = 0; f < frames; ++f, in += storedFrame) {
    const u8* sample = in;
    for (u32 c = 0; c < channels; ++c, sample += slot, out += container) {
      if (container == 1) {
        out[0] = slot == 1 ? sample[0] : u8(sample[slot - 1] ^ 0x80);
      } else if (slot == 1) {
        SLMemSet(out, 0, container - 1);
        out[container - 1] = u8(sample[0] ^ 0x80);
      } else if (slot >= container) {
        SLMemCopy(out, sample + (slot - container), container);
      } else {
        SLMemSet(out, 0, container - slot);
        SLMemCopy(out + (container - slot), sample, slot);
      }
    }
  }
}

void SLAcmPump::Restart(u64 skipFrames) {
  header->cbSrcLength = header->cbSrcLengthUsed = header->cbDstLengthUsed = 0;
  sourceFill = destinationRead = 0;
  skip = skipFrames;
  exhausted = stopped = false;
}

bool SLAcmPump::Read(NextBytes next, void* context, u8* out, u32 count, u32* got) {
  ACMSTREAMHEADER& h = *header;
  u8* const source = h.pbSrc;
  const u8* const destination = h.pbDst;
  while (*got < count) {
    const u32 frames = (h.cbDstLengthUsed - destinationRead) / frameBytes;
    if (frames) {
      if (skip) {
        const u32 dropped = skip < frames ? u32(skip) : frames;
        skip -= dropped;
        destinationRead += dropped * frameBytes;
        continue;
      }
      const u32 taken = count - *got < frames ? count - *got : frames;
      SLMemCopy(out, destination + destinationRead, taken * frameBytes);
      out += u64(taken) * frameBytes;
      *got += taken;
      destinationRead += taken * frameBytes;
      continue;
    }
    if (stopped) break;
    if (sourceFill < sourceCapacity && !exhausted) {
      u32 written = 0;
      if (!next(this, context, source + sourceFill, sourceCapacity - sourceFill, &written)) return false;
      sourceFill += written;
    }
    h.cbSrcLength = sourceFill;
    h.cbDstLength = destinationSize;
    h.cbSrcLengthUsed = h.cbDstLengthUsed = 0;
    destinationRead = 0;
    if (sourceFill == 0) break;
    const DWORD flags = ACM_STREAMCONVERTF_BLOCKALIGN | (start ? ACM_STREAMCONVERTF_START : 0);
    start = false;
    const MMRESULT answer = acm->Convert(stream, &h, flags);
    if (answer != MMSYSERR_NOERROR || h.cbSrcLengthUsed > sourceFill || h.cbDstLengthUsed > destinationSize) {
      h.cbDstLengthUsed = 0;
      if (!lenient) return SLFail(SL_E_DECODE_DATA, false);
      stopped = true;
      break;
    }
    // Nothing taken and less than a frame given: the converter waits for bytes that will
    // not come, or cannot use the ones it has.
    if (h.cbSrcLengthUsed == 0 && h.cbDstLengthUsed < frameBytes) {
      if (!exhausted && !lenient) return SLFail(SL_E_DECODE_DATA, false);
      stopped = true;
      break;
    }
    sourceFill -= h.cbSrcLengthUsed;
    SLMemMove(source, source + h.cbSrcLengthUsed, sourceFill);
  }
  return SLSucceed(true);
}

}  // namespace SLRiffAudio

namespace SLSingleAudioStream {

bool Check(bool open, u32 stream, bool audio) {
  if (!open) return SLFail(SL_E_STORAGE_NOT_OPEN, false);
  if (stream != 0) return SLFail(SL_E_MEDIA_NO_STREAM, false);
  if (!audio) return SLFail(SL_E_MEDIA_NOT_VIDEO, false);
  return true;
}

bool StreamCount(bool open, u32* count) {
  if (!count) return SLFail(SL_E_NULL_OUTPUT, false);
  *count = open ? 1 : 0;
  return open ? SLSucceed(true) : SLFail(SL_E_STORAGE_NOT_OPEN, false);
}

bool StreamType(bool open, u32 stream, u32* type) {
  if (!type) return SLFail(SL_E_NULL_OUTPUT, false);
  *type = SL_STREAM_UNKNOWN;
  if (!Check(open, stream, true)) return false;
  *type = SL_STREAM_AUDIO;
  return SLSucceed(true);
}

bool VideoFormat(bool open, u32 stream, SLVideoFormat* out) {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  *out = SLVideoFormat{};
  return Check(open, stream, false);
}

bool VideoFrameRate(bool open, u32 stream, double* framesPerSecond) {
  if (!framesPerSecond) return SLFail(SL_E_NULL_OUTPUT, false);
  *framesPerSecond = 0.0;
  return Check(open, stream, false);
}

bool VideoFrameCount(bool open, u32 stream, u64* frames) {
  if (!frames) return SLFail(SL_E_NULL_OUTPUT, false);
  *frames = 0;
  return Check(open, stream, false);
}

bool VideoFrame(bool open, u32 stream, const void** picture, u32* size) {
  if (size) *size = 0;
  if (!picture) return SLFail(SL_E_NULL_OUTPUT, false);
  *picture = nullptr;
  return Check(open, stream, false);
}

bool RawFrame(bool open, u32 stream, u64* size) {
  if (!size) return SLFail(SL_E_NULL_OUTPUT, false);
  *size = 0;
  return Check(open, stream, false);
}

}  // namespace SLSingleAudioStream
