// A graphics device that keeps its slots in memory: a known front-buffer picture, texture
// slots that count their calls (and fail on request), a clip that records what it was
// given. The base device's tests and fuzz targets run over it.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "gamesystem/SLBaseGfx.h"

class CMemoryGfxDevice : public CSL_GS_BaseGfx {
  using Surface = SL_GS_SurfaceAccess*;

 public:
  // Front-buffer pixel format: B, G, R and a spare byte, as a 32-bit display gives it.
  static constexpr u32 kFrontFormat = 7;

  ~CMemoryGfxDevice() override {
    SLErrorKeeper keep;
    Shutdown();
  }

  bool Init(HINSTANCE, HWND, const SL_GS_DisplayMode* mode) override {
    if (m_width) return SLFail(0x80010003, false);
    m_width = mode ? mode->width : 800;
    m_height = mode ? mode->height : 600;
    m_front.assign(size_t(Pitch()) * m_height, 0);  // each row has 16 spare bytes
    for (u32 y = 0; y < m_height; ++y)
      for (u32 x = 0; x < m_width; ++x) {
        u8* p = FrontPixel(x, y);
        p[0] = u8(x * 7 + y), p[1] = u8(y * 5), p[2] = u8(x ^ y), p[3] = 0x5A;
      }
    return SLSucceed(true);
  }
  void Shutdown() override {
    if (!m_width) return;
    CSLEventSourceDying dying;
    Send(&dying);
    DestroyAllHandles();
    m_width = m_height = 0;
  }
  SL_GS_SurfaceAccess* GrabFrontBuffer(u32 which) override {
    if (which != 0) return SLFail(0x80010013, Surface(nullptr));
    if (!m_width) return SLFail(SL_E_NOT_INITIALISED, Surface(nullptr));
    m_grab = SL_GS_SurfaceAccess{0, kFrontFormat, m_width, m_height, Pitch(), m_front.data()};
    ++m_grabs;
    return SLSucceed(&m_grab);
  }
  bool ReleaseFrontBufferGrab() override { return --m_grabs, SLSucceed(true); }
  bool ChangeMode(const SL_GS_DisplayMode*) override { return SLFail(SL_E_NOT_SUPPORTED, false); }
  bool Clear(u32, bool, bool) override { return SLSucceed(true); }
  i32 GetClientScreenX() override { return 0; }
  i32 GetClientScreenY() override { return 0; }
  u32 GetWidth() override { return m_width; }
  u32 GetHeight() override { return m_height; }
  u32 GetBitsPerPixel() override { return m_width ? 32 : 0; }
  bool IsWindowed() override { return true; }
  bool IsReady() override { return m_width != 0; }
  bool EndFrame() override { return SLSucceed(true); }
  Surface LockBackBuffer(bool) override { return SLFail(SL_E_NOT_SUPPORTED, Surface(nullptr)); }
  bool UnlockBackBuffer() override { return SLFail(SL_E_NOT_SUPPORTED, false); }
  bool SetGamma(double) override { return SLFail(SL_E_NOT_SUPPORTED, false); }
  double GetGamma() override { return 1.0; }
  bool SetDrawState(u32) override { return SLSucceed(true); }
  u32 GetDrawState() override { return 0; }
  bool GetSizeLimits(u32*, u32*) override { return SLSucceed(true); }
  bool DrawImage(SL_GS_Image* image, i32, i32, const SL_GS_DrawImageOptions*) override {
    return FindImageRecord(image) ? SLSucceed(true) : false;
  }
  bool CreateImageTextures(SL_GS_ImageRecord* image) override {
    if (m_failImageTextures) return SLFail(0x8001000f, false);
    image->deviceData[0] = 0xD3D;
    m_liveImageTextures.insert(image);
    return SLSucceed(true);
  }
  void FreeImageTextures(SL_GS_ImageRecord* image) override {
    if (image->deviceData[0] == 0xD3D) m_liveImageTextures.erase(image);
    image->deviceData[0] = 0;
  }
  bool SetImageDirty(SL_GS_ImageRecord*) override { return ++m_dirty, SLSucceed(true); }
  bool CreateFontTextures(SL_GS_FontRecord* font) override {
    if (m_failFontTextures) return SLFail(0x8001000f, false);
    font->deviceData = 0xF0;
    ++m_liveFontTextures;
    return SLSucceed(true);
  }
  void FreeFontTextures(SL_GS_FontRecord* font) override {
    m_liveFontTextures -= font->deviceData == 0xF0;
    font->deviceData = 0;
  }
  bool ApplyClipRect(u32 x, u32 y, u32 width, u32 height) override {
    if (m_failClip) return SLFail(0x80002020, false);
    m_appliedClip[0] = x, m_appliedClip[1] = y, m_appliedClip[2] = width, m_appliedClip[3] = height;
    return SLSucceed(true);
  }
  // Keeps where each glyph lands (unaligned, unscaled) in `m_drawn`, pens stepped as the
  // DirectX device steps them: a pair's kerning is added after its second glyph is drawn.
  i32 DrawTextW(SL_GS_Font* font, i32 x, i32 y, u32, const SL_GS_DrawImageOptions*, const SLWChar* text,
                u32 length) override {
    m_drawn.clear();
    i32 pen = x;
    u32 previous = 0;
    const bool drawable = text && FindFontRecord(font);
    for (u32 i = 0; drawable && (length == 0xFFFFFFFFu ? text[i] != 0 : i < length); ++i) {
      const SL_GS_FontGlyph* glyph = FindGlyph(font, text[i]);
      if (!glyph) {
        previous = 0;
        continue;
      }
      m_drawn.push_back(DrawnGlyph{text[i], pen, y});
      if (const SL_GS_FontKerningPair* pair = previous ? FindKerningPair(font, previous, text[i]) : nullptr)
        pen += pair->adjustment;
      previous = text[i];
      pen += i32(glyph->right - glyph->left) + 2;
    }
    return GetTextWidth(font, text, length);
  }

  // The records behind handles, for tests that look at them.
  SL_GS_ImageRecord* Record(SL_GS_Image* image) { return FindImageRecord(image); }
  SL_GS_FontRecord* Record(SL_GS_Font* font) { return FindFontRecord(font); }
  u32 Pitch() const { return m_width * 4 + 16; }
  u8* FrontPixel(u32 x, u32 y) { return m_front.data() + size_t(y) * Pitch() + size_t(x) * 4; }

  struct DrawnGlyph {
    u32 code;
    i32 x, y;
    bool operator==(const DrawnGlyph&) const = default;
  };
  std::vector<DrawnGlyph> m_drawn;  // the last DrawTextW's glyphs
  // Where the glyphs of `text` land, drawn from 0.
  std::vector<i32> DrawnPens(SL_GS_Font* font, const std::u16string& text) {
    DrawTextW(font, 0, 0, 0, nullptr, text.data(), u32(text.size()));
    std::vector<i32> pens;
    for (const DrawnGlyph& glyph : m_drawn) pens.push_back(glyph.x);
    return pens;
  }
  std::vector<u8> m_front;
  SL_GS_SurfaceAccess m_grab{};
  int m_grabs = 0;
  u32 m_width = 0, m_height = 0;
  std::set<SL_GS_ImageRecord*> m_liveImageTextures;
  int m_liveFontTextures = 0, m_dirty = 0;
  bool m_failImageTextures = false, m_failFontTextures = false, m_failClip = false;
  u32 m_appliedClip[4] = {};
};
