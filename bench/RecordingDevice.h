// The software device writing down every call that reaches it while a list is attached,
// and replaying such a list straight to the device: the peer of the frame benchmarks,
// whose ratio is then what the code above the device adds to a frame.
#pragma once

#include <string>
#include <vector>

#include "gamesystem/directx/SLGfxDirectX.h"

class CRecordingDevice : public CSL_GS_Gfx_DirectX {
 public:
  struct Call {
    enum Kind { kImage, kText, kClip, kState, kEndFrame } kind;
    SL_GS_Image* image;
    SL_GS_Font* font;
    i32 x, y;
    u32 a, b, c, d;
    bool hasOptions;
    SL_GS_DrawImageOptions options;
    std::u16string text;
  };
  using Calls = std::vector<Call>;

  // Calls are appended to `calls` until Stop (null stops as well).
  void Record(Calls* calls) { m_recording = calls; }
  void Stop() { m_recording = nullptr; }

  bool DrawImage(SL_GS_Image* image, i32 x, i32 y, const SL_GS_DrawImageOptions* o) override {
    if (m_recording)
      m_recording->push_back({Call::kImage, image, nullptr, x, y, 0, 0, 0, 0, o != nullptr, o ? *o : Blank(), {}});
    return CSL_GS_Gfx_DirectX::DrawImage(image, x, y, o);
  }
  i32 DrawTextW(SL_GS_Font* font, i32 x, i32 y, u32 alignment, const SL_GS_DrawImageOptions* o, const SLWChar* text,
                u32 length) override {
    if (m_recording)
      m_recording->push_back({Call::kText, nullptr, font, x, y, alignment, 0, 0, 0, o != nullptr, o ? *o : Blank(),
                              std::u16string(text, length)});
    return CSL_GS_Gfx_DirectX::DrawTextW(font, x, y, alignment, o, text, length);
  }
  bool ApplyClipRect(u32 x, u32 y, u32 width, u32 height) override {
    if (m_recording)
      m_recording->push_back({Call::kClip, nullptr, nullptr, 0, 0, x, y, width, height, false, Blank(), {}});
    return CSL_GS_Gfx_DirectX::ApplyClipRect(x, y, width, height);
  }
  bool SetDrawState(u32 state) override {
    if (m_recording) m_recording->push_back({Call::kState, nullptr, nullptr, 0, 0, state, 0, 0, 0, false, Blank(), {}});
    return CSL_GS_Gfx_DirectX::SetDrawState(state);
  }
  bool EndFrame() override {
    if (m_recording) m_recording->push_back({Call::kEndFrame, nullptr, nullptr, 0, 0, 0, 0, 0, 0, false, Blank(), {}});
    return CSL_GS_Gfx_DirectX::EndFrame();
  }

  // The recorded frame straight to the device.
  void Replay(const Calls& calls) {
    for (const Call& call : calls) {
      switch (call.kind) {
        case Call::kImage:
          CSL_GS_Gfx_DirectX::DrawImage(call.image, call.x, call.y, call.hasOptions ? &call.options : nullptr);
          break;
        case Call::kText:
          CSL_GS_Gfx_DirectX::DrawTextW(call.font, call.x, call.y, call.a, call.hasOptions ? &call.options : nullptr,
                                        call.text.data(), u32(call.text.size()));
          break;
        case Call::kClip:
          CSL_GS_Gfx_DirectX::ApplyClipRect(call.a, call.b, call.c, call.d);
          break;
        case Call::kState:
          CSL_GS_Gfx_DirectX::SetDrawState(call.a);
          break;
        case Call::kEndFrame:
          CSL_GS_Gfx_DirectX::EndFrame();
          break;
      }
    }
  }

 private:
  static SL_GS_DrawImageOptions Blank() { return SL_GS_DrawImageOptions{}; }
  Calls* m_recording = nullptr;
};
