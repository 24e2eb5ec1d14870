#include "image/readers/SLImageReaderPSD.h"

#include <cstring>

#include "foundation/SLArray.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLMemory.h"
#include "image/readers/SLImageReadAhead.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLImageReaderPSD, CSLBaseImageReader)

namespace {

constexpr u32 kResourceSizeAllOnes = 0x80020035;
constexpr u32 kMaxExtraImages = 8;
constexpr u16 kResolutionResource = 1005;

enum PsdMode : u16 { kGrey = 1, kIndexed = 2, kRgb = 3 };

struct PsdHeader {
  u16 channels, depth, mode;
  u32 width, height, colorDataLength;

  void Decode(const u8* b) {
    channels = SLLoadBE16(b + 12);
    height = SLLoadBE32(b + 14);
    width = SLLoadBE32(b + 18);
    depth = SLLoadBE16(b + 22);
    mode = SLLoadBE16(b + 24);
    colorDataLength = SLLoadBE32(b + 26);
  }
};

// The header checks, in the order that decides which code a file gets.
bool CheckHeader(const u8* b, const PsdHeader& h) {
  if (std::memcmp(b, "8BPS", 4) != 0 || SLLoadBE16(b + 4) != 1) return SLFail(SL_E_IMAGE_FORMAT_ID, false);
  if (h.channels < 1 || h.channels > 24) return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
  if (h.depth != 8) return SLFail(SL_E_IMAGE_FORMAT_ID, false);
  const bool colorData = h.mode == kIndexed ? h.colorDataLength == 768
                                            : (h.mode == kGrey || h.mode == kRgb) && h.colorDataLength == 0;
  if (!colorData) return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
  // Red, green and blue each need their channel: with fewer the pixels would have no source.
  if (h.mode == kRgb && h.channels < 3) return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
  return true;
}

// Walks the image resources for the resolution (resource 1005); the whole section is
// consumed. Resolutions: 96 without the resource, 72 for a stored 0.
bool ReadResolution(CSLImageReadAhead& input, CSLImage* image) {
  u8 b[16];
  if (!input.Read(b, 4)) return false;
  u64 left = SLLoadBE32(b);
  bool found = false;
  u32 dpiX = 0, dpiY = 0;
  while (left >= 6) {
    if (!input.Read(b, 6)) return false;
    left -= 6;
    if (std::memcmp(b, "8BIM", 4) != 0) break;
    const u16 id = SLLoadBE16(b + 4);
    // The name: a length byte and its text, padded to an even total.
    if (left == 0) break;
    if (!input.Read(b, 1)) return false;
    const u64 nameBytes = (u64(b[0]) + 2) & ~u64(1);
    if (nameBytes > left) {
      left -= 1;
      break;
    }
    if (!input.Skip(nameBytes - 1)) return false;
    left -= nameBytes;
    if (left < 4) break;
    if (!input.Read(b, 4)) return false;
    left -= 4;
    const u32 size = SLLoadBE32(b);
    if (size == 0xFFFFFFFFu) return SLFail(kResourceSizeAllOnes, false);
    u64 dataBytes = (u64(size) + 1) & ~u64(1);
    if (dataBytes > left) dataBytes = left;
    left -= dataBytes;
    if (id == kResolutionResource && dataBytes >= 16) {
      if (!input.Read(b, 16)) return false;
      dataBytes -= 16;
      // 16.16 fixed point, truncated.
      dpiX = SLLoadBE32(b) >> 16;
      dpiY = SLLoadBE32(b + 8) >> 16;
      found = true;
    }
    if (!input.Skip(dataBytes)) return false;
  }
  if (!input.Skip(left)) return false;
  if (!found) dpiX = dpiY = 96;
  if (!image->SetResolutionX(dpiX ? dpiX : 72) || !image->SetResolutionY(dpiY ? dpiY : 72))
    return SLFail(SL_E_UNSUPPORTED_VARIANT, false);
  return true;
}

// One channel's PackBits stream, handed out row by row. Packets may run across rows but
// never past the end of the channel.
class CPackBitsPlane {
 public:
  CPackBitsPlane(CSLImageReadAhead& input, u64 planeBytes) : m_input(input), m_left(planeBytes) {}

  bool Row(u8* out, u32 width) {
    while (width) {
      if (!m_pending) {
        u8 n;
        if (!m_input.ReadByte(&n)) return false;
        if (n == 128) continue;
        m_literal = n < 128;
        m_pending = m_literal ? n + 1u : 257u - n;
        if (m_pending > m_left) return SLFail(SL_E_MALFORMED, false);
        m_left -= m_pending;
        if (!m_literal && !m_input.ReadByte(&m_value)) return false;
      }
      const u32 piece = m_pending < width ? m_pending : width;
      if (m_literal) {
        if (!m_input.Read(out, piece)) return false;
      } else {
        SLMemSet(out, m_value, piece);
      }
      out += piece;
      width -= piece;
      m_pending -= piece;
    }
    return true;
  }

 private:
  CSLImageReadAhead& m_input;
  u64 m_left;
  u32 m_pending = 0;
  bool m_literal = false;
  u8 m_value = 0;
};

// Where one channel's bytes go: an image, the byte of each pixel and the pixel size, and
// whether they are palette indices written as blue, green and red. No image: dropped.
struct ChannelTarget {
  CSLImage* image = nullptr;
  u32 offset = 0, step = 1;
  bool lookUp = false;
};

ChannelTarget TargetOf(u32 c, const PsdHeader& h, CSLImageArray* images) {
  CSLImage* composite = (*images)[0];
  const u32 step = composite->GetBytesPerPixel();
  const u32 count = images->GetCount();
  if (h.mode == kRgb) {
    if (c < 3) return {composite, 2 - c, step, false};
    if (c == 3) return {composite, 3, step, false};
    return c - 3 < count ? ChannelTarget{(*images)[c - 3], 0, 1, false} : ChannelTarget{};
  }
  if (step == 1) return {composite, 0, 1, false};
  if (c == 0) return {composite, 0, step, true};
  if (c == 1) return {composite, 3, step, false};
  return c - 1 < count ? ChannelTarget{(*images)[c - 1], 0, 1, false} : ChannelTarget{};
}

void Place(const ChannelTarget& t, const u8* row, u8* out, u32 width, const SLPaletteEntry* table) {
  out += t.offset;
  if (t.lookUp) {
    for (u32 x = 0; x < width; ++x, out += t.step) {
      const SLPaletteEntry& e = table[row[x]];
      out[0] = e.blue, out[1] = e.green, out[2] = e.red;
    }
  } else {
    for (u32 x = 0; x < width; ++x, out += t.step) *out = row[x];
  }
}

bool DecodePlanes(CSLImageReadAhead& input, const PsdHeader& h, u16 compression, CSLImageArray* images,
                  const SLPaletteEntry* table) {
  const u32 width = h.width, height = h.height;
  const u64 planeBytes = u64(width) * height;
  if (compression == 1 && !input.Skip(u64(h.channels) * height * 2)) return false;
  TSLAutoPtr<u8> row(static_cast<u8*>(SLAlloc((width + 3) & ~3u)));
  if (!row) return SLFail(SL_E_OUT_OF_MEMORY, false);
  for (u32 c = 0; c < h.channels; ++c) {
    const ChannelTarget target = TargetOf(c, h, images);
    if (!target.image && compression == 0) {
      if (!input.Skip(planeBytes)) return false;
      continue;
    }
    CPackBitsPlane packed(input, planeBytes);
    for (u32 y = 0; y < height; ++y) {
      u8* out = target.image ? target.image->GetPixels() + u64(y) * target.image->GetStride() : nullptr;
      u8* in = target.step == 1 && out ? out : row.Get();
      if (!(compression == 0 ? input.Read(in, width) : packed.Row(in, width))) return false;
      if (out && in != out) Place(target, in, out, width, table);
    }
  }
  return true;
}

bool ReadImage(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) {
  CSLImageReadAhead input(storage);
  u8 raw[30];
  if (!input.Read(raw, 30)) return false;
  PsdHeader h;
  h.Decode(raw);
  if (!CheckHeader(raw, h)) return false;
  const bool rgb = h.mode == kRgb;
  const u32 format = h.channels > (rgb ? 3 : 1) ? SL_IMAGE_FORMAT_BGRA : rgb ? SL_IMAGE_FORMAT_BGR : SL_IMAGE_FORMAT_PALETTE;

  CSLImage* composite = SLAppendNewImage(images);
  if (!composite || !composite->Create(format, h.width, h.height, true)) return false;

  // The colours of indices and grey levels.
  SLPaletteEntry table[256];
  if (h.mode == kIndexed) {
    u8 planes[768];
    if (!input.Read(planes, 768)) return false;
    for (u32 i = 0; i < 256; ++i) table[i] = {planes[i], planes[256 + i], planes[512 + i], 255};
  } else {
    for (u32 i = 0; i < 256; ++i) table[i] = {u8(i), u8(i), u8(i), 255};
  }
  if (format == SL_IMAGE_FORMAT_PALETTE && composite->SetPaletteEntries(0, 256, table) != 256) return false;
  if (!ReadResolution(input, composite)) return false;
  if (flags & SL_IMAGE_READ_HEADER_ONLY) return true;

  u8 b[4];
  if (!input.Read(b, 4) || !input.Skip(SLLoadBE32(b))) return false;
  if (!composite->EnsureBuffer()) return false;
  if (!input.Read(b, 2)) return false;
  const u16 compression = SLLoadBE16(b);
  if (compression > 1) return SLFail(SL_E_UNSUPPORTED_VARIANT, false);

  const int extras = int(h.channels) - (rgb ? 4 : 2);
  SLImageInfo info;
  composite->GetInfo(&info);
  for (int i = 0; i < extras && i < int(kMaxExtraImages); ++i) {
    CSLImage* alpha = SLAppendNewImage(images);
    if (!alpha || !alpha->Create(SL_IMAGE_FORMAT_ALPHA, h.width, h.height, false) ||
        !alpha->SetResolutionX(info.resolutionX) || !alpha->SetResolutionY(info.resolutionY))
      return false;
  }
  return DecodePlanes(input, h, compression, images, table);
}

}  // namespace

bool CSLImageReaderPSD::IsFormat(const u8* b, u32 count) {
  if (!b || count < 4) return SLFail(SL_E_INVALID_ARG, false);
  return SLSucceed(std::memcmp(b, "8BPS", 4) == 0);
}

bool CSLImageReaderPSD::Read(CSLImageArray* images, CSLBaseStorage* storage, u32 flags) {
  return SLRunImageRead(images, storage, flags, &ReadImage);
}

const char* CSLImageReaderPSD::GetExtensionA(u32 index) {
  return index == 0 ? SLSucceed("PSD") : SLFail(SL_E_INDEX, static_cast<const char*>(nullptr));
}

const SLWChar* CSLImageReaderPSD::GetExtensionW(u32 index) {
  return index == 0 ? SLSucceed(u"PSD") : SLFail(SL_E_INDEX, static_cast<const SLWChar*>(nullptr));
}
