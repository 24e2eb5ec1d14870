#include "image/readers/SLImageReaderMXIMG.h"

#include <cstring>

#include "foundation/SLArray.h"
#include "foundation/SLClassWalk.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLMemory.h"
#include "storage/SLCompressZIP.h"
#include "storage/SLMemoryStorage.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLImageReaderMXIMG, CSLBaseImageReader)

namespace {

constexpr u32 kHeaderBytes = 36;
constexpr u32 kPieceBytes = 65536;  // embedded files of unknown length are read in these
constexpr u32 kZipPiece = 1024;

enum : u32 { kRaw = 0x00, kZlib = 0xF0, kJpeg = 0x10, kPng = 0x20, kGif = 0x30 };

bool ReadExact(CSLBaseStorage* storage, void* out, u64 count) {
  SLSetLastError(0);
  if (storage->Read(out, count) == count) return true;
  const u32 code = SLGetLastError();
  return SLFail(code ? code : SL_E_STORAGE_EOF, false);
}

// The bytes left after the position, or false when the storage cannot tell.
bool BytesLeft(CSLBaseStorage* storage, u64* left) {
  u64 size = 0, position = 0;
  const u32 keep = SLGetLastError();
  const bool known = storage->GetSize(&size) && storage->GetPosition(&position) && position <= size;
  SLSetLastError(keep);
  *left = known ? size - position : 0;
  return known;
}

bool Skip(CSLBaseStorage* storage, u64 count) {
  if (count <= u64(INT64_MAX) && storage->CanSeek()) return storage->Seek(i64(count), SL_SEEK_CURRENT);
  u8 scrap[4096];
  while (count) {
    const u64 piece = count < sizeof scrap ? count : sizeof scrap;
    if (!ReadExact(storage, scrap, piece)) return false;
    count -= piece;
  }
  return true;
}

// The registered reader class of that name.
const SLClassRecord* ReaderNamed(const char* name) {
  return SLFindDerivedClass(CSLBaseImageReader::GetClassRecord(),
                            [name](const SLClassRecord* record) { return std::strcmp(record->name, name) == 0; });
}

bool ReadEmbedded(CSLImageArray* images, CSLBaseStorage* storage, u32 encoding, u32 flags) {
  u8 b[8];
  if (!ReadExact(storage, b, 8)) return false;
  const u64 length = SLLoadLE64(b);
  if (length == 0) return SLFail(SL_E_IMAGE_MISSING, false);
  u64 left = 0;
  const bool known = BytesLeft(storage, &left);
  if (known && length > left) return SLFail(SL_E_IMAGE_MISSING, false);
  if (!SLFitsU32(length)) return SLFail(SL_E_IMAGE_MISSING, false);
  CSLMemoryStorage file(true, 4096);
  if (known && !file.SetSize(length)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  file.Seek(0, SL_SEEK_BEGIN);
  // Read in bounded pieces: a length the storage cannot confirm never becomes one block.
  TSLAutoPtr<u8> piece(static_cast<u8*>(SLAlloc(kPieceBytes)));
  if (!piece) return SLFail(SL_E_OUT_OF_MEMORY, false);
  for (u64 done = 0; done < length;) {
    const u32 n = u32(length - done < kPieceBytes ? length - done : kPieceBytes);
    if (!ReadExact(storage, piece.Get(), n)) return false;
    if (file.Write(piece.Get(), n) != n) return SLFail(SL_E_OUT_OF_MEMORY, false);
    done += n;
  }
  file.Seek(0, SL_SEEK_BEGIN);
  const char* name = encoding == kJpeg ? "CSLImageReaderJPG" : encoding == kPng ? "CSLImageReaderPNG" : "CSLImageReaderGIF";
  const SLClassRecord* record = ReaderNamed(name);
  CSLObject* object = record ? SLCallGuarded(record) : nullptr;
  if (!object) return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
  const bool read = static_cast<CSLBaseImageReader*>(object)->Read(images, &file, flags | SL_IMAGE_READ_FIRST_ONLY);
  const u32 code = SLGetLastError();
  object->Release();
  return read || SLFail(code, false);
}

bool ReadRaw(CSLImage* image, CSLBaseStorage* storage) {
  const u32 width = image->GetWidth(), height = image->GetHeight();
  const u32 rowBytes = width * image->GetBytesPerPixel();
  const u32 batch = 16384 / width ? 16384 / width : 1;
  TSLAutoPtr<u8> rows(static_cast<u8*>(SLAlloc(batch * rowBytes)));
  if (!rows) return SLFail(SL_E_OUT_OF_MEMORY, false);
  for (u32 y = 0; y < height;) {
    const u32 n = height - y < batch ? height - y : batch;
    if (!ReadExact(storage, rows.Get(), u64(n) * rowBytes)) return false;
    for (u32 i = 0; i < n; ++i, ++y) SLMemCopy(image->GetPixelAddress(0, y), rows.Get() + u64(i) * rowBytes, rowBytes);
  }
  return true;
}

// Inflates rows as the compressed pieces come in and stops once the picture is full;
// what is left of the compressed data is passed over.
bool ReadZlib(CSLImage* image, CSLBaseStorage* storage) {
  u8 b[8];
  if (!ReadExact(storage, b, 8)) return false;
  u64 compressed = SLLoadLE64(b);
  u64 left = 0;
  if (BytesLeft(storage, &left) && compressed > left) return SLFail(SL_E_DATA_ENDED, false);
  const u32 height = image->GetHeight();
  const u32 rowBytes = image->GetWidth() * image->GetBytesPerPixel();
  CSLCompressZIP zip(1);
  if (!zip.BeginDecompress()) return false;
  u32 y = 0;
  auto takeRows = [&] {
    while (y < height && zip.GetDecompressedSize() >= rowBytes) zip.ReadDecompressed(image->GetPixelAddress(0, y++), rowBytes);
  };
  u8 piece[kZipPiece];
  while (compressed && y < height) {
    const u32 n = u32(compressed < kZipPiece ? compressed : kZipPiece);
    if (!ReadExact(storage, piece, n)) return false;
    compressed -= n;
    for (u32 offset = 0; offset < n;) {
      u32 remaining = 0;
      if (!zip.Decompress(piece + offset, n - offset, &remaining)) return false;
      const u32 used = (n - offset) - remaining;
      offset += used;
      takeRows();
      if (y == height) break;
      if (used == 0 && remaining) {
        if (zip.IsStreamEnd()) break;
        return SLFail(SL_E_DATA_ENDED, false);
      }
    }
  }
  if (y < height) {
    if (!zip.EndDecompress()) return false;
    takeRows();
  }
  if (y < height) return SLFail(SL_E_DATA_ENDED, false);
  return Skip(storage, compressed);
}

bool ReadMask(CSLImageArray* images, CSLBaseStorage* storage, u32 width, u32 height) {
  CSLImage* mask = SLAppendNewImage(images);
  if (!mask || !mask->Create(SL_IMAGE_FORMAT_ALPHA, width, height, false) || !mask->SetResolutionX(96) ||
      !mask->SetResolutionY(96))
    return false;
  const u32 words = (width + 31) / 32;
  u8 raw[256 * 4];
  for (u32 y = 0; y < height; ++y) {
    u8* out = mask->GetPixelAddress(0, y);
    for (u32 j = 0; j < words;) {
      const u32 n = words - j < 256 ? words - j : 256;
      if (!ReadExact(storage, raw, n * 4)) return false;
      for (u32 i = 0; i < n; ++i, ++j) {
        const u32 word = SLLoadLE32(raw + 4 * i);
        for (u32 k = 0; k < 32 && 32 * j + k < width; ++k) out[32 * j + k] = (word >> k) & 1 ? 255 : 0;
      }
    }
  }
  return true;
}

bool ReadMximg(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) {
  u8 h[kHeaderBytes];
  if (!ReadExact(storage, h, kHeaderBytes)) return false;
  if (std::memcmp(h, "MXIMGPIC", 8) != 0 || SLLoadLE16(h + 8) != 2) return SLFail(SL_E_IMAGE_FORMAT_ID, false);
  const u32 format = SLMximgFormatOfDepth(SLLoadLE16(h + 10));
  const u32 width = SLLoadLE32(h + 12), height = SLLoadLE32(h + 16), bits = SLLoadLE32(h + 20);
  if (!format || !width || !height) return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
  u8 palette[768];
  if ((bits & 1) && !ReadExact(storage, palette, 768)) return false;
  const u32 encoding = bits & 0xF0;
  if (encoding != kRaw && encoding != kZlib && encoding != kJpeg && encoding != kPng && encoding != kGif)
    return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
  const bool embedded = encoding != kRaw && encoding != kZlib;
  CSLImage* picture = nullptr;
  if (!embedded) {
    picture = SLAppendNewImage(images);
    if (!picture || !picture->Create(format, width, height, true) || !picture->SetResolutionX(96) ||
        !picture->SetResolutionY(96))
      return false;
    if (bits & 1) {
      SLPaletteEntry entries[256];
      for (u32 i = 0; i < 256; ++i) entries[i] = {palette[3 * i], palette[3 * i + 1], palette[3 * i + 2], 255};
      if (picture->SetPaletteEntries(0, 256, entries) != 256) return false;
    }
  } else {
    // A palette stored with an embedded file is not applied: the file has its own.
    if (!ReadEmbedded(images, storage, encoding, flags)) return false;
    picture = images->GetCount() ? (*images)[0] : nullptr;
    if (!picture || picture->GetWidth() != width || picture->GetHeight() != height)
      return SLFail(SL_E_IMAGE_MISSING, false);
    for (u32 i = 0; i < images->GetCount(); ++i)
      if (!(*images)[i]->SetResolutionX(96) || !(*images)[i]->SetResolutionY(96)) return false;
  }
  if (flags & SL_IMAGE_READ_HEADER_ONLY) return true;

  if (encoding == kRaw) {
    if (!picture->EnsureBuffer() || !ReadRaw(picture, storage)) return false;
  } else if (encoding == kZlib) {
    if (!picture->EnsureBuffer() || !ReadZlib(picture, storage)) return false;
  } else if (picture->GetFormat() != format && !picture->ConvertFormat(format)) {
    // A picture already in the header's format keeps its pixels and palette as they are.
    return false;
  }
  if ((bits & 2) && !picture->SetTransparentColor(SLLoadLE32(h + 32))) return false;
  if ((bits & 4) && !picture->SetPoint(SLLoadLE32(h + 24), SLLoadLE32(h + 28))) return false;
  if ((bits & 8) && !ReadMask(images, storage, width, height)) return false;
  return true;
}

}  // namespace

u32 SLMximgFormatOfDepth(u32 depth) {
  switch (depth) {
    case 8: return SL_IMAGE_FORMAT_PALETTE;
    case 16: return SL_IMAGE_FORMAT_565_BLUE_LOW;
    case 24: return SL_IMAGE_FORMAT_BGR;
    case 32: return SL_IMAGE_FORMAT_BGRA;
    default: return 0;
  }
}

bool CSLImageReaderMXIMG::IsFormat(const u8* b, u32 count) {
  if (!b || count < 8) return SLFail(SL_E_INVALID_ARG, false);
  return SLSucceed(std::memcmp(b, "MXIMGPIC", 8) == 0);
}

bool CSLImageReaderMXIMG::Read(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) {
  return SLRunImageRead(images, storage, flags, &ReadMximg);
}

const char* CSLImageReaderMXIMG::GetExtensionA(u32 index) {
  return index == 0 ? SLSucceed("MXIMG") : SLFail(SL_E_INDEX, static_cast<const char*>(nullptr));
}

const SLWChar* CSLImageReaderMXIMG::GetExtensionW(u32 index) {
  return index == 0 ? SLSucceed(u"MXIMG") : SLFail(SL_E_INDEX, static_cast<const SLWChar*>(nullptr));
}
