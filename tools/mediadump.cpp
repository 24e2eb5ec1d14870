// mediadump FILE [--audio OUT.wav] [--frames DIR] | mediadump FILE.avi --index
// Prints the streams of a timed media file and their formats, through the reader class
// its extension names; --audio writes the first audio stream's decoded samples as a PCM
// WAV file, --frames the first video stream's pictures as DIR/frame00000.bmp onwards.
// Exit status: 0 done, 1 no reader, the file did not open, or reading or writing failed,
// 2 a usage error. --index prints the AVI structure and chunk indexes. Every output is
// checked before the first is written, and each is written under a temporary name and
// renamed once whole.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "image/SLImage.h"
#include "image/SLImageArray.h"
#include "image/writers/SLImageWriterBMP.h"
#include "media/MediaClasses.h"
#include "media/SLPictureLayout.h"
#include "tools/common/AviIndexSummary.h"
#include "tools/common/ToolSupport.h"
#include "tools/common/WavHeader.h"
#include "media/reader/SLBaseVideoAudioReader.h"
#include "storage/SLFileStorage.h"

namespace {

const sltool::CommandLine kCommandLine("mediadump",
                                       "usage: mediadump FILE [--audio OUT.wav] [--frames DIR]\n"
                                       "       mediadump FILE.avi --index");

// The file named in failures: the input, or the output being written.
std::string g_file;

bool Report(const char* what) {
  kCommandLine.Failure(what, g_file, SLGetLastError(false));
  return false;
}

// A finished temporary file renamed over its target.
bool Commit(const std::string& temporary, const std::string& path) {
  std::string error;
  if (sltool::CommitTemporary(temporary, path, &error)) return true;
  kCommandLine.Failure(error);
  return false;
}

void PrintStream(CSLBaseVideoAudioReader* reader, u32 stream) {
  u32 type = 0;
  reader->GetStreamType(stream, &type);
  if (type == SL_STREAM_AUDIO) {
    SLAudioFormat format;
    u64 frames = 0;
    if (!reader->GetAudioFormat(stream, &format) || !reader->GetAudioLength(stream, &frames)) {
      Report("audio stream without a format");
      return;
    }
    std::printf("stream %" PRIu32 ": audio, PCM %" PRIu32 " channels, %" PRIu32 " bits, %" PRIu32
                " Hz, %" PRIu32 " bytes per frame, %" PRIu64 " frames (%.3f s)\n",
                stream, format.channels, format.bitsPerSample, format.samplesPerSecond, format.blockAlign,
                frames, format.samplesPerSecond ? double(frames) / format.samplesPerSecond : 0.0);
  } else if (type == SL_STREAM_VIDEO) {
    SLVideoFormat format;
    u64 frames = 0;
    double rate = 0.0;
    reader->GetVideoFormat(stream, &format);
    reader->GetVideoFrameCount(stream, &frames);
    reader->GetVideoFrameRate(stream, &rate);
    std::printf("stream %" PRIu32 ": video, %" PRIu32 "x%" PRIu32 ", %" PRIu32 " bits, compression 0x%08" PRIx32
                ", %" PRIu64 " frames, %.3f fps\n",
                stream, format.width, format.height, format.bitsPerPixel, format.compression, frames, rate);
  } else {
    std::printf("stream %" PRIu32 ": unknown\n", stream);
  }
}

// A canonical PCM WAV: "fmt " of 16 bytes, then "data"; the sizes are written at the end.
bool WriteAudio(CSLBaseVideoAudioReader* reader, u32 stream, const char* path) {
  SLAudioFormat format;
  u64 frames = 0;
  if (!reader->GetAudioFormat(stream, &format) || !reader->GetAudioLength(stream, &frames))
    return Report("no audio format");
  u64 dataBytes = frames * format.blockAlign;
  if (dataBytes > 0xFFFFFFFFu - 36 || format.channels > 0xFFFF || format.blockAlign > 0xFFFF)
    return Report("the audio does not fit a WAV file");
  g_file = path;
  const std::string temporary = sltool::TemporaryNameBeside(path);
  CSLFileStorage out;
  if (!out.CreateA(temporary.c_str(), 0)) return Report("cannot create the output file");
  // Whatever fails from here leaves no partial file.
  struct Remove {
    const std::string& name;
    bool keep = false;
    ~Remove() {
      if (!keep) std::remove(name.c_str());
    }
  } removeOnFailure{temporary};
  u8 header[44];
  SLToolWavHeader(header, format, 0, 0);
  if (out.Write(header, sizeof header) != sizeof header) return Report("write failed");
  if (!reader->StartStream(stream)) return Report("cannot start the audio stream");
  dataBytes = 0;
  for (u64 first = 0; first < frames;) {
    const void* samples = nullptr;
    u32 got = 0;
    if (!reader->ReadAudio(stream, first, 65536, &samples, &got)) return Report("read failed");
    if (got == 0) break;
    const u64 bytes = u64(got) * format.blockAlign;
    if (out.Write(samples, bytes) != bytes) return Report("write failed");
    dataBytes += bytes;
    first += got;
  }
  reader->StopStream(stream);
  if (dataBytes & 1) {
    const u8 pad = 0;
    if (out.Write(&pad, 1) != 1) return Report("write failed");
  }
  SLStoreLE32(header + 4, u32(36 + dataBytes + (dataBytes & 1)));
  SLStoreLE32(header + 40, u32(dataBytes));
  if (!out.Seek(0, SL_SEEK_BEGIN) || out.Write(header, sizeof header) != sizeof header)
    return Report("write failed");
  out.Close();
  if (!Commit(temporary, path)) return false;
  removeOnFailure.keep = true;
  std::printf("wrote %" PRIu64 " bytes of audio to %s\n", dataBytes, path);
  return true;
}

// Each picture through the BMP writer, in the pixel format its header names: 8 bits with
// its palette, 16 bits x-5-5-5 or, with bit fields, 5-6-5, 24 bits blue-green-red.
bool WriteFrames(CSLBaseVideoAudioReader* reader, u32 stream, const char* folder) {
  SLVideoFormat format;
  u64 frames = 0;
  if (!reader->GetVideoFormat(stream, &format) || !reader->GetVideoFrameCount(stream, &frames))
    return Report("no video format");
  if (!reader->StartStream(stream)) return Report("cannot start the video stream");
  for (u64 frame = 0; frame < frames; ++frame) {
    const void* picture = nullptr;
    u32 size = 0;
    if (!reader->GetVideoFrame(stream, frame, &picture, &size)) return Report("a picture did not decode");
    SLPictureLayout layout;
    if (!SLReadPictureLayout(picture, size, format.width, format.height, &layout))
      return Report("a picture does not hold what its header says");
    CSLImage image;
    if (!image.Create(layout.format, format.width, format.height, false)) return Report("no memory for a picture");
    for (u32 y = 0; y < format.height; ++y) {
      const u64 storedRow = layout.bottomUp ? format.height - 1 - y : y;
      std::memcpy(image.GetPixelAddress(0, y), layout.pixels + storedRow * layout.stride,
                  u64(format.width) * layout.bytesPerPixel);
    }
    if (layout.format == SL_IMAGE_FORMAT_PALETTE) image.SetPaletteEntries(0, 256, layout.palette.entries);
    CSLImageArray images;
    char path[4096];
    std::snprintf(path, sizeof path, "%s/frame%05" PRIu64 ".bmp", folder, frame);
    g_file = path;
    const std::string temporary = sltool::TemporaryNameBeside(path);
    CSLFileStorage out;
    CSLImageWriterBMP writer;
    const bool written = images.Add(&image) && out.CreateA(temporary.c_str(), 0) && writer.Write(&images, &out);
    if (!written) Report("write failed");
    out.Close();
    if (!written) {
      std::remove(temporary.c_str());
      return false;
    }
    if (!Commit(temporary, path)) return false;
  }
  reader->StopStream(stream);
  std::printf("wrote %" PRIu64 " pictures to %s\n", frames, folder);
  return true;
}

// The first stream of a type, or `count` when there is none.
u32 FirstStream(CSLBaseVideoAudioReader* reader, u32 count, u32 wanted) {
  u32 stream = 0, type = 0;
  while (stream < count && !(reader->GetStreamType(stream, &type) && type == wanted)) ++stream;
  return stream;
}

}  // namespace

int main(int argc, char** argv) {
  if (kCommandLine.WantsHelp(argc, argv)) return sltool::kExitOk;
  const char* audioPath = nullptr;
  const char* framesPath = nullptr;
  if (argc == 3 && std::strcmp(argv[2], "--index") == 0) {
    g_file = argv[1];
    if (PrintAviIndexSummary(argv[1], stdout) == 0) return sltool::kExitOk;
    return Report("cannot read the AVI structure"), sltool::kExitFailure;
  }
  if (argc < 2 || argc % 2 != 0) return kCommandLine.UsageError("expected FILE and pairs of options");
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--audio") == 0)
      audioPath = argv[i + 1];
    else if (std::strcmp(argv[i], "--frames") == 0)
      framesPath = argv[i + 1];
    else
      return kCommandLine.UsageError(std::string("unknown option ") + argv[i]);
  }
  // Every output is checked before anything is read or written.
  std::string error;
  std::error_code code;
  if (audioPath && !sltool::CanWriteBeside(audioPath, &error)) return kCommandLine.Failure(error);
  if (framesPath && !std::filesystem::is_directory(framesPath, code))
    return kCommandLine.Failure("no folder for the pictures", framesPath);
  g_file = argv[1];
  SLRegisterMediaClasses();
  const SLClassRecord* record = CSLBaseVideoAudioReader::FindReaderClassByExtension(argv[1]);
  if (!record) return Report("no reader for this extension"), sltool::kExitFailure;
  CSLObject* object = record->CreateObject ? record->CreateObject() : nullptr;
  if (!object) return Report("cannot create the reader"), sltool::kExitFailure;
  auto* reader = static_cast<CSLBaseVideoAudioReader*>(object);
  int result = sltool::kExitOk;
  u32 streams = 0;
  if (!reader->OpenFile(argv[1], 0) || !reader->GetStreamCount(&streams)) {
    Report("cannot open the file");
    result = sltool::kExitFailure;
  } else {
    std::printf("file: %s\nreader: %s\nstreams: %" PRIu32 "\n", argv[1], record->name, streams);
    for (u32 stream = 0; stream < streams; ++stream) PrintStream(reader, stream);
    const u32 audioStream = FirstStream(reader, streams, SL_STREAM_AUDIO);
    const u32 videoStream = FirstStream(reader, streams, SL_STREAM_VIDEO);
    if (audioPath && audioStream == streams)
      result = (Report("no audio stream"), sltool::kExitFailure);
    else if (framesPath && videoStream == streams)
      result = (Report("no video stream"), sltool::kExitFailure);
    if (result == sltool::kExitOk && audioPath && !WriteAudio(reader, audioStream, audioPath))
      result = sltool::kExitFailure;
    if (result == sltool::kExitOk && framesPath && !WriteFrames(reader, videoStream, framesPath))
      result = sltool::kExitFailure;
  }
  reader->Release();
  return result;
}
