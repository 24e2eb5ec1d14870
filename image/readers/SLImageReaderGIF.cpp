#include "image/readers/SLImageReaderGIF.h"

#include "foundation/SLArray.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLMemory.h"
#include "storage/SLCompress.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLImageReaderGIF, CSLBaseImageReader)

namespace {

constexpr u32 kInputBytes = 2048;
constexpr u32 kMaxCodes = 4096;

enum : u32 { kDisposeKeep = 1, kDisposeBackground = 2, kDisposePrevious = 3 };

}  // namespace

// The state of one read: the input buffer over the storage, the data sub-block being
// read, the LZW tables and where the next pixel goes. One zero-filled block per read.
struct tagDECOMPRESSORDATA {
  CSLBaseStorage* storage;
  u8 input[kInputBytes];
  u32 inputFill, inputPos;
  u32 blockLeft;   // bytes left in the current data sub-block
  bool dataEnded;  // the zero-size sub-block of this frame was read
  // LZW
  u32 codeSize, clearCode, endCode, firstFree, nextFree, codeLimit;
  u32 bits, bitCount;
  u32 previous;
  u8 firstByte;
  u16 prefix[kMaxCodes];
  u8 suffix[kMaxCodes];
  u8 stack[kMaxCodes];
  // The frame's rectangle in the target and the position of the next pixel.
  u8* target;  // null: decoded into nothing
  u32 stride, frameWidth, frameHeight;
  u32 x, rowsDone, row, pass;
  bool interlaced, skipTransparent;
  u8 transparent;
};

namespace {

using State = tagDECOMPRESSORDATA;

bool Refill(State* s) {
  SLSetLastError(0);
  const u64 got = s->storage->Read(s->input, kInputBytes);
  s->inputPos = 0;
  s->inputFill = u32(got);
  if (got) return true;
  const u32 code = SLGetLastError();
  return SLFail(code & 0x80000000u ? code : SL_E_DATA_ENDED, false);
}

inline bool ReadByte(State* s, u8* out) {
  if (s->inputPos == s->inputFill && !Refill(s)) return false;
  *out = s->input[s->inputPos++];
  return true;
}

bool ReadBytes(State* s, u8* out, u32 count) {
  while (count) {
    if (s->inputPos == s->inputFill && !Refill(s)) return false;
    u32 piece = s->inputFill - s->inputPos;
    if (piece > count) piece = count;
    SLMemCopy(out, s->input + s->inputPos, piece);
    s->inputPos += piece;
    out += piece;
    count -= piece;
  }
  return true;
}

bool AtEnd(State* s) { return s->inputPos == s->inputFill && s->storage->IsEOF(); }

// Passes over data sub-blocks through the zero-size one.
bool SkipSubBlocks(State* s) {
  for (;;) {
    u8 size;
    if (!ReadByte(s, &size)) return false;
    if (size == 0) return true;
    for (u32 left = size; left;) {
      if (s->inputPos == s->inputFill && !Refill(s)) return false;
      u32 piece = s->inputFill - s->inputPos;
      if (piece > left) piece = left;
      s->inputPos += piece;
      left -= piece;
    }
  }
}

// The next byte of the frame's data sub-blocks; false with the code set when the input
// fails, true with *ended when the zero-size sub-block came.
inline bool NextDataByte(State* s, u8* out, bool* ended) {
  while (s->blockLeft == 0) {
    if (s->dataEnded) {
      *ended = true;
      return true;
    }
    u8 size;
    if (!ReadByte(s, &size)) return false;
    if (size == 0) {
      s->dataEnded = true;
      *ended = true;
      return true;
    }
    s->blockLeft = size;
  }
  --s->blockLeft;
  return ReadByte(s, out);
}

// The next code; the end of the data reads as the end code.
inline bool NextCode(State* s, u32* code) {
  while (s->bitCount < s->codeSize) {
    u8 b;
    bool ended = false;
    if (!NextDataByte(s, &b, &ended)) return false;
    if (ended) {
      *code = s->endCode;
      return true;
    }
    s->bits |= u32(b) << s->bitCount;
    s->bitCount += 8;
  }
  *code = s->bits & ((1u << s->codeSize) - 1);
  s->bits >>= s->codeSize;
  s->bitCount -= s->codeSize;
  return true;
}

// The rectangle row the decoded row `rowsDone` goes to.
u32 InterlacedRow(u32 n, u32 height) {
  static const u32 start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  for (u32 p = 0; p < 4; ++p) {
    const u32 rows = height > start[p] ? (height - start[p] + step[p] - 1) / step[p] : 0;
    if (n < rows) return start[p] + n * step[p];
    n -= rows;
  }
  return height;
}

// Writes `count` decoded bytes; answers true once the rectangle is full.
inline bool Emit(State* s, const u8* bytes, u32 count) {
  while (count) {
    u32 piece = s->frameWidth - s->x;
    if (piece > count) piece = count;
    if (s->target) {
      u8* out = s->target + u64(s->row) * s->stride + s->x;
      if (s->skipTransparent) {
        for (u32 i = 0; i < piece; ++i)
          if (bytes[i] != s->transparent) out[i] = bytes[i];
      } else {
        SLMemCopy(out, bytes, piece);
      }
    }
    bytes += piece;
    count -= piece;
    s->x += piece;
    if (s->x == s->frameWidth) {
      s->x = 0;
      if (++s->rowsDone == s->frameHeight) return true;
      s->row = s->interlaced ? InterlacedRow(s->rowsDone, s->frameHeight) : s->rowsDone;
    }
  }
  return false;
}

void ResetCodes(State* s) {
  s->codeSize = 0;
  while ((1u << s->codeSize) < s->clearCode) ++s->codeSize;
  ++s->codeSize;
  s->codeLimit = 1u << s->codeSize;
  s->nextFree = s->firstFree;
}

// Decodes one frame's image data into the rectangle set up in the state. Stops at the
// end code or once the rectangle is full; the caller passes over what is left.
bool DecodeFrame(State* s) {
  u8 minimum;
  if (!ReadByte(s, &minimum)) return false;
  if (minimum < 2 || minimum > 9) return SLFail(SL_E_MALFORMED, false);
  s->clearCode = 1u << minimum;
  s->endCode = s->clearCode + 1;
  s->firstFree = s->clearCode + 2;
  ResetCodes(s);
  s->bits = s->bitCount = 0;
  s->blockLeft = 0;
  s->dataEnded = false;
  s->x = s->rowsDone = 0;
  s->row = 0;
  bool haveTable = false;  // a code since the last clear
  for (;;) {
    u32 code;
    if (!NextCode(s, &code)) return false;
    if (code == s->endCode) return true;
    if (code == s->clearCode) {
      ResetCodes(s);
      haveTable = false;
      continue;
    }
    if (!haveTable) {
      // The first code after a clear: a plain byte (one past the table counts as 0).
      if (code >= s->nextFree) code = 0;
      s->previous = code;
      s->firstByte = u8(code);
      haveTable = true;
      if (Emit(s, &s->firstByte, 1)) return true;
      continue;
    }
    if (code >= kMaxCodes) return SLFail(SL_E_DECODE, false);
    u32 top = kMaxCodes;
    u32 walk = code;
    if (code >= s->nextFree) {
      s->stack[--top] = s->firstByte;
      walk = s->previous;
    }
    while (walk >= s->firstFree) {
      if (top == 0) return SLFail(SL_E_DECODE, false);
      s->stack[--top] = s->suffix[walk];
      walk = s->prefix[walk];
    }
    if (top == 0) return SLFail(SL_E_DECODE, false);
    s->stack[--top] = u8(walk);
    const u8 first = u8(walk);
    if (s->nextFree < s->codeLimit) {
      s->prefix[s->nextFree] = u16(s->previous);
      s->suffix[s->nextFree] = first;
      ++s->nextFree;
      if (s->nextFree == s->codeLimit && s->codeSize < 12) {
        ++s->codeSize;
        s->codeLimit <<= 1;
      }
    }
    s->previous = code;
    s->firstByte = first;
    if (Emit(s, s->stack + top, kMaxCodes - top)) return true;
  }
}

struct ControlRecord {
  bool seen = false;
  u32 disposal = kDisposeKeep;
  bool transparency = false;
  u8 transparent = 0;
  u32 delay = 0;
};

struct FrameBox {
  u32 left = 0, top = 0, width = 0, height = 0;
};

void FillBox(CSLImage* image, const FrameBox& box, u8 value) {
  for (u32 y = 0; y < box.height; ++y)
    SLMemSet(image->GetPixels() + u64(box.top + y) * image->GetStride() + box.left, value, box.width);
}

void CopyBox(u8* to, u32 toStride, const u8* from, u32 fromStride, const FrameBox& box) {
  for (u32 y = 0; y < box.height; ++y)
    SLMemCopy(to + u64(box.top + y) * toStride + box.left, from + u64(box.top + y) * fromStride + box.left,
              box.width);
}

bool ReadTable(State* s, u32 sizeBits, SLPaletteEntry* out, u32* count) {
  *count = 2u << sizeBits;
  u8 rgb[768];
  if (!ReadBytes(s, rgb, *count * 3)) return false;
  for (u32 i = 0; i < *count; ++i) out[i] = {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2], 255};
  return true;
}

// Finds the next block: extensions are read (graphic control into `control`) or passed
// over; the first other introducer is returned.
bool SearchBlock(State* s, ControlRecord* control, u8* introducer) {
  for (;;) {
    if (!ReadByte(s, introducer)) return false;
    if (*introducer != 0x21) return true;
    u8 label;
    if (!ReadByte(s, &label)) return false;
    if (label != 0xF9) {
      if (!SkipSubBlocks(s)) return false;
      continue;
    }
    u8 b[6];
    if (!ReadBytes(s, b, 6)) return false;
    if (b[0] != 4 || b[5] != 0) return SLFail(SL_E_MALFORMED, false);
    control->seen = true;
    control->disposal = (b[1] >> 2) & 7;
    control->transparency = b[1] & 1;
    control->delay = SLLoadLE16(b + 2);
    control->transparent = b[4];
  }
}

bool FindBlock(State* s, ControlRecord* control, u8* introducer) {
  const bool found = SearchBlock(s, control, introducer);
  if (!found && AtEnd(s)) return SLFail(SL_E_DATA_ENDED, false);
  return found;
}

bool ReadGif(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) {
  const bool headerOnly = flags & SL_IMAGE_READ_HEADER_ONLY;
  const bool firstOnly = flags & SL_IMAGE_READ_FIRST_ONLY;
  TSLAutoPtr<State> state(static_cast<State*>(SLAllocZero(sizeof(State))));
  if (!state) return SLFail(SL_E_OUT_OF_MEMORY, false);
  State* s = state.Get();
  s->storage = storage;

  u8 head[13];
  if (!ReadBytes(s, head, 13)) return false;
  CSLImageReaderGIF probe;
  if (!probe.IsFormat(head, 6)) return SLFail(SL_E_MALFORMED, false);
  const u32 screenWidth = SLLoadLE16(head + 6), screenHeight = SLLoadLE16(head + 8);
  const u8 background = head[11];

  CSLImage* first = SLAppendNewImage(images);
  if (!first || !first->Create(SL_IMAGE_FORMAT_PALETTE, screenWidth, screenHeight, true) ||
      !first->SetResolutionX(96) || !first->SetResolutionY(96))
    return false;
  if (!headerOnly && !first->EnsureBuffer()) return false;
  const u64 limit = SLGetImageBufferLimit();
  const u64 frameBytes = u64(first->GetStride()) * screenHeight;
  u64 totalBytes = frameBytes;

  SLPaletteEntry global[256];
  for (u32 i = 0; i < 256; ++i) SLDefaultPaletteColor(i, &global[i]);
  if (head[10] & 0x80) {
    u32 count;
    if (!ReadTable(s, head[10] & 7, global, &count)) return false;
    if (first->SetPaletteEntries(0, count, global) != count) return false;
  }

  // Composition: how the previous frame leaves the screen for the next one.
  TSLAutoPtr<u8> saved;  // the screen before a frame that restores it afterwards
  FrameBox previousBox;
  ControlRecord previousControl;
  CSLImage* previous = nullptr;
  u32 frames = 0;
  for (;;) {
    ControlRecord control;
    u8 introducer;
    if (!FindBlock(s, &control, &introducer)) return false;
    if (introducer != 0x2C) {
      if (frames == 0) return SLFail(SL_E_MALFORMED, false);
      return true;
    }
    u8 d[9];
    if (!ReadBytes(s, d, 9)) return false;
    if (!control.seen) control.disposal = kDisposeKeep;
    FrameBox box{SLLoadLE16(d), SLLoadLE16(d + 2), SLLoadLE16(d + 4), SLLoadLE16(d + 6)};
    if (box.width == 0) box.width = screenWidth;
    if (box.height == 0) box.height = screenHeight;

    CSLImage* image = nullptr;
    if (frames == 0) {
      image = first;
      if (!headerOnly)
        SLMemSet(first->GetPixels(), control.transparency ? control.transparent : background, u32(frameBytes));
    } else if (!firstOnly) {
      totalBytes += frameBytes;
      if (totalBytes > limit) return SLFail(SL_E_IMAGE_SIZE, false);
      image = SLAppendNewImage(images);
      if (!image || !image->Create(SL_IMAGE_FORMAT_PALETTE, screenWidth, screenHeight, true) ||
          !image->SetResolutionX(96) || !image->SetResolutionY(96) ||
          !image->SetIntegerProperty(CSLImage::kPropertyId, i32(frames)))
        return false;
      if (!headerOnly) {
        if (!image->EnsureBuffer()) return false;
        SLMemCopy(image->GetPixels(), previous->GetPixels(), u32(frameBytes));
        if (previousControl.disposal == kDisposeBackground)
          FillBox(image, previousBox,
                  previousControl.transparency ? previousControl.transparent : background);
        else if (previousControl.disposal == kDisposePrevious && saved)
          CopyBox(image->GetPixels(), image->GetStride(), saved.Get(), screenWidth, previousBox);
      }
    }

    SLPaletteEntry local[256];
    if (d[8] & 0x80) {
      u32 count;
      if (!ReadTable(s, d[8] & 7, local, &count)) return false;
      if (image && image->SetPaletteEntries(0, count, local) != count) return false;
    } else if (image && image->SetPaletteEntries(0, 256, global) != 256) {
      return false;
    }
    if (box.left + box.width > screenWidth || box.top + box.height > screenHeight)
      return SLFail(SL_E_MALFORMED, false);

    const bool draw = image && !headerOnly;
    if (draw && control.disposal == kDisposePrevious) {
      if (!saved) {
        saved.Reset(static_cast<u8*>(SLAlloc(u32(u64(screenWidth) * screenHeight))));
        if (!saved) return SLFail(SL_E_OUT_OF_MEMORY, false);
      }
      CopyBox(saved.Get(), screenWidth, image->GetPixels(), image->GetStride(), box);
    }
    s->target = draw ? image->GetPixels() + u64(box.top) * image->GetStride() + box.left : nullptr;
    s->stride = draw ? image->GetStride() : 0;
    s->frameWidth = box.width;
    s->frameHeight = box.height;
    s->interlaced = d[8] & 0x40;
    s->skipTransparent = control.transparency;
    s->transparent = control.transparent;
    if (!DecodeFrame(s)) return false;

    if (image && control.seen && !image->SetIntegerProperty(CSLImage::kPropertyDelay, i32(control.delay * 10)))
      return false;
    if (image && control.transparency) {
      SLPaletteEntry e;
      if (image->GetPaletteEntries(control.transparent, 1, &e) == 1) {
        e.alpha = 0;
        image->SetPaletteEntries(control.transparent, 1, &e);
      }
    }
    if (image) {
      previous = image;
      previousBox = box;
      previousControl = control;
    }
    ++frames;

    // What the decoder left of the image data, through its terminator. Data that ends
    // here ends the file.
    if (!s->dataEnded) {
      bool skipped = true;
      for (u8 b; skipped && s->blockLeft; --s->blockLeft) skipped = ReadByte(s, &b);
      if (!skipped || !SkipSubBlocks(s)) return AtEnd(s) ? SLSucceed(true) : false;
    }
    if (AtEnd(s)) return SLSucceed(true);
  }
}

}  // namespace

bool CSLImageReaderGIF::IsFormat(const u8* b, u32 count) {
  if (!b || count < 6) return SLFail(SL_E_INVALID_ARG, false);
  auto lower = [](u8 c) { return c >= 'A' && c <= 'Z' ? u8(c + 32) : c; };
  const char* names[2] = {"gif87a", "gif89a"};
  for (const char* name : names) {
    bool same = true;
    for (u32 i = 0; i < 6 && same; ++i) same = lower(b[i]) == u8(name[i]);
    if (same) return SLSucceed(true);
  }
  return SLSucceed(false);
}

bool CSLImageReaderGIF::Read(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) {
  return SLRunImageRead(images, storage, flags, &ReadGif);
}

const char* CSLImageReaderGIF::GetExtensionA(u32 index) {
  return index == 0 ? SLSucceed("GIF") : SLFail(SL_E_INDEX, static_cast<const char*>(nullptr));
}

const SLWChar* CSLImageReaderGIF::GetExtensionW(u32 index) {
  return index == 0 ? SLSucceed(u"GIF") : SLFail(SL_E_INDEX, static_cast<const SLWChar*>(nullptr));
}
