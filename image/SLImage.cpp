#include "image/SLImage.h"

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "image/SLPixelConvert.h"
#include "image/SLPixelFormatTable.h"

SL_IMPLEMENT_CLASS_CREATABLE(CSLImage, CSLObject)

namespace {

constexpr u32 kDefaultResolution = 96;
constexpr u32 kMaxResolution = 65535;
constexpr u32 kMagenta = 0xFF00FF;
constexpr u32 kOpaqueBlack = 0xFF000000;

SLImageInfo EmptyInfo() {
  SLImageInfo info = {};
  info.format = SL_IMAGE_FORMAT_NONE;
  return info;
}

}  // namespace

CSLImage::CSLImage() : m_info(EmptyInfo()) {}

CSLImage::~CSLImage() {
  SLErrorKeeper keep;
  Clear();
}

void CSLImage::Clear() {
  SLErrorKeeper keep;
  SLFree(m_info.palette);
  SLFree(m_info.blockData);
  SLFree(m_info.pixels);
  m_info = EmptyInfo();
  // Only the per-frame properties readers attach go; others belong to the caller.
  for (u32 index = 0; index < GetPropertyCount();) {
    CSLProperty* property = GetProperty(index);
    if (property && SLStrNICmpA(property->GetName(), "Image", 5) == 0)
      RemoveProperty(index);
    else
      ++index;
  }
}

bool CSLImage::Create(u32 format, u32 width, u32 height, bool noBuffer) {
  if (!SLInternals::SLHasLayout(format)) return SLFail(SL_E_IMAGE_FORMAT_ID, false);
  const bool block = format >= SL_IMAGE_FORMAT_FIRST_BLOCK;
  if (width == 0 || height == 0 || (block && (width % 4 != 0 || height % 4 != 0)))
    return SLFail(SL_E_IMAGE_SIZE, false);
  SLImageSizes sizes;
  if (!SLComputeImageSizes(format, width, height, &sizes)) return false;

  Clear();
  SLInternals::SLDescribeFormat(&m_info, format, width, height, sizes.stride);
  m_info.resolutionY = kDefaultResolution;  // X stays 0, which every reader takes as 96
  if (!noBuffer && !AllocateBuffers(true, block)) return false;
  return SLSucceed(true);
}

bool CSLImage::AllocateBuffers(bool pixels, bool blockData) {
  SLImageSizes sizes;
  if (!SLComputeImageSizes(m_info.format, m_info.width, m_info.height, &sizes)) return false;
  if (pixels && !m_info.pixels) {
    m_info.pixels = static_cast<u8*>(SLAlloc(sizes.pixelBufferSize));
    if (!m_info.pixels) {
      Clear();
      return SLFail(SL_E_OUT_OF_MEMORY, false);
    }
    m_info.pixelBufferSize = sizes.pixelBufferSize;
  }
  if (blockData && !m_info.blockData) {
    m_info.blockData = static_cast<u8*>(SLAllocZeroed(sizes.blockDataSize));
    if (!m_info.blockData) {
      Clear();
      return SLFail(SL_E_OUT_OF_MEMORY, false);
    }
    m_info.blockDataSize = sizes.blockDataSize;
  }
  return SLSucceed(true);
}

bool CSLImage::GetInfo(SLImageInfo* out) const {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  *out = m_info;
  if (out->resolutionX == 0) out->resolutionX = kDefaultResolution;
  if (out->resolutionY == 0) out->resolutionY = kDefaultResolution;
  return SLSucceed(true);
}

bool CSLImage::SetResolutionX(u32 dpi) {
  if (dpi > kMaxResolution) return SLFail(SL_E_INVALID_ARG, false);
  m_info.resolutionX = dpi ? dpi : kDefaultResolution;
  return SLSucceed(true);
}

bool CSLImage::SetResolutionY(u32 dpi) {
  if (dpi > kMaxResolution) return SLFail(SL_E_INVALID_ARG, false);
  m_info.resolutionY = dpi ? dpi : kDefaultResolution;
  return SLSucceed(true);
}

bool CSLImage::SetPoint(u32 x, u32 y) {
  m_info.pointX = x;
  m_info.pointY = y;
  m_info.pointSet = 1;
  return SLSucceed(true);
}

bool CSLImage::SetTransparentColor(u32 color) {
  m_info.colorKey = color & 0xFFFFFF;
  m_info.colorKeySet = 1;
  return SLSucceed(true);
}

bool CSLImage::GetTransparentColor(u32* out) const {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!m_info.colorKeySet) {
    *out = kMagenta;
    return SLFail(SL_E_IMAGE_NO_COLOR_KEY, false);
  }
  *out = m_info.colorKey;
  return SLSucceed(true);
}

u32 CSLImage::GetPaletteEntries(u32 first, u32 count, SLPaletteEntry* out) const {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, 0u);
  const SLImagePalette* palette = m_info.palette;
  if (!palette || first >= palette->count) return SLSucceed(0u);
  u32 copied = palette->count - first < count ? palette->count - first : count;
  SLMemCopy(out, &palette->entries[first], copied * u32(sizeof(SLPaletteEntry)));
  return SLSucceed(copied);
}

u32 CSLImage::SetPaletteEntries(u32 first, u32 count, const SLPaletteEntry* entries) {
  if (!entries) return SLFail(SL_E_NULL_DATA, 0u);
  if (first > 255) return SLFail(SL_E_INVALID_ARG, 0u);
  if (count > 256 - first) count = 256 - first;
  if (!m_info.palette) {
    m_info.palette = SLAllocPalette(0);
    if (!m_info.palette) {
      Clear();
      return SLFail(SL_E_OUT_OF_MEMORY, 0u);
    }
  }
  SLMemMove(&m_info.palette->entries[first], entries, count * u32(sizeof(SLPaletteEntry)));
  if (first + count > m_info.palette->count) m_info.palette->count = first + count;
  return SLSucceed(count);
}

u8* CSLImage::GetPixelAddress(u32 x, u32 y) const {
  if (x >= m_info.width || y >= m_info.height) return SLFail(SL_E_INVALID_ARG, static_cast<u8*>(nullptr));
  if (!m_info.pixels) return SLFail(SL_E_IMAGE_NO_PIXELS, static_cast<u8*>(nullptr));
  return SLSucceed(m_info.pixels + u64(x) * m_info.bytesPerPixel + u64(y) * m_info.stride);
}

u32 CSLImage::GetPixel(u32 x, u32 y) const {
  const u8* address = GetPixelAddress(x, y);
  if (!address) return kOpaqueBlack;
  return SLSucceed(SLInternals::SLReadPixelColor(m_info.format, address, m_info.palette));
}

bool CSLImage::EnsureBuffer() {
  if (!SLInternals::SLHasLayout(m_info.format)) return SLFail(SL_E_BAD_FORMAT, false);
  if (m_info.width == 0 || m_info.height == 0) return SLFail(SL_E_IMAGE_EMPTY, false);
  return AllocateBuffers(true, false);
}

bool CSLImage::EnsureBlockData() {
  if (!SLInternals::SLHasLayout(m_info.format)) return SLFail(SL_E_BAD_FORMAT, false);
  if (m_info.width == 0 || m_info.height == 0) return SLFail(SL_E_IMAGE_EMPTY, false);
  if (!IsBlockFormat()) return SLFail(SL_E_IMAGE_NOT_BLOCK_FORMAT, false);
  return AllocateBuffers(false, true);
}

u8* CSLImage::GetBlockData() {
  if (!m_info.blockData) return SLFail(SL_E_IMAGE_NO_PIXELS, static_cast<u8*>(nullptr));
  if (m_info.pixels && m_info.blockDataStale) {
    u32 code = SLEncodeImageBlocks(&m_info);
    if (code != SL_OK) return SLFail(code, static_cast<u8*>(nullptr));
    m_info.blockDataStale = 0;
  }
  return SLSucceed(m_info.blockData);
}

bool CSLImage::SetBlockDataStale(bool stale) {
  if (IsBlockFormat()) m_info.blockDataStale = stale ? 1 : 0;
  return SLSucceed(true);
}

bool CSLImage::CopyTo(CSLObject* target) const {
  if (!target || !target->IsKindOf(GetClassRecord())) return SLFail(SL_E_NOT_SUPPORTED, false);
  if (target == this) return SLSucceed(true);
  if (m_info.width == 0 || m_info.height == 0) return SLFail(SL_E_IMAGE_SIZE, false);
  auto* copy = static_cast<CSLImage*>(target);
  copy->Clear();
  auto emptyOnFailure = SLMakeScopeGuard([copy] { copy->Clear(); });
  if (!copy->Create(m_info.format, m_info.width, m_info.height, true)) return false;
  if (m_info.palette) {
    u32 count = m_info.palette->count < 256 ? m_info.palette->count : 256;
    copy->SetPaletteEntries(0, count, m_info.palette->entries);
    if (SLGetLastError() != SL_OK) return false;
  }
  if (m_info.pointSet) copy->SetPoint(m_info.pointX, m_info.pointY);
  if (m_info.colorKeySet) copy->SetTransparentColor(m_info.colorKey);
  if (!copy->SetResolutionX(m_info.resolutionX) || !copy->SetResolutionY(m_info.resolutionY)) return false;
  if (m_info.pixels) {
    if (!copy->EnsureBuffer()) return false;
    SLMemCopy(copy->m_info.pixels, m_info.pixels, m_info.pixelBufferSize);
  }
  if (m_info.blockData) {
    if (!copy->EnsureBlockData()) return false;
    copy->m_info.blockDataStale = 0;
    SLMemCopy(copy->m_info.blockData, m_info.blockData, m_info.blockDataSize);
  }
  copy->m_info.blockDataStale = m_info.blockDataStale;
  emptyOnFailure.Dismiss();
  return SLSucceed(true);
}
