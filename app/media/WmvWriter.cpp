#include "app/media/WmvWriter.h"

#include <cmath>
#include <cstring>

#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "foundation/SLTextConvert.h"
#include "foundation/SLWideText.h"
#include "storage/SLFileStorage.h"

namespace {

// The profile every movie file starts from: one audio stream (number 1) and one video
// stream (number 2), in that order, so that the writer's inputs come audio first. The
// open replaces the video's size and bit rates and the audio's bit rate.
constexpr char16_t kProfile[] =
    u"<profile version=\"589824\" storageformat=\"1\" name=\"Quelvo - WMV Profile\" "
    u"description=\"Streams: 1 audio 1 video\">"
    u"<streamconfig majortype=\"{73647561-0000-0010-8000-00AA00389B71}\" streamnumber=\"1\" "
    u"streamname=\"Audio Stream\" inputname=\"\" bitrate=\"160016\" bufferwindow=\"3000\" "
    u"reliabletransport=\"0\" decodercomplexity=\"\" rfc1766langid=\"es-ar\">"
    u"<wmmediatype subtype=\"{00000161-0000-0010-8000-00AA00389B71}\" bfixedsizesamples=\"1\" "
    u"btemporalcompression=\"0\" lsamplesize=\"0\">"
    u"<waveformatex wFormatTag=\"353\" nChannels=\"2\" nSamplesPerSec=\"44100\" nAvgBytesPerSec=\"20002\" "
    u"nBlockAlign=\"7431\" wBitsPerSample=\"16\" codecdata=\"008800000F0000000000\"/>"
    u"</wmmediatype></streamconfig>"
    u"<streamconfig majortype=\"{73646976-0000-0010-8000-00AA00389B71}\" streamnumber=\"2\" "
    u"streamname=\"Video Stream\" inputname=\"\" bitrate=\"100000\" bufferwindow=\"5000\" "
    u"reliabletransport=\"0\" decodercomplexity=\"\" rfc1766langid=\"es-ar\">"
    u"<videomediaprops maxkeyframespacing=\"40000000\" quality=\"90\"/>"
    u"<wmmediatype subtype=\"{33564D57-0000-0010-8000-00AA00389B71}\" bfixedsizesamples=\"0\" "
    u"btemporalcompression=\"1\" lsamplesize=\"0\">"
    u"<videoinfoheader dwbitrate=\"100000\" dwbiterrorrate=\"0\" avgtimeperframe=\"666666\">"
    u"<rcsource left=\"0\" top=\"0\" right=\"512\" bottom=\"384\"/>"
    u"<rctarget left=\"0\" top=\"0\" right=\"512\" bottom=\"384\"/>"
    u"<bitmapinfoheader biwidth=\"512\" biheight=\"384\" biplanes=\"1\" bibitcount=\"24\" "
    u"bicompression=\"WMV3\" bisizeimage=\"0\" bixpelspermeter=\"0\" biypelspermeter=\"0\" biclrused=\"0\" "
    u"biclrimportant=\"0\"/>"
    u"</videoinfoheader></wmmediatype></streamconfig></profile>";

constexpr char16_t kWriterAttribute[] = u"WM/Writer";
constexpr char16_t kProductFamily[] = u"Quelvo";

struct WmvApi {
  SLWMCreateProfileManagerFn createProfileManager = nullptr;
  SLWMCreateWriterFn createWriter = nullptr;
};

// Bound once; the module stays loaded for the life of the process.
const WmvApi& Api() {
  static const WmvApi api = [] {
    WmvApi bound;
    if (HMODULE module = SLLoadLibrary(u"wmvcore.dll")) {
      SLBindProc(module, u"WMCreateProfileManager", &bound.createProfileManager);
      SLBindProc(module, u"WMCreateWriter", &bound.createWriter);
    }
    return bound;
  }();
  return api;
}

bool Failed(HRESULT hr) { return hr < 0; }

template <class Interface>
void ReleaseInterface(Interface** slot) {
  if (*slot) (*slot)->Release();
  *slot = nullptr;
}

constexpr HRESULT kAccessDenied = HRESULT(0x80070005u);

// A system error number as the code the media writer gives for it.
HRESULT FromSystemError(u32 code) { return HRESULT(code ? 0x80070000u | (code & 0xFFFFu) : u32(WMV_E_FAIL)); }

// "...\Videos\Peli.WMV" -> "...\Videos\.Peli.WMV.tmp": the same folder, so that the
// rename at the end never crosses disks; hidden; and never the name of a movie, so that
// a file of this name can only be one a run of this writer left behind.
char* TemporaryNameOf(const char* fileName) {
  const u32 length = SLTextLength(fileName);
  u32 folder = 0;
  for (u32 i = 0; i < length; ++i)
    if (fileName[i] == '\\' || fileName[i] == '/') folder = i + 1;
  char* name = static_cast<char*>(SLAlloc(length + 6));
  if (!name) return nullptr;
  std::memcpy(name, fileName, folder);
  name[folder] = '.';
  std::memcpy(name + folder + 1, fileName + folder, length - folder);
  std::memcpy(name + length + 1, ".tmp", 5);
  return name;
}

// The file's name and its sibling's, once the name is known not to be a folder's.
// Nothing is made here: the system writer's begin creates the sibling and holds it until
// it is released, removing one that a run which never finished left, and refusing one
// that another export holds (0x80070020: two copies of the program exporting the same
// movie) without touching it. Only a sibling the begin made is this writer's to remove.
HRESULT NamesOf(const char* fileName, TSLAutoPtr<char>* finalName, TSLAutoPtr<char>* temporary) {
  SLInternals::CSLFileStorageInternal* files = SLGetFileStorageApi(false);
  if (!files) return WMV_E_OUTOFMEMORY;
  const DWORD attributes = files->GetFileAttributesA(fileName);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return kAccessDenied;
  finalName->Reset(SLDuplicateText(fileName, SLTextLength(fileName)));
  temporary->Reset(TemporaryNameOf(fileName));
  return *finalName && *temporary ? 0 : HRESULT(WMV_E_OUTOFMEMORY);
}

// Forgets the names; the sibling, when it is still there, goes with them.
void DropNames(WmvWriter* w) {
  if (w->temporaryName)
    if (SLInternals::CSLFileStorageInternal* files = SLGetFileStorageApi(false)) files->DeleteFileA(w->temporaryName);
  SLFree(w->temporaryName);
  SLFree(w->fileName);
  w->temporaryName = nullptr;
  w->fileName = nullptr;
}

// Ends writing, closing the file; answers the end's code (0 when nothing was being
// written). The system writer still holds the file against other exports until it is
// released, so the sibling is renamed or removed before that.
HRESULT EndWriting(WmvWriter* w) { return w->writer ? w->writer->EndWriting() : 0; }

// Releases every interface; the settings become zero. The names stay.
void ReleaseAll(WmvWriter* w) {
  ReleaseInterface(&w->videoProps);
  ReleaseInterface(&w->audioProps);
  w->videoInput = kWmvNoInput;
  w->audioInput = kWmvNoInput;
  w->videoFrames = 0;
  w->audioFrames = 0;
  ReleaseInterface(&w->profileManager2);
  ReleaseInterface(&w->profile);
  ReleaseInterface(&w->writer);
  ReleaseInterface(&w->profileManager);
  std::memset(&w->settings, 0, sizeof w->settings);
}

HRESULT Finish(HRESULT result) {
  SLSetLastError(u32(result));
  return result;
}

bool SettingsValid(const WmvWriterSettings& s) {
  if (s.width == 0) {
    if (s.height != 0 || s.framesPerSecond != 0) return false;
  } else if (s.height == 0 || s.width % 2 || s.height % 2 || s.framesPerSecond == 0) {
    return false;
  }
  if (s.samplesPerSecond || s.channels || s.bitsPerSample) {
    if (s.samplesPerSecond < 4000 || s.channels == 0 || (s.bitsPerSample != 8 && s.bitsPerSample != 16)) return false;
  }
  // Only a number can be clamped.
  return !std::isnan(s.quality);
}

// The media type of a properties object in a block of the framework's heap.
HRESULT ReadMediaType(IWMMediaProps* props, TSLAutoPtr<WM_MEDIA_TYPE>* type) {
  DWORD size = 0;
  HRESULT result = props->GetMediaType(nullptr, &size);
  if (Failed(result)) return result;
  type->Reset(static_cast<WM_MEDIA_TYPE*>(SLAlloc(size)));
  if (!*type) return WMV_E_OUTOFMEMORY;
  return props->GetMediaType(type->Get(), &size);
}

// The whole open after the settings were checked and copied; the caller resets on failure.
HRESULT OpenSteps(WmvWriter* w, const char* fileName) {
  const WmvWriterSettings& s = w->settings;
  const bool wantVideo = s.width != 0, wantAudio = s.samplesPerSecond != 0;
  const u32 videoBitRate = WmvWriter_VideoBitRate(&s);
  const u32 rowBytes = WmvWriter_RowBytes(s.width);
  const WmvApi& api = Api();
  if (!api.createProfileManager || !api.createWriter) return WMV_E_FAIL;

  HRESULT hr = api.createProfileManager(&w->profileManager);
  if (Failed(hr)) return hr;
  hr = w->profileManager->QueryInterface(IID_IWMProfileManager2, reinterpret_cast<void**>(&w->profileManager2));
  if (Failed(hr)) return hr;
  hr = w->profileManager2->LoadProfileByData(kProfile, &w->profile);
  if (Failed(hr)) return hr;
  if (Failed(hr = api.createWriter(nullptr, &w->writer))) return hr;
  if (Failed(hr = w->writer->SetProfile(w->profile))) return hr;
  DWORD inputs = 0;
  if (Failed(hr = w->writer->GetInputCount(&inputs))) return hr;

  for (DWORD i = 0; i < inputs; ++i) {
    IWMInputMediaProps* props = nullptr;
    if (Failed(hr = w->writer->GetInputProps(i, &props))) return hr;
    GUID major{};
    hr = props->GetType(&major);
    if (Failed(hr)) {
      props->Release();
      return hr;
    }
    if (wantVideo && major == WMMEDIATYPE_Video && w->videoInput == kWmvNoInput) {
      w->videoInput = i;
      w->videoProps = props;
    } else if (wantAudio && major == WMMEDIATYPE_Audio && w->audioInput == kWmvNoInput) {
      w->audioInput = i;
      w->audioProps = props;
    } else {
      props->Release();
    }
  }

  SLWChar wideName[4100];
  u32 units = sizeof wideName / sizeof wideName[0];
  if (!SLAnsiToWide(wideName, &units, fileName, SL_TEXT_TO_END, 0)) return WMV_E_OUTOFMEMORY;
  if (Failed(hr = w->writer->SetOutputFilename(wideName))) return hr;

  if (w->videoInput != kWmvNoInput) {
    IWMStreamConfig* config = nullptr;
    if (Failed(hr = w->profile->GetStream(w->videoInput, &config))) return hr;
    auto configDone = SLMakeScopeGuard([&] { config->Release(); });
    if (Failed(hr = config->SetBitrate(videoBitRate)) || Failed(hr = config->SetBufferWindow(0xFFFFFFFFu))) return hr;
    IWMVideoMediaProps* video = nullptr;
    if (Failed(hr = config->QueryInterface(IID_IWMVideoMediaProps, reinterpret_cast<void**>(&video)))) return hr;
    auto videoDone = SLMakeScopeGuard([&] { video->Release(); });
    TSLAutoPtr<WM_MEDIA_TYPE> type;
    if (Failed(hr = ReadMediaType(video, &type))) return hr;
    if (type->cbFormat < sizeof(WMVIDEOINFOHEADER)) return WMV_E_FAIL;
    auto* header = reinterpret_cast<WMVIDEOINFOHEADER*>(type->pbFormat);
    header->rcSource = WMRECT{0, 0, LONG(s.width), LONG(s.height)};
    header->rcTarget = header->rcSource;
    header->dwBitRate = videoBitRate;
    header->dwBitErrorRate = 0;
    header->bmiHeader.biWidth = LONG(s.width);
    header->bmiHeader.biHeight = LONG(s.height);
    header->bmiHeader.biSizeImage = rowBytes * s.height;
    if (Failed(hr = video->SetMediaType(type.Get()))) return hr;
    if (Failed(hr = video->SetQuality(DWORD(std::lround(s.quality))))) return hr;
    if (Failed(hr = w->profile->ReconfigStream(config))) return hr;
    if (Failed(hr = w->writer->SetProfile(w->profile))) return hr;

    WMVIDEOINFOHEADER input{};
    input.rcSource = WMRECT{0, 0, LONG(s.width), LONG(s.height)};
    input.rcTarget = input.rcSource;
    input.dwBitRate = videoBitRate;
    input.AvgTimePerFrame = 10000000 / s.framesPerSecond;
    input.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    input.bmiHeader.biWidth = LONG(s.width);
    input.bmiHeader.biHeight = LONG(s.height);  // positive: bottom-up rows
    input.bmiHeader.biPlanes = 1;
    input.bmiHeader.biBitCount = 24;
    input.bmiHeader.biCompression = BI_RGB;
    input.bmiHeader.biSizeImage = rowBytes * s.height;
    WM_MEDIA_TYPE inputType{WMMEDIATYPE_Video, WMMEDIASUBTYPE_RGB24, 0, 0, 0, WMFORMAT_VideoInfo, nullptr,
                            sizeof input, reinterpret_cast<BYTE*>(&input)};
    // The input properties were taken before the profile changed; they are set again.
    if (Failed(hr = w->videoProps->SetMediaType(&inputType))) return hr;
    IWMHeaderInfo3* info = nullptr;
    if (!Failed(w->writer->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&info))) && info) {
      hr = info->SetAttribute(WORD(w->videoInput), kWriterAttribute, WMT_TYPE_STRING,
                              reinterpret_cast<const BYTE*>(kProductFamily), WORD(sizeof kProductFamily));
      info->Release();
      if (Failed(hr)) return hr;
    }
    if (Failed(hr = w->writer->SetInputProps(w->videoInput, w->videoProps))) return hr;
  }

  if (w->audioInput != kWmvNoInput) {
    IWMStreamConfig* config = nullptr;
    if (Failed(hr = w->profile->GetStream(w->audioInput, &config))) return hr;
    auto configDone = SLMakeScopeGuard([&] { config->Release(); });
    if (Failed(hr = config->SetBitrate(WmvWriter_AudioBitRate(&s))) ||
        Failed(hr = config->SetBufferWindow(0xFFFFFFFFu)) || Failed(hr = w->profile->ReconfigStream(config)))
      return hr;

    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = WORD(s.channels);
    wave.nSamplesPerSec = s.samplesPerSecond;
    wave.nBlockAlign = WORD(s.channels * s.bitsPerSample / 8);
    wave.nAvgBytesPerSec = wave.nBlockAlign * s.samplesPerSecond;
    wave.wBitsPerSample = WORD(s.bitsPerSample);
    wave.cbSize = 0;
    WM_MEDIA_TYPE inputType{WMMEDIATYPE_Audio, WMMEDIASUBTYPE_PCM, 0, 0, 0, WMFORMAT_WaveFormatEx, nullptr,
                            sizeof wave, reinterpret_cast<BYTE*>(&wave)};
    if (Failed(hr = w->audioProps->SetMediaType(&inputType))) return hr;
    if (Failed(hr = w->writer->SetInputProps(w->audioInput, w->audioProps))) return hr;
  }
  return w->writer->BeginWriting();
}

// One sample of `bytes` bytes at `time` on `input`.
HRESULT WriteSample(WmvWriter* w, u32 input, u64 time, const void* data, u64 bytes) {
  if (bytes > 0xFFFFFFFFu) return WMV_E_INVALIDARG;
  INSSBuffer* sample = nullptr;
  HRESULT hr = w->writer->AllocateSample(DWORD(bytes), &sample);
  if (Failed(hr)) return hr;
  BYTE* buffer = nullptr;
  DWORD length = 0;
  hr = sample->GetBufferAndLength(&buffer, &length);
  if (!Failed(hr)) {
    if (bytes) std::memcpy(buffer, data, std::size_t(bytes));
    hr = w->writer->WriteSample(input, time, 0, sample);
  }
  sample->Release();
  return hr;
}

}  // namespace

u32 WmvWriter_RowBytes(u32 width) { return u32((u64(width) * 24 + 31) / 32 * 4); }

u32 WmvWriter_VideoBitRate(const WmvWriterSettings* s) {
  return u32(u64(s->height) * s->width * 2 / 5) * s->framesPerSecond;
}

u32 WmvWriter_AudioBitRate(const WmvWriterSettings* s) { return s->bitsPerSample * s->channels * s->samplesPerSecond; }

u64 WmvWriter_SampleTime(u64 index, u32 rate) {
  const double seconds = double(index) / double(rate);
  return u64(seconds * 10000000.0);
}

void WmvWriter_Init(WmvWriter* writer) {
  std::memset(writer, 0, sizeof *writer);
  writer->videoInput = kWmvNoInput;
  writer->audioInput = kWmvNoInput;
  SLSetLastError(SL_OK);
}

void WmvWriter_Reset(WmvWriter* w) {
  EndWriting(w);  // an unfinished file: how its end went is of no use
  DropNames(w);
  ReleaseAll(w);
  SLSetLastError(SL_OK);
}

HRESULT WmvWriter_Finish(WmvWriter* w) {
  if (!w->writer) return Finish(WMV_E_FAIL);
  HRESULT result = EndWriting(w);
  if (!Failed(result) && w->temporaryName) {
    if (SLReplaceFileA(w->temporaryName, w->fileName)) {
      SLFree(w->temporaryName);  // it is the file now: kept
      w->temporaryName = nullptr;
    } else {
      result = FromSystemError(SLGetSystemLastError());
    }
  }
  DropNames(w);
  ReleaseAll(w);
  return Finish(result);
}

void WmvWriter_Destroy(WmvWriter* writer) { WmvWriter_Reset(writer); }

HRESULT WmvWriter_Open(WmvWriter* writer, const char* fileName, const WmvWriterSettings* settings) {
  if (!writer || !fileName || !settings || !SettingsValid(*settings)) return Finish(WMV_E_INVALIDARG);
  WmvWriter_Reset(writer);
  writer->settings = *settings;
  writer->settings.quality = std::fmin(std::fmax(writer->settings.quality, 1.0), 100.0);
  TSLAutoPtr<char> finalName, temporary;
  HRESULT hr = NamesOf(fileName, &finalName, &temporary);
  if (!Failed(hr)) hr = OpenSteps(writer, temporary.Get());
  if (Failed(hr)) {
    WmvWriter_Reset(writer);
    return Finish(hr);
  }
  writer->fileName = finalName.Detach();
  writer->temporaryName = temporary.Detach();  // begun: the sibling is this writer's
  return Finish(0);
}

HRESULT WmvWriter_WriteVideoFrame(WmvWriter* w, const void* pixels) {
  if (w->videoInput == kWmvNoInput || !w->writer) return Finish(WMV_E_FAIL);
  if (!pixels) return Finish(WMV_E_INVALIDARG);
  const u64 bytes = u64(WmvWriter_RowBytes(w->settings.width)) * w->settings.height;
  const HRESULT hr =
      WriteSample(w, w->videoInput, WmvWriter_SampleTime(w->videoFrames, w->settings.framesPerSecond), pixels, bytes);
  if (!Failed(hr)) ++w->videoFrames;
  return Finish(hr);
}

HRESULT WmvWriter_WriteAudioSamples(WmvWriter* w, const void* samples, u32 count) {
  if (w->audioInput == kWmvNoInput || !w->writer) return Finish(WMV_E_FAIL);
  if (!samples && count) return Finish(WMV_E_INVALIDARG);
  const u64 bytes = u64(w->settings.bitsPerSample / 8) * w->settings.channels * count;
  const HRESULT hr = WriteSample(w, w->audioInput, WmvWriter_SampleTime(w->audioFrames, w->settings.samplesPerSecond),
                                 samples, bytes);
  if (!Failed(hr)) w->audioFrames += count;
  return Finish(hr);
}
