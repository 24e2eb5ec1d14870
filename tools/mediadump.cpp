// mediadump FILE [--audio OUT.wav] | mediadump FILE.avi --index
// Prints the streams of a timed media file and their formats, through the reader class
// its extension names, and with --audio writes the first audio stream's decoded samples
// as a PCM WAV file. Exit codes: 0 done, 1 usage, 2 no reader or the file did not open,
// 3 reading or writing failed. --index prints the AVI structure and chunk indexes.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "media/MediaClasses.h"
#include "tools/AviIndexSummary.h"
#include "tools/WavHeader.h"
#include "media/reader/SLBaseVideoAudioReader.h"
#include "storage/SLFileStorage.h"

namespace {

bool Report(const char* what) {
  std::fprintf(stderr, "mediadump: %s (code 0x%08" PRIx32 ")\n", what, SLGetLastError(false));
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
  CSLFileStorage out;
  if (!out.CreateA(path, 0)) return Report("cannot create the output file");
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
  std::printf("wrote %" PRIu64 " bytes of audio to %s\n", dataBytes, path);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const char* audioPath = nullptr;
  if (argc == 3 && std::strcmp(argv[2], "--index") == 0) return PrintAviIndexSummary(argv[1], stdout) ? 2 : 0;
  if (argc == 4 && std::strcmp(argv[2], "--audio") == 0)
    audioPath = argv[3];
  else if (argc != 2) {
    std::fprintf(stderr, "usage: mediadump FILE [--audio OUT.wav]\n       mediadump FILE.avi --index\n");
    return 1;
  }
  SLRegisterMediaClasses();
  const SLClassRecord* record = CSLBaseVideoAudioReader::FindReaderClassByExtension(argv[1]);
  if (!record) return Report("no reader for this extension"), 2;
  CSLObject* object = record->CreateObject ? record->CreateObject() : nullptr;
  if (!object) return Report("cannot create the reader"), 2;
  auto* reader = static_cast<CSLBaseVideoAudioReader*>(object);
  int result = 0;
  u32 streams = 0;
  if (!reader->OpenFile(argv[1], 0) || !reader->GetStreamCount(&streams)) {
    Report("cannot open the file");
    result = 2;
  } else {
    std::printf("file: %s\nreader: %s\nstreams: %" PRIu32 "\n", argv[1], record->name, streams);
    for (u32 stream = 0; stream < streams; ++stream) PrintStream(reader, stream);
    if (audioPath) {
      u32 stream = 0, type = 0;
      while (stream < streams && !(reader->GetStreamType(stream, &type) && type == SL_STREAM_AUDIO)) ++stream;
      if (stream == streams)
        result = (Report("no audio stream"), 3);
      else if (!WriteAudio(reader, stream, audioPath))
        result = 3;
    }
  }
  reader->Release();
  return result;
}
