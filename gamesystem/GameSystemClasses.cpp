#include "gamesystem/GameSystemClasses.h"

#include "foundation/SLObject.h"
#include "gamesystem/SLFrameTime.h"
#include "gamesystem/SLMainWindow.h"
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
  };
  for (const SLClassRecord* record : records) SLRegisterClass(record);
}
