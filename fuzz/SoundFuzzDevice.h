// The sound device the sound fuzz targets drive: initialised once, on SDL's dummy
// drivers, with its mix pulled only by the target so that cursors stand still.
#pragma once

#include <cstdlib>

#include "gamesystem/directx/SLSfxDirectX.h"
#include "media/MediaClasses.h"
#include "platform/dsound/Mixer.h"
#include "platform/user32/User32.h"

inline CSL_GS_Sfx_DirectX& SLFuzzSoundDevice() {
  static CSL_GS_Sfx_DirectX* device = [] {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    SLRegisterMediaClasses();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); };
    wc.lpszClassName = "slfuzzsound";
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, "slfuzzsound", "fuzz", 0, 0, 0, 64, 64, nullptr, nullptr, nullptr, nullptr);
    auto* sfx = new CSL_GS_Sfx_DirectX();
    if (!window || !sfx->Init(nullptr, window, nullptr)) std::abort();
    SLPlatformSoundSetManualPull(true);
    return sfx;
  }();
  return *device;
}
