// The drawing half of the graphics device: the depth-test switch, and the image and font
// slots, which this device does not serve yet (0x80002003).
#include "foundation/SLError.h"
#include "gamesystem/directx/SLGfxDirectX.h"

bool CSL_GS_Gfx_DirectX::SetDrawState(u32 state) {
  SLInternals::SL_GS_DeviceRecord* r = m_record;
  if (!r) return SLFail(SL_E_NOT_INITIALISED, false);
  r->depthTest = state ? 1 : 0;
  r->device->SetRenderState(D3DRS_ZENABLE, r->depthTest);
  return SLSucceed(true);
}

u32 CSL_GS_Gfx_DirectX::GetDrawState() {
  return m_record ? SLSucceed(m_record->depthTest) : SLFail(SL_E_NOT_INITIALISED, 0u);
}

bool CSL_GS_Gfx_DirectX::DrawImage(SL_GS_Image*, i32, i32, const SL_GS_DrawImageOptions*) {
  return SLFail(m_record ? SL_E_NOT_SUPPORTED : SL_E_NOT_INITIALISED, false);
}

bool CSL_GS_Gfx_DirectX::CreateImageTextures(SL_GS_ImageRecord*) {
  return SLFail(m_record ? SL_E_NOT_SUPPORTED : SL_E_NOT_INITIALISED, false);
}

void CSL_GS_Gfx_DirectX::FreeImageTextures(SL_GS_ImageRecord*) {}

bool CSL_GS_Gfx_DirectX::SetImageDirty(SL_GS_ImageRecord*) {
  return SLFail(m_record ? SL_E_NOT_SUPPORTED : SL_E_NOT_INITIALISED, false);
}

bool CSL_GS_Gfx_DirectX::CreateFontTextures(SL_GS_FontRecord*) {
  return SLFail(m_record ? SL_E_NOT_SUPPORTED : SL_E_NOT_INITIALISED, false);
}

void CSL_GS_Gfx_DirectX::FreeFontTextures(SL_GS_FontRecord*) {}

bool CSL_GS_Gfx_DirectX::ApplyClipRect(u32, u32, u32, u32) {
  return SLFail(m_record ? SL_E_NOT_SUPPORTED : SL_E_NOT_INITIALISED, false);
}

i32 CSL_GS_Gfx_DirectX::DrawTextW(SL_GS_Font*, i32, i32, u32, const SL_GS_DrawImageOptions*, const SLWChar*, u32) {
  return SLFail(m_record ? SL_E_NOT_SUPPORTED : SL_E_NOT_INITIALISED, 0);
}
