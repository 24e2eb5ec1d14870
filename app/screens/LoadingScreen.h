// The loading screen: the whole item catalogue is read on a worker thread while a flower
// grows and the loading music loops. The thread and the screen share one block: the
// thread writes the progress as it goes and its error on the way out; the screen reads
// the progress each frame and the error only once the thread has been joined.
#pragma once

#include <atomic>
#include <cstdint>

#include "foundation/SLTypes.h"

class CSLWorkerThread;

struct LoaderProgress {
  char text[1024];                  // the thread's error text
  char file[1024];                  // what the error is about below the program's folder: the
                                    // pack ("Gfx\\Fondos\\Playa.DAT"), the folder without packs, or ""
  i32 errorCode;                    // 0, or the negative code of the thread's failure
  std::atomic<uint32_t> progress;   // 0..99: 33 per finished kind plus the current kind's share
};

// The block of the running (or last) loading screen.
LoaderProgress& LoaderProgress_Get();

// 1 with the catalogue loaded, -1 when the quit flag was seen, -2 when the user chose to
// return to the start menu (the catalogues are emptied again), -1000 when the main window
// is gone. A loader failure ends the program with the thread's code (-1011..-1014) and
// text once the thread has stopped, its report naming the pack or folder at fault.
i32 LoadingScreen_Run();

// The loader thread's body: characters, backgrounds and objects in turn, each pack of
// "Gfx\<kind>\*.DAT" beside the program through its kind's loader. `block` is the
// LoaderProgress; 0 always (the outcome is in the block).
u32 Catalog_LoadAll(CSLWorkerThread* thread, std::uintptr_t block);

// Drawing helpers, exposed so the flower and its glow can be checked on their own.
// The flower frame (0..33) drawn for a progress value.
u32 LoadingScreen_FlowerFrame(u32 progress);
// The glow tint (0xFFBBGGRR) for a tick count in milliseconds: a 20-second cycle that
// fades from blue-violet to white and back.
u32 LoadingScreen_GlowTint(u32 milliseconds);
