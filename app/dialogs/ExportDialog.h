// The export of the whole movie to a Windows Media file, and its small progress dialog.
//
// The export has no thread of its own. Whoever opens the dialog (the editor) drives it
// with application events of one type whose data is the dialog: each such event taken
// by the screen loop runs one step (ExportVideoDialog_HandleEvent), and the step posts
// the event again, so the screen keeps drawing and "&Cancelar" stays live. Every fifth
// step renders one movie frame of every four (the movie runs at 60 frames per second,
// the file at 15 pictures per second) and, on each whole second, mixes that second of
// sound. When the dialog closes, the queued events of the type are dropped and one with
// data 0 is posted: the driver's sign that the export is over.
//
// The video takes its name only when it is whole: until the last picture is written and
// the file closed without a fault, an earlier video of the same name stays as it was, and
// a cancel, a failure or a closed dialog leaves nothing behind (see WmvWriter.h).
#pragma once

#include <cstdint>

#include "adventure/movie/ExportMix.h"
#include "app/media/WmvWriter.h"
#include "gui/SLGuiTopLevelWindow.h"

enum : u32 {
  EXPORT_DIALOG_ID = 1031,
  EXPORT_ERROR_BOX_ID = 1032,
  EXPORT_LABEL_ID = 101,
  EXPORT_CANCEL_ID = 2,
};

// The settings every export writes with: 664 x 372 at 15 pictures per second, quality
// 100, 22,050 Hz stereo 16-bit sound.
extern const WmvWriterSettings kExportWriterSettings;

class CMyExportVideoDialog : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CMyExportVideoDialog)
 public:
  CMyExportVideoDialog();
  // Resets the writer (an unfinished file goes; an earlier video stays).
  ~CMyExportVideoDialog() override;

  // Id 2 ("&Cancelar", "&Cerrar", and the answer of an error box) closes the dialog:
  // the driving events are replaced by one with data 0, the writer is reset, the dialog
  // destroyed and its modal level ended. Other ids: 0.
  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override;
  void OnClose() override;

  u32 tickCount = 0;     // steps since the last rendered picture (0..4)
  u32 totalFrames = 0;   // the movie's length in frames
  u32 currentFrame = 0;  // the movie frame the next render takes
  WmvWriter writer;
  u32 failed = 0;    // opening the writer or a render failed
  u32 finished = 0;  // the whole movie was written
  u32 eventType = 0;
  char outputPath[4100] = {};
  CMovieExportMixer mixer;  // the export's sound mix, reused from second to second
};

// Opens the dialog and starts the export; null (and nothing shown) when the movie has no
// scene or no name. Creation failures are fatal (-2502).
CMyExportVideoDialog* ExportVideoDialog_Show(u32 eventType);
// Chooses the output file (the user's video folder, else documents, else "Videos
// Exportados" beside the program) and opens the writer on it; a writer that does not
// open shows the error box. A full disk is named in the box beside the code.
void VideoExport_Start(CMyExportVideoDialog* dialog, u32 eventType);
// One step (see the top of this file).
void VideoExport_Step(CMyExportVideoDialog* dialog);
// Renders currentFrame, writes its picture and, on a whole second, that second of sound.
// Negative on failure.
HRESULT VideoExport_RenderFrame(CMyExportVideoDialog* dialog);

// The driver's handler of the export's events: data 0 answers true (the export is over
// and the dialog gone); otherwise one step, the event posted again, and false. Data that
// names no live export dialog is dropped (false, 0x80001001).
bool ExportVideoDialog_HandleEvent(u32 type, std::uintptr_t data);

// Completion of a dialog's error box: the dialog (the argument) gets its own cancel.
void AppDialog_DeferredCancelCommand(u32 answer, std::uintptr_t dialog);

// The label text after a finished export: the folder as the user's file manager shows it,
// "/" between its parts, with a space either side of every "/" so that the label can wrap it.
void VideoExport_SuccessText(const char* outputPath, char* text, u32 size);

// The error box's text: the line `format` makes of the code (at most 255 bytes), then,
// after an empty line, what the family can do about it when the code says: a full disk
// (0x80070070), another copy of the program writing a video of that name (0x80070020),
// or a videos folder that cannot be written (0x80070005, naming the folder).
constexpr u32 kExportErrorTextSize = 256 + 4400;
void VideoExport_ErrorText(const char* outputPath, const char* format, HRESULT code, char* text, u32 size);
