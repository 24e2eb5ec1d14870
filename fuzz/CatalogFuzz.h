// What the catalogue fuzz targets share: a memory graphics device behind the adventure
// model, a stage picture to put into packs, and the check that a load left either one
// whole record or nothing at all behind.
#pragma once

#include <unistd.h>

#include <string>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/SceneCatalog.h"
#include "fuzz/FuzzProgram.h"
#include "image/SLImageArray.h"
#include "image/writers/SLImageWriterTGA.h"
#include "media/MediaClasses.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tools/packwriter/PackWriter.h"

inline CMemoryGfxDevice& SLFuzzCatalogDevice() {
  static CMemoryGfxDevice* device = [] {
    SLRegisterMediaClasses();
    auto* gfx = new CMemoryGfxDevice();
    if (!gfx->Init(nullptr, nullptr, nullptr)) std::abort();
    AdventureDevices_Set(gfx, nullptr, nullptr);
    return gfx;
  }();
  return *device;
}

// A run-length coded stage picture (a few kilobytes): rows of rising alpha.
inline const std::vector<uint8_t>& SLFuzzStagePicture() {
  static const std::vector<uint8_t> bytes = [] {
    CSLImageArray images;
    CSLImage* image = images.CreateElement(nullptr);
    images.Add(image);
    image->Release();
    if (!image->Create(5, kStageWidth, kStageHeight, false)) std::abort();
    for (u32 y = 0; y < kStageHeight; ++y)
      for (u32 x = 0; x < kStageWidth; ++x) {
        u8* p = image->GetPixelAddress(x, y);
        p[0] = u8(x / 83), p[1] = u8(y / 93), p[2] = 0x40, p[3] = u8(y / 2);
      }
    CSLMemoryStorage out;
    CSLImageWriterTGA writer;
    writer.m_rle = 1;
    if (!writer.Write(&images, &out)) std::abort();
    u64 size = 0;
    out.GetSize(&size);
    std::vector<uint8_t> data(size);
    out.Seek(0, 0);
    out.Read(data.data(), size);
    return data;
  }();
  return bytes;
}

inline const std::string& SLFuzzPackPath() {
  static const std::string path = "/tmp/slfuzz_item_" + std::to_string(getpid()) + ".DAT";
  return path;
}

// Loads the pack file and checks what it left: a failure leaves no record and no picture
// and a code; a success one record, whose emptying frees its pictures.
inline void SLFuzzLoadAndCheck() {
  CMemoryGfxDevice& gfx = SLFuzzCatalogDevice();
  SceneRecord* record = SceneCatalog_LoadItem(SLFuzzPackPath().c_str(), nullptr);
  const u32 code = SLGetLastError();
  SLFuzzCheck(record ? code == 0 && SceneCatalog_GetAt(0) == record && !SceneCatalog_GetAt(1)
                     : code != 0 && !SceneCatalog_GetAt(0) && gfx.m_liveImageTextures.empty());
  if (record) {
    SLFuzzCheck(SceneRecord_MaskAlphaAt(record, 663, 371) >= 0 && record->depthMin >= 0 && record->depthMax <= 255);
    SceneCatalog_Free();
    SLFuzzCheck(gfx.m_liveImageTextures.empty());
  }
}
