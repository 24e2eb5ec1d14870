// The graphics device base: construction, the handle tables, the clip rectangle,
// screen capture and screenshots. Images are in SLGfxImages.cpp, fonts in SLGfxFonts.cpp.
#include "gamesystem/SLBaseGfx.h"

#include <atomic>

#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "foundation/SLStr.h"
#include "image/writers/SLImageWriterBMP.h"
#include "storage/SLFileFinder.h"
#include "storage/SLFileStorage.h"
#include "storage/SLPath.h"

SL_IMPLEMENT_CLASS(CSL_GS_BaseGfx, CSLObject)
SL_IMPLEMENT_CLASS(CSL_GS_GfxDestroyingImageEvent, CSLBaseEvent)
SL_IMPLEMENT_CLASS(CSL_GS_GfxDestroyingFontEvent, CSLBaseEvent)

namespace SLInternals {

namespace {
int CompareHandles(const void* a, const void* b, void*) {
  const auto x = reinterpret_cast<std::uintptr_t>(static_cast<const CSLGfxHandleTable::Entry*>(a)->handle);
  const auto y = reinterpret_cast<std::uintptr_t>(static_cast<const CSLGfxHandleTable::Entry*>(b)->handle);
  return x < y ? -1 : x > y ? 1 : 0;
}
}  // namespace

const void* CSLGfxHandleTable::NewHandle() {
  // Steps of 16 keep the keys looking like aligned pointers, and far from small integers.
  static std::atomic<std::uintptr_t> s_next{0x5100000};
  return reinterpret_cast<const void*>(s_next.fetch_add(16, std::memory_order_relaxed) + 16);
}

// Two threads creating images take their handles before the device lock and may link
// them in the other order, so a handle is placed by value (almost always at the end).
bool CSLGfxHandleTable::Add(const void* handle, void* record) {
  u32 at = m_entries.GetCount();
  while (at > 0 && reinterpret_cast<std::uintptr_t>(m_entries.GetData()[at - 1].handle) >
                       reinterpret_cast<std::uintptr_t>(handle))
    --at;
  return m_entries.InsertAt(Entry{handle, record}, at);
}

void* CSLGfxHandleTable::Find(const void* handle) const {
  if (!handle || m_entries.GetCount() == 0) return nullptr;
  const Entry key{handle, nullptr};
  const auto* found = static_cast<const Entry*>(
      SLBSearch(m_entries.GetData(), &key, m_entries.GetCount(), u32(sizeof(Entry)), &CompareHandles, nullptr));
  return found ? found->record : nullptr;
}

bool CSLGfxHandleTable::Remove(const void* handle) {
  const Entry key{handle, nullptr};
  const auto* found = static_cast<const Entry*>(
      SLBSearch(m_entries.GetData(), &key, m_entries.GetCount(), u32(sizeof(Entry)), &CompareHandles, nullptr));
  if (!found) return false;
  return m_entries.RemoveAt(u32(found - m_entries.GetData()));
}

}  // namespace SLInternals

namespace {

// The image and font lists share their handling: a doubly linked list, newest first,
// and the table of live handles, both changed under the device lock.
using SLInternals::RecordOfLink;

template <class Record, class Handle>
Record* FindLive(CSLCriticalSection* lock, const SLInternals::CSLGfxHandleTable& table, Handle* handle, u32 tag) {
  SLCriticalSectionLock hold(lock);
  auto* record = static_cast<Record*>(table.Find(handle));
  if (!record || record->tag != tag) return SLFail(SL_E_INDEX, static_cast<Record*>(nullptr));
  return record;
}

template <class Record>
bool LinkLive(CSLCriticalSection* lock, SLInternals::CSLGfxHandleTable& table, SL_GS_GfxRecordLink* head,
              Record* record) {
  SLCriticalSectionLock hold(lock);
  if (!table.Add(record->handle, record)) return false;
  head->Prepend(&record->link);
  return true;
}

template <class Record, class Handle>
Record* UnlinkLive(CSLCriticalSection* lock, SLInternals::CSLGfxHandleTable& table, Handle* handle) {
  SLCriticalSectionLock hold(lock);
  auto* record = static_cast<Record*>(table.Find(handle));
  if (!record || !table.Remove(handle)) return nullptr;
  record->link.Unlink();
  return record;
}

}  // namespace

SL_GS_ImageRecord* CSL_GS_BaseGfx::FindImageRecord(SL_GS_Image* image) {
  return FindLive<SL_GS_ImageRecord>(&m_lock, m_imageTable, image, SL_GS_IMAGE_TAG);
}

SL_GS_FontRecord* CSL_GS_BaseGfx::FindFontRecord(SL_GS_Font* font) {
  return FindLive<SL_GS_FontRecord>(&m_lock, m_fontTable, font, SL_GS_FONT_TAG);
}

bool CSL_GS_BaseGfx::LinkImage(SL_GS_ImageRecord* record) { return LinkLive(&m_lock, m_imageTable, &m_images, record); }

bool CSL_GS_BaseGfx::LinkFont(SL_GS_FontRecord* record) { return LinkLive(&m_lock, m_fontTable, &m_fonts, record); }

SL_GS_ImageRecord* CSL_GS_BaseGfx::UnlinkImage(SL_GS_Image* image) {
  return UnlinkLive<SL_GS_ImageRecord>(&m_lock, m_imageTable, image);
}

SL_GS_FontRecord* CSL_GS_BaseGfx::UnlinkFont(SL_GS_Font* font) {
  return UnlinkLive<SL_GS_FontRecord>(&m_lock, m_fontTable, font);
}

CSL_GS_BaseGfx::CSL_GS_BaseGfx()
    : m_images{{&m_images, &m_images}},
      m_fonts{{&m_fonts, &m_fonts}},
      m_imageGroup(1),
      m_fontGroup(1),
      m_clipX(0),
      m_clipY(0),
      m_clipWidth(0),
      m_clipHeight(0),
      m_screenshotKey(0) {}

CSL_GS_BaseGfx::~CSL_GS_BaseGfx() {
  SLErrorKeeper keep;
  // A font's white image is one of the images and goes with them.
  for (SL_GS_GfxRecordLink* link : SLListWalk(&m_fonts)) FreeFontRecord(RecordOfLink<SL_GS_FontRecord>(link));
  for (SL_GS_GfxRecordLink* link : SLListWalk(&m_images)) FreeImageRecord(RecordOfLink<SL_GS_ImageRecord>(link));
  m_fonts.InitEmpty();
  m_images.InitEmpty();
  m_imageTable.Free();
  m_fontTable.Free();
}

u32 CSL_GS_BaseGfx::ReservedGfxSlot1(u32*, u32, u32) { return SLFail(SL_E_NOT_SUPPORTED, 0u); }

u32 CSL_GS_BaseGfx::ReservedGfxSlot2() { return 0; }

bool CSL_GS_BaseGfx::ApplyClipRect(u32, u32, u32, u32) { return SLFail(SL_E_NOT_SUPPORTED, false); }

void CSL_GS_BaseGfx::DestroyAllHandles() {
  SLErrorKeeper keep;
  // Fonts first: each takes its white image with it.
  for (;;) {
    SL_GS_Font* font = nullptr;
    {
      SLCriticalSectionLock lock(&m_lock);
      if (!m_fonts.IsEmpty()) font = RecordOfLink<SL_GS_FontRecord>(m_fonts.next)->handle;
    }
    if (!font) break;
    // Fails only when a listener destroyed it first; the list is shorter either way.
    DestroyFont(font);
  }
  TSLArray<SL_GS_Image*> images;
  if (CollectImages(0, true, &images))
    for (SL_GS_Image* image : images) DestroyImage(image);
}

bool CSL_GS_BaseGfx::SetClipRect(u32 x, u32 y, u32 width, u32 height) {
  const u32 targetWidth = GetWidth(), targetHeight = GetHeight();
  if (targetWidth == 0 || targetHeight == 0) return SLFail(SL_E_NOT_INITIALISED, false);
  if (x > targetWidth) x = targetWidth;
  if (y > targetHeight) y = targetHeight;
  if (width > targetWidth - x) width = targetWidth - x;
  if (height > targetHeight - y) height = targetHeight - y;
  if (!ApplyClipRect(x, y, width, height)) return false;
  m_clipX = x;
  m_clipY = y;
  m_clipWidth = width;
  m_clipHeight = height;
  return SLSucceed(true);
}

bool CSL_GS_BaseGfx::GetClipRect(u32* x, u32* y, u32* width, u32* height) {
  const bool ready = GetBitsPerPixel() != 0;
  if (x) *x = ready ? m_clipX : 0;
  if (y) *y = ready ? m_clipY : 0;
  if (width) *width = ready ? m_clipWidth : 0;
  if (height) *height = ready ? m_clipHeight : 0;
  return ready ? SLSucceed(true) : SLFail(SL_E_NOT_INITIALISED, false);
}

bool CSL_GS_BaseGfx::CaptureScreen(CSLImage* image) {
  if (!image) return SLFail(SL_E_NULL_DATA, false);
  const SL_GS_SurfaceAccess* grab = GrabFrontBuffer(0);
  if (!grab) return false;
  auto release = SLMakeScopeGuard([this] { ReleaseFrontBufferGrab(); });
  if (!image->Create(grab->format, grab->width, grab->height, false)) return false;
  const u32 rowBytes = image->GetBytesPerPixel() * grab->width;
  if (!grab->pixels || grab->pitch < rowBytes) {
    image->Clear();
    return SLFail(SL_E_INVALID_ARG, false);
  }
  for (u32 y = 0; y < grab->height; ++y)
    SLMemCopy(image->GetPixelAddress(0, y), grab->pixels + u64(y) * grab->pitch, rowBytes);
  release.Dismiss();
  return ReleaseFrontBufferGrab() ? SLSucceed(true) : false;
}

bool CSL_GS_BaseGfx::SaveScreenshotToFile(const char* path) {
  if (!path) return SLFail(SL_E_NULL_DATA, false);
  TSLObjPtr<CSLImage> image;
  image.Attach(new CSLImage());
  TSLObjPtr<CSLImageArray> array;
  array.Attach(new CSLImageArray());
  TSLObjPtr<CSLFileStorage> file;
  file.Attach(new CSLFileStorage());
  TSLObjPtr<CSLImageWriterBMP> writer;
  writer.Attach(new CSLImageWriterBMP());
  if (!image || !array || !file || !writer) return SLFail(SL_E_OUT_OF_MEMORY, false);
  if (!CaptureScreen(image.Get()) || !array->Add(image.Get())) return false;
  if (!file->CreateA(path, 0)) return false;
  const bool written = writer->Write(array.Get(), file.Get());
  SLErrorKeeper keep;
  array->RemoveImage(image.Get());
  file->Close();
  // A picture cut short is worth nothing: the file goes with the failure.
  if (!written) file->DeleteA(path);
  return written;
}

bool CSL_GS_BaseGfx::SaveScreenshot() {
  char module[1024];
  char directory[1024];
  if (!SLGetModuleFileNameA(nullptr, module, sizeof(module))) return false;
  if (SLStrLenA(module) >= sizeof(directory)) return SLFail(SL_E_BUFFER_TOO_SMALL, false);
  SLGetPathPartsA(directory, module, SL_PATH_ROOT | SL_PATH_DIRECTORY);
  CSLStringAnsi name;
  for (long number = 1; number <= 99998; ++number) {
    if (!name.Format("%sSCR%05ld.BMP", directory, number)) return false;
    if (!SLFileExists(name.CStr())) return SaveScreenshotToFile(name.CStr());
  }
  return SLFail(SL_E_GFX_NO_SCREENSHOT_NAME, false);
}

bool CSL_GS_BaseGfx::EnableScreenshotKey(bool enable) {
  m_screenshotKey = enable ? 1 : 0;
  return SLSucceed(true);
}
