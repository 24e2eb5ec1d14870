// What the catalogue fuzz targets share: a memory graphics device (and a sound device)
// behind the adventure model, a stage picture, frames and a sound to put into packs, and
// the checks that a load left either one whole record or nothing at all behind.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "foundation/SLByteOrder.h"
#include "fuzz/FuzzProgram.h"
#include "fuzz/SoundFuzzDevice.h"
#include "image/SLImageArray.h"
#include "image/writers/SLImageWriterTGA.h"
#include "media/MediaClasses.h"
#include "storage/SLMemoryStorage.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tools/mximgwrite/MximgWriter.h"
#include "tools/slpack/PackWriter.h"

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

// A small zlib MXIMG frame: a disc of `shade` on a transparent ground, so its hit mask
// has holes.
inline std::vector<uint8_t> SLFuzzFramePicture(u32 width, u32 height, u8 shade) {
  CSLImageArray images;
  CSLImage* image = images.CreateElement(nullptr);
  images.Add(image);
  image->Release();
  if (!image->Create(5, width, height, false)) std::abort();
  const i32 cx = i32(width / 2), cy = i32(height / 2), r2 = cx * cx;
  for (u32 y = 0; y < height; ++y)
    for (u32 x = 0; x < width; ++x) {
      u8* p = image->GetPixelAddress(x, y);
      const i32 dx = i32(x) - cx, dy = i32(y) - cy;
      p[0] = shade, p[1] = u8(x * 9), p[2] = u8(y * 7), p[3] = dx * dx + dy * dy <= r2 ? 0xFF : 0x00;
    }
  mximg::WriteOptions options;
  options.encoding = mximg::kZlib;
  std::string bytes, error;
  if (!mximg::Write(*image, options, &bytes, &error)) std::abort();
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// A short 16-bit mono PCM WAV: a rising ramp of 200 samples at 8000 Hz.
inline std::vector<uint8_t> SLFuzzWaveSound() {
  constexpr u32 kSamples = 200, kData = kSamples * 2;
  std::vector<uint8_t> out(44 + kData);
  u8* p = out.data();
  std::memcpy(p, "RIFF", 4), SLStoreLE32(p + 4, 36 + kData), std::memcpy(p + 8, "WAVEfmt ", 8);
  SLStoreLE32(p + 16, 16), SLStoreLE16(p + 20, 1), SLStoreLE16(p + 22, 1), SLStoreLE32(p + 24, 8000);
  SLStoreLE32(p + 28, 16000), SLStoreLE16(p + 32, 2), SLStoreLE16(p + 34, 16);
  std::memcpy(p + 36, "data", 4), SLStoreLE32(p + 40, kData);
  for (u32 i = 0; i < kSamples; ++i) SLStoreLE16(p + 44 + 2 * i, u16(i * 300));
  return out;
}

// Puts the sound device beside the graphics one, for descriptions that name "Audio".
inline void SLFuzzCatalogDevicesWithSound() {
  static bool ready = [] {
    CSL_GS_Sfx_DirectX& sfx = SLFuzzSoundDevice();
    AdventureDevices_Set(&SLFuzzCatalogDevice(), &sfx, nullptr);
    return true;
  }();
  (void)ready;
}

using SLFuzzPackFiles = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

// Writes a pack of `files` plus "info.txt" to the fuzz pack path.
inline void SLFuzzWritePack(const SLFuzzPackFiles& files, const std::vector<uint8_t>& info) {
  slpack::PackWriter writer(2, 0);
  writer.AddFile(std::string("info.txt"), info);
  for (const auto& [name, bytes] : files) writer.AddFile(name, bytes);
  std::vector<uint8_t> pack;
  std::string error;
  if (!writer.Build(&pack, &error) || !slpack::WriteFile(SLFuzzPackPath(), pack, &error)) std::abort();
}

// The object and character loads over the fuzz pack: one whole record or nothing (no
// picture left on the device) and an error code; emptying the list frees the pictures.
inline void SLFuzzLoadObjectAndCheck() {
  CMemoryGfxDevice& gfx = SLFuzzCatalogDevice();
  ObjectRecord* record = ObjectCatalog_LoadItem(SLFuzzPackPath().c_str(), nullptr);
  const u32 code = SLGetLastError();
  SLFuzzCheck(record ? code == 0 && ObjectCatalog_GetAt(0) == record && !ObjectCatalog_GetAt(1)
                     : (code & 0x80000000u) && !ObjectCatalog_GetAt(0) && gfx.m_liveImageTextures.empty());
  if (record) {
    SLFuzzCheck(record->states.GetCount() > 0 && ObjectRecord_FindState(record, record->initialState.CStr()) >= 0);
    for (ObjectState* state : record->states)
      for (u32 frame : state->sequence) SLFuzzCheck(frame < state->frames.GetCount());
    ObjectCatalog_Free();
    SLFuzzCheck(gfx.m_liveImageTextures.empty());
  }
}

inline void SLFuzzLoadCharacterAndCheck() {
  CMemoryGfxDevice& gfx = SLFuzzCatalogDevice();
  std::atomic<uint32_t> progress{0};
  CharacterRecord* record = CharacterCatalog_LoadItem(SLFuzzPackPath().c_str(), nullptr, &progress, 10, 90);
  const u32 code = SLGetLastError();
  SLFuzzCheck(progress.load() <= 90);
  SLFuzzCheck(record ? code == 0 && CharacterCatalog_GetAt(0) == record && !CharacterCatalog_GetAt(1)
                     : (code & 0x80000000u) && !CharacterCatalog_GetAt(0) && gfx.m_liveImageTextures.empty());
  if (record) {
    for (CharacterAction* action : record->actions)
      for (u32 d = 0; d < kDirectionCount; ++d) {
        const u32 picked = CharacterAction_PickDirection(action, d);
        SLFuzzCheck(picked < kDirectionCount && action->frames[picked].GetCount() > 0);
        for (u32 frame : action->sequence) SLFuzzCheck(frame < action->frames[picked].GetCount());
        CharacterAction_FrameAt(action, d, 12345, true);
      }
    CharacterCatalog_Free();
    SLFuzzCheck(gfx.m_liveImageTextures.empty());
  }
}

// One input as "info.txt" beside `files`, loaded and checked by `loadAndCheck`.
inline int SLFuzzDescriptionInPack(const SLFuzzPackFiles& files, const uint8_t* data, size_t size,
                                   void (*loadAndCheck)()) {
  if (size > 16384) return 0;
  SLFuzzCatalogDevicesWithSound();
  SLFuzzWritePack(files, std::vector<uint8_t>(data, data + size));
  loadAndCheck();
  return 0;
}
