// The abstract graphics device: everything about images and bitmap fonts that does not
// depend on the drawing interface. Image and font handles, the groups that screens
// create and free together, the 1-bit hit masks that decide mouse picking, the clip
// rectangle, screen capture and numbered screenshots. A concrete device fills the
// slots (device set-up, presentation, textures, drawing).
//
// Handles are opaque keys, never record addresses: every device keeps a table of its
// live records keyed by handle, and every handle operation looks its handle up there
// under the device lock. A handle is never issued twice in a process, so a handle kept
// past its destruction (or one of another device) is refused with 0x80001008 even when
// a new record took the old record's memory. The tags stay in the records as a second
// check for code that walks the records themselves.
#pragma once

#include <cstdarg>

#include "foundation/SLArray.h"
#include "foundation/SLBaseEvent.h"
#include "foundation/SLIntrusiveList.h"
#include "foundation/SLObject.h"
#include "foundation/SLString.h"
#include "foundation/SLSync.h"
#include "gamesystem/SLEventSender.h"
#include "image/SLImageArray.h"
#include "image/SLImageReader.h"
#include "platform/wintypes.h"

class CSLBaseStorage;

enum : u32 {
  SL_GS_IMAGE_TAG = 0xF3E13D35,
  SL_GS_FONT_TAG = 0xF3E13D36,
  SL_E_GFX_NO_SCREENSHOT_NAME = 0x80000002,
};

// Opaque handle types: the application only passes them back.
struct SL_GS_Image;
struct SL_GS_Font;

// The mode record of Init and ChangeMode.
struct SL_GS_DisplayMode {
  u32 validMask;  // 1 width and height, 2 bits per pixel, 4 windowed, 8 stencil, 16 reserved
  u32 width;
  u32 height;
  u32 bitsPerPixel;
  u32 windowed;   // 0 full screen
  u32 stencil;    // non-zero asks for a depth-stencil format with stencil bits
  u32 reserved;
};

// A locked picture of the device: the front-buffer capture or the back-buffer lock.
struct SL_GS_SurfaceAccess {
  u32 reserved;
  u32 format;  // framework pixel-format id
  u32 width;
  u32 height;
  u32 pitch;   // bytes from one row to the next
  u8* pixels;
};

// The options of image and text drawing; the drawing device defines it.
struct SL_GS_DrawImageOptions;

// Link of a device's image or font list.
struct SL_GS_GfxRecordLink : TSLListLink<SL_GS_GfxRecordLink> {};

// The record behind an image handle.
struct SL_GS_ImageRecord {
  u32 tag;  // SL_GS_IMAGE_TAG while alive
  SL_GS_GfxRecordLink link;  // in the device's image list
  CSLImage* source;  // one reference held; null after ReleaseImageSource
  SLImageInfo info;  // the source's description taken at creation
  u32 maskBits[4];   // red, green, blue, alpha: the length of each mask's run of ones
  u32 maskShift[4];  // and the position of its lowest bit
  u32* hitMask;      // null: every pixel hits
  u32 accessed;      // the pixels were handed out for change; EndImageAccess uploads them
  std::uintptr_t deviceData[7];
  u32 group;
  SL_GS_Image* handle;
};

// One glyph of a font page: columns left..right-1 and rows top..bottom-1.
struct SL_GS_FontGlyph {
  u16 code;
  u32 page;
  u32 left, top, right, bottom;
};

struct SL_GS_FontKerningPair {
  u16 first;
  u16 second;
  i32 adjustment;
};

// The record behind a font handle.
struct SL_GS_FontRecord {
  u32 tag;  // SL_GS_FONT_TAG while alive
  SL_GS_GfxRecordLink link;  // in the device's font list
  u32 glyphCount;
  SL_GS_FontGlyph* glyphs;  // sorted by code
  u32 lineHeight;           // bottom - top of the glyph with the lowest code
  u32 averageGlyphWidth;    // sum of (right - left) over the glyphs / glyph count
  CSLImageArray* pages;     // 256 x 256 format-5 pictures keyed with the file's colour
  u32 kerningCount;
  SL_GS_FontKerningPair* kerning;  // sorted by first, then second code; null when none
  std::uintptr_t deviceData;
  u32 group;
  SL_GS_Image* whiteImage;  // 1 x 1 opaque white, source already released
  SL_GS_Font* handle;
};

// The information block of GetImageInfo (18 words).
struct SL_GS_ImageInfo {
  u32 width, height, bitsPerPixel;
  u32 colorKey;
  u32 pointX, pointY;
  u32 redMask, greenMask, blueMask, alphaMask;
  u32 redBits, greenBits, blueBits, alphaBits;
  u32 redShift, greenShift, blueShift, alphaShift;
};

// Sent before an image handle is freed; listeners drop their copies of the handle.
class CSL_GS_GfxDestroyingImageEvent : public CSLBaseEvent {
  SL_DECLARE_CLASS(CSL_GS_GfxDestroyingImageEvent)
 public:
  explicit CSL_GS_GfxDestroyingImageEvent(SL_GS_Image* image = nullptr) : m_image(image) {}
  SL_GS_Image* m_image;
};

// Sent before a font handle is freed.
class CSL_GS_GfxDestroyingFontEvent : public CSLBaseEvent {
  SL_DECLARE_CLASS(CSL_GS_GfxDestroyingFontEvent)
 public:
  explicit CSL_GS_GfxDestroyingFontEvent(SL_GS_Font* font = nullptr) : m_font(font) {}
  SL_GS_Font* m_font;
};

namespace SLInternals {
// Live records of one kind by handle. Handles come from one process-wide counter and
// only grow, so a new handle almost always goes at the end (a thread that took its handle
// first may link it second) and a lookup is a bisection.
class CSLGfxHandleTable {
 public:
  struct Entry {
    const void* handle;
    void* record;
  };
  bool Add(const void* handle, void* record);
  void* Find(const void* handle) const;
  bool Remove(const void* handle);
  u32 GetCount() const { return m_entries.GetCount(); }
  const Entry* GetEntries() const { return m_entries.GetData(); }
  void Free() { m_entries.Free(); }
  // A key no device issued before.
  static const void* NewHandle();

 private:
  TSLArray<Entry> m_entries;
};

// The image or font record of a link of the device's lists.
template <class Record>
Record* RecordOfLink(SL_GS_GfxRecordLink* link) {
  return SLListElement<Record>(link, offsetof(Record, link));
}
}  // namespace SLInternals

class CSL_GS_BaseGfx : public CSLObject, public TSLEventSender<CSL_GS_BaseGfx, CSLBaseEvent*> {
  SL_DECLARE_CLASS(CSL_GS_BaseGfx)
 public:
  CSL_GS_BaseGfx();
  // Frees whatever handles a device left behind without calling its slots (the device
  // part is gone by then); a device's own destructor shuts it down first.
  ~CSL_GS_BaseGfx() override;

  // The device slots.
  virtual bool Init(HINSTANCE instance, HWND window, const SL_GS_DisplayMode* mode) = 0;
  // Sends CSLEventSourceDying, destroys every image and font (DestroyAllHandles), releases the device.
  virtual void Shutdown() = 0;
  virtual bool ChangeMode(const SL_GS_DisplayMode* mode) = 0;
  // Colour word 0xAABBGGRR.
  virtual bool Clear(u32 color, bool depth, bool stencil) = 0;
  virtual i32 GetClientScreenX() = 0;
  virtual i32 GetClientScreenY() = 0;
  // Target size and depth; 0 when not initialised.
  virtual u32 GetWidth() = 0;
  virtual u32 GetHeight() = 0;
  virtual u32 GetBitsPerPixel() = 0;
  virtual bool IsWindowed() = 0;
  virtual bool IsReady() = 0;
  virtual bool EndFrame() = 0;
  // A locked copy of the visible picture (which must be 0), owned by the device.
  virtual SL_GS_SurfaceAccess* GrabFrontBuffer(u32 which) = 0;
  virtual bool ReleaseFrontBufferGrab() = 0;
  virtual SL_GS_SurfaceAccess* LockBackBuffer(bool write) = 0;
  virtual bool UnlockBackBuffer() = 0;
  virtual bool SetGamma(double gamma) = 0;
  virtual double GetGamma() = 0;
  virtual bool SetDrawState(u32 state) = 0;
  virtual u32 GetDrawState() = 0;
  // A slot no device implements: fails with 0x80002003.
  virtual u32 ReservedGfxSlot1(u32* a, u32 b, u32 c);
  virtual bool GetSizeLimits(u32* width, u32* height) = 0;
  virtual bool DrawImage(SL_GS_Image* image, i32 x, i32 y, const SL_GS_DrawImageOptions* options) = 0;
  // Make the device objects of a new image and upload its pixels.
  virtual bool CreateImageTextures(SL_GS_ImageRecord* image) = 0;
  virtual void FreeImageTextures(SL_GS_ImageRecord* image) = 0;
  // The pixels changed: upload them again before the next draw.
  virtual bool SetImageDirty(SL_GS_ImageRecord* image) = 0;
  // A slot no device implements: returns 0.
  virtual u32 ReservedGfxSlot2();
  virtual bool CreateFontTextures(SL_GS_FontRecord* font) = 0;
  virtual void FreeFontTextures(SL_GS_FontRecord* font) = 0;
  // The device side of SetClipRect. The base fails with 0x80002003.
  virtual bool ApplyClipRect(u32 x, u32 y, u32 width, u32 height);
  // Draws a line of text; the width in font pixels.
  virtual i32 DrawTextW(SL_GS_Font* font, i32 x, i32 y, u32 alignment, const SL_GS_DrawImageOptions* options,
                        const SLWChar* text, u32 length) = 0;

  // --- Images ---
  // True for a live image handle of this device; else false with 0x80001008.
  bool IsValidImage(SL_GS_Image* image);
  // A handle over `image` (which must have pixels, 0x80001002). With `copy` the handle
  // keeps a copy of it, else a reference to it. The mask comes from the colour key, else
  // from the alpha channel, else there is none (every pixel hits).
  SL_GS_Image* CreateImage(CSLImage* image, bool copy);
  // Reads the storage with the reader class given (null: the one its content names),
  // makes a handle of the first picture and, when a second picture of the same size
  // follows, takes the hit mask from it.
  SL_GS_Image* LoadImageFromStorage(CSLBaseStorage* storage, const SLClassRecord* readerClass);
  // Opens the item `name` of the storage, loads it and closes it (keeping the load's code).
  SL_GS_Image* LoadImage(CSLBaseStorage* storage, const char* name, const SLClassRecord* readerClass);
  bool DestroyImage(SL_GS_Image* image);
  bool DestroyImageAndClear(SL_GS_Image** image);
  // Images created from now on carry `group` (0: 0x80001001).
  bool SetImageGroup(u32 group);
  u32 GetImageGroup() const { return m_imageGroup; }
  bool DestroyImagesOfGroup(u32 group);
  // Drops the source picture: the image stays drawable, its pixels can no longer be read.
  bool ReleaseImageSource(SL_GS_Image* image);
  bool ReleaseImageSourcesOfGroup(u32 group);
  bool GetImageInfo(SL_GS_Image* image, SL_GS_ImageInfo* out);
  // The source pixel as 0xAABBGGRR; 0xFF000000 on any failure.
  u32 GetImagePixel(SL_GS_Image* image, u32 x, u32 y);
  bool EndImageAccess(SL_GS_Image* image);
  // The mask from an 8-bit picture (format 1 or 12) of the image's size: a pixel hits
  // where its byte is 128 or more.
  bool SetHitMaskFromImage(SL_GS_Image* image, CSLImage* mask);
  // The mask from the alpha channel (hits at 128 or more); an image without alpha bits
  // keeps the mask it has.
  bool BuildHitMaskFromAlpha(SL_GS_Image* image);
  bool HitTest(SL_GS_Image* image, i32 x, i32 y);

  // --- Clip rectangle and screen capture ---
  bool SetClipRect(u32 x, u32 y, u32 width, u32 height);
  bool GetClipRect(u32* x, u32* y, u32* width, u32* height);
  // The visible picture into `image`, in the front buffer's format.
  bool CaptureScreen(CSLImage* image);
  // The visible picture as a BMP file.
  bool SaveScreenshotToFile(const char* path);
  // The first free "SCR%05ld.BMP" (1..99998) in the program's directory.
  bool SaveScreenshot();
  bool EnableScreenshotKey(bool enable);
  bool IsScreenshotKeyEnabled() const { return m_screenshotKey != 0; }

  // --- Bitmap fonts ---
  bool IsValidFont(SL_GS_Font* font);
  SL_GS_Font* LoadFontFromStorage(CSLBaseStorage* storage);
  SL_GS_Font* LoadFontFromFile(const char* path);
  bool DestroyFont(SL_GS_Font* font);
  bool DestroyFontAndClear(SL_GS_Font** font);
  u32 GetFontHeight(SL_GS_Font* font);
  u32 GetFontAverageGlyphWidth(SL_GS_Font* font);
  const SL_GS_FontGlyph* FindGlyph(SL_GS_Font* font, u32 code);
  const SL_GS_FontKerningPair* FindKerningPair(SL_GS_Font* font, u32 first, u32 second);
  // Width of a line of text (length 0xFFFFFFFF: up to the terminating zero).
  i32 GetTextWidth(SL_GS_Font* font, const SLWChar* text, u32 length);
  i32 GetTextWidthFormatV(SL_GS_Font* font, const char* format, va_list args);
  i32 GetTextWidthFormat(SL_GS_Font* font, const char* format, ...);
  i32 DrawTextFormatV(SL_GS_Font* font, i32 x, i32 y, u32 alignment, const SL_GS_DrawImageOptions* options,
                      const char* format, va_list args);
  i32 DrawTextFormat(SL_GS_Font* font, i32 x, i32 y, u32 alignment, const SL_GS_DrawImageOptions* options,
                     const char* format, ...);

 protected:
  // The live record of a handle, or null with 0x80001008 (for the drawing slots).
  SL_GS_ImageRecord* FindImageRecord(SL_GS_Image* image);
  SL_GS_FontRecord* FindFontRecord(SL_GS_Font* font);
  // Destroys every font and image (the first step of a device's Shutdown after its
  // dying event), keeping the caller's error code.
  void DestroyAllHandles();
  // The lock that guards the lists; devices hold it while they set their state up (after
  // creation and resets). Drawing does not take it: a thread creating pictures never waits
  // for a frame.
  CSLCriticalSection* GetDeviceLock() { return &m_lock; }
  // Sets the clip rectangle without asking the device (a new target's full size).
  void StoreClipRect(u32 x, u32 y, u32 width, u32 height) {
    m_clipX = x, m_clipY = y, m_clipWidth = width, m_clipHeight = height;
  }

 private:
  bool BuildHitMask(SL_GS_ImageRecord* record, bool fromAlpha);
  bool EndImageAccessOf(SL_GS_ImageRecord* record);
  bool ReleaseSourceOf(SL_GS_ImageRecord* record);
  // Puts a new record at the head of its list and into the table, under the lock.
  bool LinkImage(SL_GS_ImageRecord* record);
  bool LinkFont(SL_GS_FontRecord* record);
  // Takes a handle's record out of the list and the table under the lock; null when a
  // listener or another thread took it first.
  SL_GS_ImageRecord* UnlinkImage(SL_GS_Image* image);
  SL_GS_FontRecord* UnlinkFont(SL_GS_Font* font);
  static void FreeImageRecord(SL_GS_ImageRecord* record);
  static void FreeFontRecord(SL_GS_FontRecord* record);
  // The live handles of a group (or all with group 0), collected under the lock.
  bool CollectImages(u32 group, bool all, TSLArray<SL_GS_Image*>* out);
  i32 FormatToScratch(const char* format, va_list args);

  CSLCriticalSection m_lock;  // guards the lists and the handle tables
  SL_GS_GfxRecordLink m_images;  // newest first
  SL_GS_GfxRecordLink m_fonts;
  u32 m_imageGroup;
  u32 m_fontGroup;
  u32 m_clipX, m_clipY, m_clipWidth, m_clipHeight;
  u32 m_screenshotKey;
  CSLStringAnsi m_scratchA;  // formatted text, one caller at a time
  CSLStringWide m_scratchW;
  SLInternals::CSLGfxHandleTable m_imageTable;
  SLInternals::CSLGfxHandleTable m_fontTable;
};
