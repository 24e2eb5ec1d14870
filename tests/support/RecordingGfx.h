// The in-memory graphics device that also writes what the GUI asks of it as text: each
// clip ("clip 10,20,30,40"), draw-state change ("state 0"), image ("image 3@10,20") and
// text run ("text 'Hola'@10,20"), so that drawing tests compare one log.
#pragma once

#include <map>
#include <string>

#include "tests/support/MemoryGfxDevice.h"

class CRecordingGfx : public CMemoryGfxDevice {
 public:
  CRecordingGfx() {
    SL_GS_DisplayMode mode{1, 800, 600, 32, 1, 0, 0};
    Init(nullptr, nullptr, &mode);
    SetClipRect(0, 0, 800, 600);
    m_log.clear();
  }
  std::string m_log;
  u32 m_drawState = 0x55;

  bool SetDrawState(u32 state) override {
    m_log += "state " + std::to_string(state) + "\n";
    m_drawState = state;
    return SLSucceed(true);
  }
  u32 GetDrawState() override { return m_drawState; }
  bool ApplyClipRect(u32 x, u32 y, u32 width, u32 height) override {
    m_log += "clip " + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(width) + "," +
             std::to_string(height) + "\n";
    return CMemoryGfxDevice::ApplyClipRect(x, y, width, height);
  }
  bool DrawImage(SL_GS_Image* image, i32 x, i32 y, const SL_GS_DrawImageOptions* options) override {
    m_log += "image " + Id(image) + "@" + std::to_string(x) + "," + std::to_string(y) + (options ? " opt" : "") + "\n";
    return CMemoryGfxDevice::DrawImage(image, x, y, options);
  }
  i32 DrawTextW(SL_GS_Font* font, i32 x, i32 y, u32 placement, const SL_GS_DrawImageOptions* options,
                const SLWChar* text, u32 length) override {
    std::string narrow;
    for (u32 i = 0; i < length && text[i]; ++i) narrow += text[i] < 128 ? char(text[i]) : '?';
    m_log += "text '" + narrow + "'@" + std::to_string(x) + "," + std::to_string(y) + " p" +
             std::to_string(placement) + "\n";
    return CMemoryGfxDevice::DrawTextW(font, x, y, placement, options, text, length);
  }

 private:
  // Handles print as small numbers in the order the log first meets them.
  std::string Id(const void* handle) {
    auto [it, added] = m_ids.emplace(handle, u32(m_ids.size() + 1));
    return std::to_string(it->second);
  }
  std::map<const void*, u32> m_ids;
};
