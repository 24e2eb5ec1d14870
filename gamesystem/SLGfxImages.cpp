// Image handles of the graphics device: creation from pictures and storages, groups,
// source release, pixel reads and the 1-bit hit masks.
#include "foundation/SLByteOrder.h"
#include "foundation/SLMemory.h"
#include "gamesystem/SLBaseGfx.h"
#include "image/SLPixelConvert.h"

namespace {


// Words per mask row: one bit per pixel, most significant bit first, and a spare word.
u32 MaskWordsPerRow(u32 width) { return (width + 31) / 32 + 1; }

u32* AllocMask(u32 width, u32 height) {
  u64 bytes;
  if (!SLCheckedMul(u64(MaskWordsPerRow(width)) * 4, height, &bytes) || !SLFitsU32(bytes))
    return SLFail(SL_E_OUT_OF_MEMORY, static_cast<u32*>(nullptr));
  auto* mask = static_cast<u32*>(SLAllocZero(u32(bytes)));
  return mask ? mask : SLFail(SL_E_OUT_OF_MEMORY, static_cast<u32*>(nullptr));
}

// The mask bit of every pixel whose byte `row[x * step]` passes `hits`.
template <class Hits>
void SetMaskRow(u32* maskRow, const u8* row, u32 width, u32 step, Hits hits) {
  for (u32 x = 0; x < width; ++x)
    if (hits(row + u64(x) * step)) maskRow[x / 32] |= 0x80000000u >> (x % 32);
}

}  // namespace

bool CSL_GS_BaseGfx::IsValidImage(SL_GS_Image* image) {
  return FindImageRecord(image) ? SLSucceed(true) : false;
}

void CSL_GS_BaseGfx::FreeImageRecord(SL_GS_ImageRecord* record) {
  SLErrorKeeper keep;
  SLFree(record->hitMask);
  if (record->source) record->source->Release();
  record->tag = 0;
  SLFree(record);
}

SL_GS_Image* CSL_GS_BaseGfx::CreateImage(CSLImage* image, bool copy) {
  using Result = SL_GS_Image*;
  if (!image || !image->GetPixelAddress(0, 0)) return SLFail(SL_E_NULL_DATA, Result(nullptr));
  auto* record = static_cast<SL_GS_ImageRecord*>(SLAllocZero(u32(sizeof(SL_GS_ImageRecord))));
  if (!record) return SLFail(SL_E_OUT_OF_MEMORY, Result(nullptr));
  record->tag = SL_GS_IMAGE_TAG;
  if (copy) {
    auto* duplicate = new CSLImage();
    if (!duplicate || !image->CopyTo(duplicate)) {
      const u32 code = duplicate ? SLGetLastError() : SL_E_OUT_OF_MEMORY;
      if (duplicate) duplicate->Release();
      SLFree(record);
      return SLFail(code, Result(nullptr));
    }
    record->source = duplicate;
  } else {
    record->source = image;
    image->AddRef();
  }
  record->source->GetInfo(&record->info);
  const u32 masks[4] = {record->info.redMask, record->info.greenMask, record->info.blueMask, record->info.alphaMask};
  for (u32 i = 0; i < 4; ++i) SLMaskToShift(masks[i], &record->maskBits[i], &record->maskShift[i]);
  record->group = m_imageGroup;
  record->handle = static_cast<SL_GS_Image*>(const_cast<void*>(SLInternals::CSLGfxHandleTable::NewHandle()));

  auto discard = [&](u32 code) {
    record->source->Release();
    record->tag = 0;
    SLFree(record);
    return SLFail(code, Result(nullptr));
  };
  if (!CreateImageTextures(record)) return discard(SLGetLastError());
  if (!LinkImage(record)) {
    const u32 code = SLGetLastError();
    FreeImageTextures(record);
    return discard(code);
  }
  if (record->info.colorKeySet || record->maskBits[3] >= 1) {
    if (!BuildHitMask(record, record->info.colorKeySet == 0)) {
      const u32 code = SLGetLastError();
      DestroyImage(record->handle);
      return SLFail(code, Result(nullptr));
    }
  }
  return SLSucceed(record->handle);
}

// Rows of the source are converted to 32-bit RGBA (key) or to the alpha format; a
// block-format picture is read from its RGBA pixel copy, which no row converter takes.
bool CSL_GS_BaseGfx::BuildHitMask(SL_GS_ImageRecord* record, bool fromAlpha) {
  CSLImage* source = record->source;
  if (!source) return SLFail(SL_E_NOT_AVAILABLE, false);
  const u32 width = source->GetWidth(), height = source->GetHeight();
  const u32 format = source->GetPixelReadFormat();
  const u32 target = fromAlpha ? SL_IMAGE_FORMAT_ALPHA : SL_IMAGE_FORMAT_RGBA;
  if (!SLFitsU32(u64(width) * 4)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  TSLAutoPtr<u8> row(static_cast<u8*>(SLAlloc(width * (fromAlpha ? 1 : 4))));
  TSLAutoPtr<u32> mask(AllocMask(width, height));
  if (!row || !mask) return SLFail(SL_E_OUT_OF_MEMORY, false);
  const u32 key = record->info.colorKey & 0xFFFFFF;
  const u32 words = MaskWordsPerRow(width);
  for (u32 y = 0; y < height; ++y) {
    const u8* pixels = source->GetPixelAddress(0, y);
    if (!pixels) return SLFail(SL_E_IMAGE_NO_PIXELS, false);
    if (format == target) {
      SLMemCopy(row.Get(), pixels, width * (fromAlpha ? 1 : 4));
    } else if (!SLConvertPixelRow(target, row.Get(), format, pixels, width, source->GetPalette())) {
      return false;
    }
    u32* maskRow = mask.Get() + u64(y) * words;
    if (fromAlpha)
      SetMaskRow(maskRow, row.Get(), width, 1, [](const u8* p) { return *p >= 128; });
    else
      SetMaskRow(maskRow, row.Get(), width, 4, [key](const u8* p) { return (SLLoadLE32(p) & 0xFFFFFF) != key; });
  }
  SLFree(record->hitMask);
  record->hitMask = mask.Detach();
  return SLSucceed(true);
}

bool CSL_GS_BaseGfx::BuildHitMaskFromAlpha(SL_GS_Image* image) {
  SL_GS_ImageRecord* record = FindImageRecord(image);
  if (!record) return false;
  if (record->maskBits[3] == 0) return SLSucceed(true);
  return BuildHitMask(record, true);
}

bool CSL_GS_BaseGfx::SetHitMaskFromImage(SL_GS_Image* image, CSLImage* maskImage) {
  SL_GS_ImageRecord* record = FindImageRecord(image);
  if (!record) return false;
  const u32 width = record->info.width, height = record->info.height;
  if (!maskImage || !maskImage->GetPixels() ||
      (maskImage->GetFormat() != SL_IMAGE_FORMAT_PALETTE && maskImage->GetFormat() != SL_IMAGE_FORMAT_ALPHA) ||
      maskImage->GetWidth() != width || maskImage->GetHeight() != height)
    return SLFail(SL_E_NULL_DATA, false);
  u32* mask = AllocMask(width, height);
  if (!mask) return false;
  const u32 words = MaskWordsPerRow(width);
  for (u32 y = 0; y < height; ++y)
    SetMaskRow(mask + u64(y) * words, maskImage->GetPixelAddress(0, y), width, 1,
               [](const u8* p) { return *p >= 128; });
  SLFree(record->hitMask);
  record->hitMask = mask;
  return SLSucceed(true);
}

bool CSL_GS_BaseGfx::HitTest(SL_GS_Image* image, i32 x, i32 y) {
  SL_GS_ImageRecord* record = FindImageRecord(image);
  if (!record) return false;
  if (x < 0 || y < 0 || u32(x) >= record->info.width || u32(y) >= record->info.height) return SLSucceed(false);
  if (!record->hitMask) return SLSucceed(true);
  const u32 word = record->hitMask[u64(y) * MaskWordsPerRow(record->info.width) + u32(x) / 32];
  return SLSucceed((word & (0x80000000u >> (u32(x) % 32))) != 0);
}

SL_GS_Image* CSL_GS_BaseGfx::LoadImageFromStorage(CSLBaseStorage* storage, const SLClassRecord* readerClass) {
  using Result = SL_GS_Image*;
  if (!storage) return SLFail(SL_E_NULL_DATA, Result(nullptr));
  if (!readerClass) {
    u64 start = 0;
    const bool positioned = storage->GetPosition(&start);
    readerClass = CSLBaseImageReader::FindReaderClassByContent(storage);
    if (positioned) {
      SLErrorKeeper keep;
      storage->Seek(i64(start), SL_SEEK_BEGIN);
    }
    if (!readerClass) return Result(nullptr);
  } else if (!SLClassRecord::IsDerivedFrom(readerClass, CSLBaseImageReader::GetClassRecord())) {
    return SLFail(SL_E_INVALID_ARG, Result(nullptr));
  }
  TSLObjPtr<CSLImageArray> images;
  images.Attach(new CSLImageArray());
  if (!images) return SLFail(SL_E_OUT_OF_MEMORY, Result(nullptr));
  {
    CSLObject* created = SLCallGuarded(readerClass);
    if (!created) return SLFail(SL_E_OUT_OF_MEMORY, Result(nullptr));
    auto* reader = static_cast<CSLBaseImageReader*>(created);
    const bool read = reader->Read(images.Get(), storage, SL_IMAGE_READ_FIRST_ONLY | SL_IMAGE_READ_FOR_DEVICE);
    SLErrorKeeper keep;
    reader->Release();
    if (!read) return Result(nullptr);
  }
  if (images->GetCount() == 0) return SLFail(SL_E_MALFORMED, Result(nullptr));
  TSLObjPtr<CSLImage> first((*images.Get())[0]);
  images->RemoveRange(0, 1);
  SL_GS_Image* handle = CreateImage(first.Get(), false);
  if (!handle) return Result(nullptr);
  if (images->GetCount() > 0) {
    CSLImage* mask = (*images.Get())[0];
    if (mask->GetWidth() == first->GetWidth() && mask->GetHeight() == first->GetHeight() &&
        !SetHitMaskFromImage(handle, mask)) {
      const u32 code = SLGetLastError();
      DestroyImage(handle);
      return SLFail(code, Result(nullptr));
    }
  }
  return SLSucceed(handle);
}

SL_GS_Image* CSL_GS_BaseGfx::LoadImage(CSLBaseStorage* storage, const char* name, const SLClassRecord* readerClass) {
  using Result = SL_GS_Image*;
  if (!storage) return SLFail(SL_E_NULL_DATA, Result(nullptr));
  if (!storage->OpenA(name, 0)) return Result(nullptr);
  SL_GS_Image* handle = LoadImageFromStorage(storage, readerClass);
  SLErrorKeeper keep;
  storage->Close();
  return handle;
}

bool CSL_GS_BaseGfx::DestroyImage(SL_GS_Image* image) {
  if (!FindImageRecord(image)) return false;
  CSL_GS_GfxDestroyingImageEvent event(image);
  Send(&event);
  // A listener, or another thread, may have destroyed it meanwhile.
  SL_GS_ImageRecord* record = UnlinkImage(image);
  if (!record) return SLFail(SL_E_INDEX, false);
  EndImageAccessOf(record);
  FreeImageTextures(record);
  FreeImageRecord(record);
  return SLSucceed(true);
}

bool CSL_GS_BaseGfx::DestroyImageAndClear(SL_GS_Image** image) {
  if (!image) return SLFail(SL_E_NULL_DATA, false);
  const bool destroyed = DestroyImage(*image);
  *image = nullptr;
  return destroyed;
}

bool CSL_GS_BaseGfx::SetImageGroup(u32 group) {
  if (group == 0) return SLFail(SL_E_INVALID_ARG, false);
  m_imageGroup = group;
  return SLSucceed(true);
}

bool CSL_GS_BaseGfx::CollectImages(u32 group, bool all, TSLArray<SL_GS_Image*>* out) {
  SLCriticalSectionLock lock(&m_lock);
  for (SL_GS_GfxRecordLink* link : SLListWalk(&m_images)) {
    const SL_GS_ImageRecord* record = SLInternals::RecordOfLink<SL_GS_ImageRecord>(link);
    if ((all || record->group == group) && !out->Add(record->handle)) return false;
  }
  return SLSucceed(true);
}

// The handles are collected under the device lock and acted on after leaving it, so the
// lock is never held while a destroying event is delivered under the event lock.
bool CSL_GS_BaseGfx::DestroyImagesOfGroup(u32 group) {
  TSLArray<SL_GS_Image*> images;
  if (!CollectImages(group, false, &images)) return false;
  for (SL_GS_Image* image : images) DestroyImage(image);
  return SLSucceed(true);
}

bool CSL_GS_BaseGfx::ReleaseImageSourcesOfGroup(u32 group) {
  TSLArray<SL_GS_Image*> images;
  if (!CollectImages(group, false, &images)) return false;
  for (SL_GS_Image* image : images) ReleaseImageSource(image);
  return SLSucceed(true);
}

bool CSL_GS_BaseGfx::EndImageAccessOf(SL_GS_ImageRecord* record) {
  if (!record->accessed) return SLFail(SL_E_NOT_HELD, false);
  record->accessed = 0;
  return SetImageDirty(record);
}

bool CSL_GS_BaseGfx::EndImageAccess(SL_GS_Image* image) {
  SL_GS_ImageRecord* record = FindImageRecord(image);
  return record ? EndImageAccessOf(record) : false;
}

bool CSL_GS_BaseGfx::ReleaseSourceOf(SL_GS_ImageRecord* record) {
  EndImageAccessOf(record);
  CSLImage* source = record->source;
  if (!source) return SLFail(SL_E_NOT_AVAILABLE, false);
  record->source = nullptr;
  source->Release();
  return SLSucceed(true);
}

bool CSL_GS_BaseGfx::ReleaseImageSource(SL_GS_Image* image) {
  SL_GS_ImageRecord* record = FindImageRecord(image);
  return record ? ReleaseSourceOf(record) : false;
}

bool CSL_GS_BaseGfx::GetImageInfo(SL_GS_Image* image, SL_GS_ImageInfo* out) {
  SL_GS_ImageRecord* record = FindImageRecord(image);
  if (!record) return false;
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  const SLImageInfo& info = record->info;
  *out = SL_GS_ImageInfo{};
  out->width = info.width;
  out->height = info.height;
  out->bitsPerPixel = info.bitsPerPixel;
  out->colorKey = info.colorKey;
  if (info.pointSet) {
    out->pointX = info.pointX;
    out->pointY = info.pointY;
  }
  out->redMask = info.redMask;
  out->greenMask = info.greenMask;
  out->blueMask = info.blueMask;
  out->alphaMask = info.alphaMask;
  u32* bits[4] = {&out->redBits, &out->greenBits, &out->blueBits, &out->alphaBits};
  u32* shifts[4] = {&out->redShift, &out->greenShift, &out->blueShift, &out->alphaShift};
  for (u32 i = 0; i < 4; ++i) {
    *bits[i] = record->maskBits[i];
    *shifts[i] = record->maskShift[i];
  }
  return SLSucceed(true);
}

u32 CSL_GS_BaseGfx::GetImagePixel(SL_GS_Image* image, u32 x, u32 y) {
  constexpr u32 kNoPixel = 0xFF000000u;
  SL_GS_ImageRecord* record = FindImageRecord(image);
  if (!record) return kNoPixel;
  if (x >= record->info.width || y >= record->info.height) return SLFail(SL_E_INVALID_ARG, kNoPixel);
  if (!record->source) return SLFail(SL_E_NOT_AVAILABLE, kNoPixel);
  return SLSucceed(record->source->GetPixel(x, y));
}
