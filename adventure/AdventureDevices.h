// The devices the adventure model works through: the graphics device that owns the
// catalogue's pictures, the sound device that owns its sounds, and the main window whose
// fatal-error call ends the program. The application points them at its global devices
// once at start-up, before any loader runs; tests point them at devices of their own.
#pragma once

class CSL_GS_BaseGfx;
class CSL_GS_BaseSfx;
class CSL_GS_MainWindow;

struct AdventureDevices {
  CSL_GS_BaseGfx* gfx;
  CSL_GS_BaseSfx* sfx;
  CSL_GS_MainWindow* mainWindow;
};

// The process-wide set; every pointer is null until set.
AdventureDevices& AdventureDevices_Get();
void AdventureDevices_Set(CSL_GS_BaseGfx* gfx, CSL_GS_BaseSfx* sfx, CSL_GS_MainWindow* mainWindow);
