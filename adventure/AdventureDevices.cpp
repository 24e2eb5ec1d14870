#include "adventure/AdventureDevices.h"

namespace {
constinit AdventureDevices g_devices{nullptr, nullptr, nullptr};
}  // namespace

AdventureDevices& AdventureDevices_Get() { return g_devices; }

void AdventureDevices_Set(CSL_GS_BaseGfx* gfx, CSL_GS_BaseSfx* sfx, CSL_GS_MainWindow* mainWindow) {
  g_devices = AdventureDevices{gfx, sfx, mainWindow};
}
