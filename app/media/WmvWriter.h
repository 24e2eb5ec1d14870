// The movie file writer: one Windows Media video stream and one audio stream, fed with
// 24-bit pictures and 16-bit (or 8-bit) PCM, through the system's media format writer
// ("wmvcore.dll"). Every operation answers an HRESULT and leaves it as the thread's
// error code (0 on success).
//
// A file under the asked name is always a whole movie. The writer writes a hidden
// sibling ("." + the name + ".tmp", in the same folder) and only WmvWriter_Finish, once
// the system writer has ended and closed it without a fault, renames it over the asked
// name. A reset, a failure or a run that never ends (a crash, a kill) leaves an earlier
// file of that name as it was; the sibling goes on a reset or a failure, and a sibling
// that a killed run left is removed by the next open of the same name. A sibling that
// another writer holds open (another copy of the program exporting the same movie) is
// never touched: the open fails at once with 0x80070020 and makes nothing, and the
// other writer finishes its file whole.
#pragma once

#include "foundation/SLTypes.h"
#include "platform/wmvcore/WmvCore.h"

// What the caller asks for, copied whole into the writer.
struct WmvWriterSettings {
  u32 width;  // 0: no video (then height and framesPerSecond are 0 too)
  u32 height;
  u32 framesPerSecond;
  u32 reserved0;
  double quality;         // clamped to [1, 100]
  u32 samplesPerSecond;   // 0: no audio
  u32 channels;
  u32 bitsPerSample;      // 8 or 16
  u32 reserved1;
};

inline constexpr u32 kWmvNoInput = 0xFFFFFFFFu;

struct WmvWriter {
  WmvWriterSettings settings;
  IWMProfileManager* profileManager;
  IWMWriter* writer;
  IWMProfile* profile;
  IWMProfileManager2* profileManager2;
  u32 videoInput;  // kWmvNoInput when none
  IWMInputMediaProps* videoProps;
  u64 videoFrames;  // pictures written
  u32 audioInput;
  IWMInputMediaProps* audioProps;
  u64 audioFrames;  // sample frames written
  char* fileName;       // the name the finished file takes; null when reset
  char* temporaryName;  // the sibling it is written under until then (ours: created and held by the open)
};

enum : u32 {
  WMV_E_FAIL = u32(E_FAIL),              // writing to a stream that does not exist
  WMV_E_INVALIDARG = u32(E_INVALIDARG),  // settings refused
  WMV_E_OUTOFMEMORY = u32(E_OUTOFMEMORY),
};

// A writer in the reset state (no interfaces, no inputs, counters 0).
void WmvWriter_Init(WmvWriter* writer);
// Checks the settings (refused: 0x80070057 with the writer untouched), resets the writer,
// then builds the profile, the writer and its inputs and begins writing `fileName`.
// Any later failure leaves the writer reset and answers the failing step's code; a
// folder under the asked name is refused at once (0x80070005), not after the movie, and
// a name another writer is writing now too (0x80070020).
HRESULT WmvWriter_Open(WmvWriter* writer, const char* fileName, const WmvWriterSettings* settings);
// One bottom-up picture of width x height, rows of WmvWriter_RowBytes(width) bytes,
// stamped pictures-written / framesPerSecond seconds.
HRESULT WmvWriter_WriteVideoFrame(WmvWriter* writer, const void* pixels);
// `count` interleaved sample frames, stamped frames-written / samplesPerSecond seconds.
HRESULT WmvWriter_WriteAudioSamples(WmvWriter* writer, const void* samples, u32 count);
// Ends writing and, when the system writer closed the file whole, gives it its name,
// replacing a file of that name in one step. On any failure (the end's own code, or
// the rename's as 0x8007xxxx) the sibling is removed and an earlier file stays. The
// writer is reset either way; a writer that is not open answers 0x80004005.
HRESULT WmvWriter_Finish(WmvWriter* writer);
// Ends writing and releases everything; an unfinished file is removed (an earlier file
// of its name stays). The settings become zero.
void WmvWriter_Reset(WmvWriter* writer);
void WmvWriter_Destroy(WmvWriter* writer);

// Bytes of a 24-bit row: padded to a multiple of 4.
u32 WmvWriter_RowBytes(u32 width);
// The bit rates the writer gives its streams: height x width x 2 / 5 (whole) x frames
// per second for video, bits x channels x rate for the audio input.
u32 WmvWriter_VideoBitRate(const WmvWriterSettings* settings);
u32 WmvWriter_AudioBitRate(const WmvWriterSettings* settings);
// The 100-nanosecond time stamp of the n-th (from 0) picture or sample frame at `rate`.
u64 WmvWriter_SampleTime(u64 index, u32 rate);
