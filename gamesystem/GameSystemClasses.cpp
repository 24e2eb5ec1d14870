#include "gamesystem/GameSystemClasses.h"

#include "foundation/SLObject.h"
#include "gamesystem/SLBaseGfx.h"
#include "gamesystem/SLFrameTime.h"
#include "gamesystem/SLMainWindow.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gamesystem/directx/SLJoystickInput.h"
#include "gamesystem/directx/SLKeyboardInput.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "gamesystem/directx/SLSfxDirectX.h"
#include "image/ImageClasses.h"

void SLRegisterGameSystemClasses() {
  SLRegisterImageClasses();
  static bool registered = false;
  if (registered) return;
  registered = true;
  // The fixed order of registration: add new classes at the end of this list.
  static const SLClassRecord* const records[] = {
      CSL_GS_MainWindow::GetClassRecord(),
      CSL_GS_FrameTime::GetClassRecord(),
      CSL_GS_BaseKeyboardInput::GetClassRecord(),
      CSL_GS_KeyboardInput_DirectX::GetClassRecord(),
      CSL_GS_BaseMouseInput::GetClassRecord(),
      CSL_GS_MouseInput_DirectX::GetClassRecord(),
      CSL_GS_BaseJoystickInput::GetClassRecord(),
      CSL_GS_JoystickInput_DirectX::GetClassRecord(),
      CSL_GS_BaseGfx::GetClassRecord(),
      CSL_GS_GfxDestroyingImageEvent::GetClassRecord(),
      CSL_GS_GfxDestroyingFontEvent::GetClassRecord(),
      CSL_GS_BaseSfx::GetClassRecord(),
      CSL_GS_Sfx_DirectX::GetClassRecord(),
      CSL_GS_SfxDestroyingSoundEvent::GetClassRecord(),
      CSL_GS_BaseSfxCD::GetClassRecord(),
      CSL_GS_SfxCD_DirectX::GetClassRecord(),
      CSL_GS_BaseSfxMixer::GetClassRecord(),
      CSL_GS_SfxMixer_DirectX::GetClassRecord(),
      CSL_GS_Gfx_DirectX::GetClassRecord(),
  };
  for (const SLClassRecord* record : records) SLRegisterClass(record);
}
