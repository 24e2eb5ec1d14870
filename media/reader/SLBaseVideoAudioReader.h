// The one interface through which timed media files are read: a reader is opened on a
// storage, describes its streams (video or audio) and hands out decoded pictures (packed
// bottom-up bitmaps) and interleaved PCM samples by position, whatever the file stores.
// Readers are found by the file name's extension among the registered classes derived
// from CSLBaseVideoAudioReader, newest registration first.
//
// Calling order: construct (class record or directly) -> Open / OpenFile -> queries ->
// StartStream -> GetVideoFrame / ReadAudio at any positions -> StopStream -> Close.
// Queries are valid between Open and Close whether or not a stream is started. Every
// operation sets the thread's error code; a reader that is not open fails every query
// with 0x80020005. Readers hold no locks: one thread uses a reader at a time.
#pragma once

#include "foundation/SLObject.h"
#include "foundation/SLTypes.h"
#include "storage/SLBaseStorage.h"

// Codes shared by the readers (0x8002 and 0x8009 values read as in the storage layer).
enum : u32 {
  SL_E_MEDIA_BAD_FORMAT_RECORD = 0x80020017,  // a stored format record that cannot be used
  SL_E_MEDIA_NO_STREAM = 0x800f0001,
  SL_E_MEDIA_FRAME_RANGE = 0x800f0003,     // frame beyond the end (IsKeyFrame)
  SL_E_MEDIA_NOT_VIDEO = 0x800f0004,
  SL_E_MEDIA_NOT_AUDIO = 0x800f0005,
  SL_E_MEDIA_VIDEO_FORMAT = 0x800f0006,    // video format not usable
  SL_E_MEDIA_NULL_COUNT = 0x80001006,      // ReadAudio's count out pointer
};

// Stream types.
enum : u32 {
  SL_STREAM_VIDEO = 1,
  SL_STREAM_AUDIO = 2,
  SL_STREAM_UNKNOWN = 4,  // written when the type cannot be told
};

// Describes the samples ReadAudio delivers: always PCM, interleaved, 8 bits unsigned or
// 16/32/64 bits signed little-endian; blockAlign = bitsPerSample / 8 * channels.
// The sound device describes its output and the sounds it holds with it as well.
struct SLAudioFormat {
  u32 formatTag;  // 1 (PCM)
  u32 channels;
  u32 bitsPerSample;
  u32 samplesPerSecond;  // sample frames per second
  u32 bytesPerSecond;    // samplesPerSecond * blockAlign
  u32 blockAlign;
};

// The pictures GetVideoFrame hands out: stride = ((width * bitsPerPixel + 31) / 32) * 4.
struct SLVideoFormat {
  u32 width;
  u32 height;
  u32 bitsPerPixel;  // 8, 16, 24 or 32
  u32 compression;   // 0 when stored as plain RGB; an AVI stream's FOURCC
  u32 imageBytes;    // stride * height
};

class CSLBaseVideoAudioReader : public CSLObject {
  SL_DECLARE_CLASS(CSLBaseVideoAudioReader)
 public:
  CSLBaseVideoAudioReader();
  // Concrete readers run their Close in their own destructor (keeping the caller's code);
  // this one only drops a source a reader left behind.
  ~CSLBaseVideoAudioReader() override;

  // Closes whatever was open, then opens `storage` (null: 0x80001002), taking a reference
  // on it until Close. `flags` non-zero is the lenient flag: short reads of the data end
  // the data instead of failing. A failed Open leaves the reader closed.
  virtual bool Open(CSLBaseStorage* storage, u32 flags) = 0;
  // Always succeeds; closing a closed reader does nothing.
  virtual bool Close() = 0;
  virtual bool GetStreamCount(u32* count) = 0;
  // A stream number past the last writes SL_STREAM_UNKNOWN and fails with 0x800f0001.
  virtual bool GetStreamType(u32 stream, u32* type) = 0;
  // `out` is zeroed first.
  virtual bool GetVideoFormat(u32 stream, SLVideoFormat* out) = 0;
  // 0.0 on failure.
  virtual bool GetVideoFrameRate(u32 stream, double* framesPerSecond) = 0;
  // False with code 0 for a frame that is not a key frame.
  virtual bool IsKeyFrame(u32 stream, u64 frame) = 0;
  // `out` is zeroed on failure.
  virtual bool GetAudioFormat(u32 stream, SLAudioFormat* out) = 0;
  // Sample frames; 0 on failure.
  virtual bool GetAudioLength(u32 stream, u64* frames) = 0;
  virtual bool GetVideoFrameCount(u32 stream, u64* frames) = 0;
  // Allocates what decoding the stream needs; 0x80090007 when already started.
  virtual bool StartStream(u32 stream) = 0;
  // The picture: a 40-byte BITMAPINFOHEADER, a 256-entry palette (8 bits) or three masks
  // (16 bits with bit fields), then the rows bottom-up. Reader-owned, valid until the next
  // GetVideoFrame on the stream, StopStream or Close. `size` (optional) gets the whole block.
  virtual bool GetVideoFrame(u32 stream, u64 frame, const void** picture, u32* size) = 0;
  // Interleaved samples in the GetAudioFormat format in a reader-owned buffer, valid until
  // the next ReadAudio on the stream, StopStream or Close. A first frame at or past the end
  // gives 0 frames and succeeds; a count reaching past the end is shortened.
  virtual bool ReadAudio(u32 stream, u64 first, u32 count, const void** samples, u32* got) = 0;
  // Frees what StartStream allocated; 0x80090006 when not started.
  virtual bool StopStream(u32 stream) = 0;
  // The frame's stored bytes; a null buffer asks for the size only. Base: not supported.
  virtual bool ReadRawFrame(u32 stream, u64 frame, void* buffer, u64* size);
  // How many leading bytes CheckSignature needs; base 0.
  virtual u32 GetSignatureSize();
  // True when the bytes start a file of this reader's kind; base false with code 0.
  virtual bool CheckSignature(const void* header, u32 size);
  // The index-th extension without its dot; null with 0x80001008 past the last (the base
  // has none).
  virtual const char* GetExtensionA(u32 index);
  virtual const SLWChar* GetExtensionW(u32 index);

  // Opens the file read-only on a new file storage and calls Open on it; the storage lives
  // as long as the reader holds it. On failure the storage is gone and the code is the
  // failing call's.
  bool OpenFile(const char* path, u32 flags);

  // The reader class whose extension matches the path's, case-insensitively. Null path:
  // 0x80001002; no extension or no match: null with 0x80010001.
  static const SLClassRecord* FindReaderClassByExtension(const char* path);

 protected:
  // Takes a reference on the source for the open file's lifetime.
  void HoldSource(CSLBaseStorage* storage);
  // Releases and clears the source, keeping the caller's code.
  void ReleaseSource();
  // The number of frames of [first, first + count) that lie before `length`.
  static u32 ClipAudioRange(u64 first, u32 count, u64 length) {
    if (first >= length) return 0;
    return length - first < count ? u32(length - first) : count;
  }

  CSLBaseStorage* m_source;  // null while nothing is open
};
