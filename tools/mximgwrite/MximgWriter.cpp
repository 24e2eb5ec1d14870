#include "tools/mximgwrite/MximgWriter.h"

#include <cstdio>

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "image/ImageClasses.h"
#include "image/SLImageReader.h"
#include "image/readers/SLImageReaderMXIMG.h"
#include "storage/SLCompressZIP.h"
#include "storage/SLMemoryStorage.h"

namespace mximg {

namespace {

void Put32(std::string* out, u32 v) {
  u8 b[4];
  SLStoreLE32(b, v);
  out->append(reinterpret_cast<char*>(b), 4);
}

void Put64(std::string* out, u64 v) {
  u8 b[8];
  SLStoreLE64(b, v);
  out->append(reinterpret_cast<char*>(b), 8);
}

bool Fail(std::string* error, const std::string& text) {
  *error = text;
  return false;
}

bool Deflate(const std::string& rows, std::string* out) {
  CSLCompressZIP zip(1);
  if (!zip.BeginCompress()) return false;
  for (size_t at = 0; at < rows.size(); at += 65536) {
    const size_t piece = rows.size() - at < 65536 ? rows.size() - at : 65536;
    if (!zip.Compress(reinterpret_cast<const u8*>(rows.data() + at), u32(piece))) return false;
  }
  if (!zip.EndCompress()) return false;
  CSLCircularBuffer* ring = zip.GetCompressedOutput();
  u8 *p1, *p2;
  u32 n1, n2;
  if (!ring->GetReadRegions(&p1, &n1, &p2, &n2)) return false;
  out->assign(reinterpret_cast<char*>(p1), n1);
  out->append(reinterpret_cast<char*>(p2), n2);
  return ring->CommitRead(n1 + n2);
}

// Whether the mask pixel (x, y) is opaque.
bool Opaque(const CSLImage& source, u32 x, u32 y, bool fromAlpha) {
  const u32 c = source.GetPixel(x, y);  // 0xAABBGGRR
  if (fromAlpha) return (c >> 24) >= 128;
  return (c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF) >= 3 * 128;
}

}  // namespace

bool Write(const CSLImage& picture, const WriteOptions& o, std::string* out, std::string* error) {
  const u32 format = SLMximgFormatOfDepth(o.depth);
  if (!format) return Fail(error, "depth must be 8, 16, 24 or 32");
  const u32 w = picture.GetWidth(), h = picture.GetHeight();
  if (!w || !h || !picture.GetPixels()) return Fail(error, "the picture is empty");
  CSLImage converted;
  if (!picture.CopyTo(&converted) || (converted.GetFormat() != format && !converted.ConvertFormat(format)))
    return Fail(error, "the picture cannot be converted to the depth");
  const bool embedded = o.encoding == kJpeg || o.encoding == kPng || o.encoding == kGif;
  if (!embedded && o.encoding != kRaw && o.encoding != kZlib) return Fail(error, "unknown encoding");
  if (embedded && o.embedded.empty()) return Fail(error, "no file to embed");
  const CSLImage* maskSource = o.mask ? o.mask : o.maskFromAlpha ? &picture : nullptr;
  if (maskSource && (maskSource->GetWidth() != w || maskSource->GetHeight() != h))
    return Fail(error, "the mask is not the picture's size");

  const u32 flags = (o.palette ? 1 : 0) | (o.key ? 2 : 0) | (o.point ? 4 : 0) | (maskSource ? 8 : 0) | o.encoding;
  out->assign("MXIMGPIC");
  out->push_back(2), out->push_back(0);
  out->push_back(char(o.depth)), out->push_back(0);
  Put32(out, w), Put32(out, h), Put32(out, flags);
  Put32(out, o.pointX), Put32(out, o.pointY), Put32(out, o.keyColor & 0xFFFFFF);
  if (o.palette) {
    SLPaletteEntry entries[256] = {};
    converted.GetPaletteEntries(0, 256, entries);
    for (const SLPaletteEntry& e : entries) out->push_back(char(e.red)), out->push_back(char(e.green)), out->push_back(char(e.blue));
  }
  if (embedded) {
    Put64(out, o.embedded.size());
    out->append(o.embedded);
  } else {
    std::string rows;
    const u32 rowBytes = w * converted.GetBytesPerPixel();
    for (u32 y = 0; y < h; ++y) rows.append(reinterpret_cast<const char*>(converted.GetPixelAddress(0, y)), rowBytes);
    if (o.encoding == kZlib) {
      std::string packed;
      if (!Deflate(rows, &packed)) return Fail(error, "compression failed");
      Put64(out, packed.size());
      out->append(packed);
    } else {
      out->append(rows);
    }
  }
  if (maskSource) {
    const u32 words = (w + 31) / 32;
    for (u32 y = 0; y < h; ++y)
      for (u32 j = 0; j < words; ++j) {
        u32 word = 0;
        for (u32 k = 0; k < 32 && 32 * j + k < w; ++k)
          if (Opaque(*maskSource, 32 * j + k, y, o.mask == nullptr)) word |= 1u << k;
        Put32(out, word);
      }
  }
  return true;
}

bool ReadFile(const std::string& path, std::string* out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  out->clear();
  char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) out->append(buffer, n);
  std::fclose(f);
  return true;
}

bool ReadPicture(const std::string& path, CSLImage* out, std::string* error) {
  SLRegisterImageClasses();
  std::string bytes;
  if (!ReadFile(path, &bytes)) return Fail(error, "cannot read " + path);
  CSLMemoryStorage storage;
  storage.Write(bytes.data(), bytes.size());
  storage.Seek(0, SL_SEEK_BEGIN);
  const SLClassRecord* record = CSLBaseImageReader::FindReaderClassByContent(&storage);
  if (!record) record = CSLBaseImageReader::FindReaderClassByExtension(path.c_str());
  CSLObject* object = record ? SLCallGuarded(record) : nullptr;
  if (!object) return Fail(error, "no reader for " + path);
  CSLImageArray images;
  storage.Seek(0, SL_SEEK_BEGIN);
  const bool read = static_cast<CSLBaseImageReader*>(object)->Read(&images, &storage, 0);
  object->Release();
  char code[16];
  std::snprintf(code, sizeof code, "0x%08x", SLGetLastError());
  if (!read || !images.GetCount()) return Fail(error, "cannot decode " + path + " (" + code + ")");
  return images[0]->CopyTo(out) || Fail(error, "out of memory");
}

}  // namespace mximg
