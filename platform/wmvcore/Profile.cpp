// Profiles: the XML text that describes the streams of a file, the profile manager that
// reads it, and the stream configurations callers change and put back.
//
// The text is a <profile> element holding one <streamconfig> per stream:
//   <streamconfig majortype="{GUID}" streamnumber="1" streamname="..." bitrate="..."
//                 bufferwindow="...">
//     <videomediaprops maxkeyframespacing="..." quality="..."/>      (video only)
//     <wmmediatype subtype="{GUID}" bfixedsizesamples="0" btemporalcompression="1"
//                  lsamplesize="0">
//       <waveformatex wFormatTag="..." nChannels="..." nSamplesPerSec="..."
//                     nAvgBytesPerSec="..." nBlockAlign="..." wBitsPerSample="..."
//                     codecdata="hex bytes"/>
//       or <videoinfoheader dwbitrate="..." dwbiterrorrate="..." avgtimeperframe="...">
//            <rcsource left="" top="" right="" bottom=""/> <rctarget .../>
//            <bitmapinfoheader biwidth="" biheight="" biplanes="" bibitcount=""
//                              bicompression="FourCC" bisizeimage="" .../>
//          </videoinfoheader>
//     </wmmediatype>
//   </streamconfig>
// Names compare without case; other elements and attributes are ignored.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <set>

#include "platform/kernel32/FilePath.h"
#include "platform/modules.h"
#include "platform/wmvcore/WmvObjects.h"

namespace SLWmv {

const WMVIDEOINFOHEADER* MediaType::Video() const {
  if (!(formatType == WMFORMAT_VideoInfo) || format.size() < sizeof(WMVIDEOINFOHEADER)) return nullptr;
  return reinterpret_cast<const WMVIDEOINFOHEADER*>(format.data());
}

const WAVEFORMATEX* MediaType::Wave() const {
  if (!(formatType == WMFORMAT_WaveFormatEx) || format.size() < sizeof(WAVEFORMATEX)) return nullptr;
  return reinterpret_cast<const WAVEFORMATEX*>(format.data());
}

namespace {
constexpr DWORD kMaxFormatBytes = 65536;
}

HRESULT GetMediaType(const MediaType& type, WM_MEDIA_TYPE* out, DWORD* size) {
  if (!size) return WM_E_INVALIDARG;
  const DWORD needed = DWORD(sizeof(WM_MEDIA_TYPE) + type.format.size());
  if (!out) {
    *size = needed;
    return WM_S_OK;
  }
  if (*size < needed) {
    *size = needed;
    return WM_E_INVALIDARG;
  }
  out->majortype = type.major;
  out->subtype = type.sub;
  out->bFixedSizeSamples = type.fixedSizeSamples;
  out->bTemporalCompression = type.temporalCompression;
  out->lSampleSize = type.sampleSize;
  out->formattype = type.formatType;
  out->pUnk = nullptr;
  out->cbFormat = ULONG(type.format.size());
  out->pbFormat = reinterpret_cast<BYTE*>(out + 1);
  if (!type.format.empty()) std::memcpy(out->pbFormat, type.format.data(), type.format.size());
  *size = needed;
  return WM_S_OK;
}

HRESULT SetMediaType(MediaType* type, const WM_MEDIA_TYPE* in) {
  if (!in || in->cbFormat > kMaxFormatBytes || (in->cbFormat && !in->pbFormat)) return WM_E_INVALIDARG;
  try {
    MediaType copy;
    copy.major = in->majortype;
    copy.sub = in->subtype;
    copy.fixedSizeSamples = in->bFixedSizeSamples;
    copy.temporalCompression = in->bTemporalCompression;
    copy.sampleSize = in->lSampleSize;
    copy.formatType = in->formattype;
    copy.format.assign(in->pbFormat, in->pbFormat + in->cbFormat);
    *type = std::move(copy);
  } catch (const std::bad_alloc&) {
    return WM_E_OUTOFMEMORY;
  }
  return WM_S_OK;
}

namespace {

// --- Stream configurations ---

class StreamConfig final : public MediaProps<IWMStreamConfig> {
 public:
  explicit StreamConfig(Stream stream) : stream_(std::move(stream)) {}
  HRESULT QueryInterface(const GUID& iid, void** out) override;
  HRESULT GetStreamType(GUID* majorType) override { return GetType(majorType); }
  HRESULT GetStreamNumber(WORD* number) override {
    if (!number) return WM_E_INVALIDARG;
    *number = stream_.number;
    return WM_S_OK;
  }
  HRESULT GetBitrate(DWORD* bits) override {
    if (!bits) return WM_E_INVALIDARG;
    *bits = stream_.bitrate;
    return WM_S_OK;
  }
  HRESULT SetBitrate(DWORD bits) override {
    stream_.bitrate = bits;
    return WM_S_OK;
  }
  HRESULT GetBufferWindow(DWORD* milliseconds) override {
    if (!milliseconds) return WM_E_INVALIDARG;
    *milliseconds = stream_.bufferWindow;
    return WM_S_OK;
  }
  HRESULT SetBufferWindow(DWORD milliseconds) override {
    stream_.bufferWindow = milliseconds;
    return WM_S_OK;
  }
  Stream& Data() { return stream_; }

 private:
  MediaType* Type() override { return &stream_.type; }
  Stream stream_;
};

// The video side of a stream configuration; holds the configuration alive.
class VideoProps final : public MediaProps<IWMVideoMediaProps> {
 public:
  explicit VideoProps(StreamConfig* config) : config_(config) { config_->AddRef(); }
  ~VideoProps() override { config_->Release(); }
  HRESULT GetMaxKeyFrameSpacing(LONGLONG* spacing) override {
    if (!spacing) return WM_E_INVALIDARG;
    *spacing = config_->Data().maxKeyFrameSpacing;
    return WM_S_OK;
  }
  HRESULT SetMaxKeyFrameSpacing(LONGLONG spacing) override {
    if (spacing < 0) return WM_E_INVALIDARG;
    config_->Data().maxKeyFrameSpacing = spacing;
    return WM_S_OK;
  }
  HRESULT GetQuality(DWORD* quality) override {
    if (!quality) return WM_E_INVALIDARG;
    *quality = config_->Data().quality;
    return WM_S_OK;
  }
  HRESULT SetQuality(DWORD quality) override {
    if (quality > 100) return WM_E_INVALIDARG;
    config_->Data().quality = quality;
    return WM_S_OK;
  }

 private:
  MediaType* Type() override { return &config_->Data().type; }
  StreamConfig* config_;
};

HRESULT StreamConfig::QueryInterface(const GUID& iid, void** out) {
  if (!out) return WM_E_INVALIDARG;
  *out = nullptr;
  if (!(iid == IID_IWMVideoMediaProps) || !(stream_.type.major == WMMEDIATYPE_Video)) return E_NOINTERFACE;
  IWMVideoMediaProps* props = new (std::nothrow) VideoProps(this);
  if (!props) return WM_E_OUTOFMEMORY;
  *out = props;
  return WM_S_OK;
}

// Profiles handed out by this module, so that a foreign object is never taken for one.
std::mutex g_profileLock;
std::set<const IWMProfile*>& LiveProfiles() {
  static auto* live = new std::set<const IWMProfile*>;  // never destroyed
  return *live;
}

}  // namespace

Profile* AsProfile(IWMProfile* profile) {
  std::lock_guard<std::mutex> guard(g_profileLock);
  return LiveProfiles().count(profile) ? static_cast<Profile*>(profile) : nullptr;
}

HRESULT Profile::GetStreamCount(DWORD* count) {
  if (!count) return WM_E_INVALIDARG;
  *count = DWORD(streams.size());
  return WM_S_OK;
}

HRESULT Profile::GetStream(DWORD index, IWMStreamConfig** config) {
  if (!config) return WM_E_INVALIDARG;
  *config = nullptr;
  if (index >= streams.size()) return WM_E_INVALIDARG;
  try {
    *config = new StreamConfig(streams[index]);
  } catch (const std::bad_alloc&) {
    return WM_E_OUTOFMEMORY;
  }
  return WM_S_OK;
}

HRESULT Profile::ReconfigStream(IWMStreamConfig* config) {
  if (!config) return WM_E_INVALIDARG;
  WORD number = 0;
  if (config->GetStreamNumber(&number) != WM_S_OK) return WM_E_INVALIDARG;
  for (Stream& stream : streams) {
    if (stream.number != number) continue;
    // Only our own configurations carry the whole stream; the number identifies it.
    StreamConfig* ours = dynamic_cast<StreamConfig*>(config);
    if (!ours) return WM_E_INVALIDARG;
    try {
      stream = ours->Data();
    } catch (const std::bad_alloc&) {
      return WM_E_OUTOFMEMORY;
    }
    return WM_S_OK;
  }
  return WM_E_INVALIDARG;
}

// --- The profile text ---

namespace {

struct Element {
  std::string name;  // lower case; "/name" for a closing tag
  std::map<std::string, std::string> attributes;  // lower-case names
  bool selfClosing = false;
};

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool DecodeEntities(const std::string& raw, std::string* out) {
  static const struct {
    const char* name;
    char value;
  } kEntities[] = {{"&quot;", '"'}, {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&apos;", '\''}};
  out->clear();
  for (std::size_t i = 0; i < raw.size();) {
    if (raw[i] != '&') {
      *out += raw[i++];
      continue;
    }
    bool known = false;
    for (const auto& entity : kEntities) {
      const std::size_t length = std::strlen(entity.name);
      if (raw.compare(i, length, entity.name) == 0) {
        *out += entity.value;
        i += length;
        known = true;
        break;
      }
    }
    if (!known) return false;
  }
  return true;
}

// Splits the text into tags; text between tags, comments and declarations are skipped.
bool Tokenize(const std::string& text, std::vector<Element>* elements) {
  std::size_t at = 0;
  while ((at = text.find('<', at)) != std::string::npos) {
    if (text.compare(at, 4, "<!--") == 0) {
      const std::size_t end = text.find("-->", at + 4);
      if (end == std::string::npos) return false;
      at = end + 3;
      continue;
    }
    if (text.compare(at, 2, "<?") == 0 || text.compare(at, 2, "<!") == 0) {
      const std::size_t end = text.find('>', at);
      if (end == std::string::npos) return false;
      at = end + 1;
      continue;
    }
    Element element;
    std::size_t p = at + 1;
    const bool closing = p < text.size() && text[p] == '/';
    if (closing) ++p;
    const std::size_t nameStart = p;
    while (p < text.size() && !IsSpace(text[p]) && text[p] != '>' && text[p] != '/') ++p;
    if (p == nameStart) return false;
    element.name = (closing ? "/" : "") + Lower(text.substr(nameStart, p - nameStart));
    for (;;) {
      while (p < text.size() && IsSpace(text[p])) ++p;
      if (p >= text.size()) return false;
      if (text[p] == '>') {
        ++p;
        break;
      }
      if (text[p] == '/' && p + 1 < text.size() && text[p + 1] == '>') {
        element.selfClosing = true;
        p += 2;
        break;
      }
      if (closing) return false;
      const std::size_t keyStart = p;
      while (p < text.size() && !IsSpace(text[p]) && text[p] != '=' && text[p] != '>' && text[p] != '/') ++p;
      if (p == keyStart) return false;
      const std::string key = Lower(text.substr(keyStart, p - keyStart));
      while (p < text.size() && IsSpace(text[p])) ++p;
      if (p >= text.size() || text[p] != '=') return false;
      ++p;
      while (p < text.size() && IsSpace(text[p])) ++p;
      if (p >= text.size() || (text[p] != '"' && text[p] != '\'')) return false;
      const char quote = text[p++];
      const std::size_t valueEnd = text.find(quote, p);
      if (valueEnd == std::string::npos) return false;
      std::string value;
      if (!DecodeEntities(text.substr(p, valueEnd - p), &value)) return false;
      element.attributes[key] = std::move(value);
      p = valueEnd + 1;
    }
    elements->push_back(std::move(element));
    at = p;
  }
  return true;
}

// Attribute readers: a missing attribute keeps the default; a malformed one fails.
struct Reader {
  const Element& element;
  bool ok = true;

  const std::string* Find(const char* name) const {
    auto it = element.attributes.find(name);
    return it == element.attributes.end() ? nullptr : &it->second;
  }
  template <class Int>
  Int Number(const char* name, Int fallback) {
    const std::string* text = Find(name);
    if (!text) return fallback;
    if (text->empty()) return Int(0);
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text->c_str(), &end, 10);
    const bool fits = value >= 0 ? static_cast<unsigned long long>(value) <= static_cast<unsigned long long>(
                                                                                 std::numeric_limits<Int>::max())
                                 : std::numeric_limits<Int>::is_signed &&
                                       value >= static_cast<long long>(std::numeric_limits<Int>::min());
    if (errno || *end || !fits) {
      ok = false;
      return fallback;
    }
    return Int(value);
  }
  GUID Guid(const char* name) {
    GUID guid{};
    const std::string* text = Find(name);
    if (!text) return guid;
    unsigned parts[11];
    char tail = 0;
    if (text->size() != 38 ||
        std::sscanf(text->c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%c", &parts[0], &parts[1], &parts[2],
                    &parts[3], &parts[4], &parts[5], &parts[6], &parts[7], &parts[8], &parts[9], &parts[10],
                    &tail) != 11) {
      ok = false;
      return guid;
    }
    guid.data1 = parts[0];
    guid.data2 = WORD(parts[1]);
    guid.data3 = WORD(parts[2]);
    for (int i = 0; i < 8; ++i) guid.data4[i] = BYTE(parts[3 + i]);
    return guid;
  }
  std::vector<BYTE> Hex(const char* name) {
    std::vector<BYTE> bytes;
    const std::string* text = Find(name);
    if (!text) return bytes;
    if (text->size() % 2) {
      ok = false;
      return bytes;
    }
    for (std::size_t i = 0; i < text->size(); i += 2) {
      unsigned value = 0;
      if (!std::isxdigit(static_cast<unsigned char>((*text)[i])) ||
          !std::isxdigit(static_cast<unsigned char>((*text)[i + 1])) ||
          std::sscanf(text->substr(i, 2).c_str(), "%2x", &value) != 1) {
        ok = false;
        return bytes;
      }
      bytes.push_back(BYTE(value));
    }
    return bytes;
  }
  // A FourCC written as four characters, or as a number.
  DWORD FourCC(const char* name) {
    const std::string* text = Find(name);
    if (!text) return 0;
    if (text->size() == 4 && !std::isdigit(static_cast<unsigned char>((*text)[0])))
      return DWORD(BYTE((*text)[0])) | DWORD(BYTE((*text)[1])) << 8 | DWORD(BYTE((*text)[2])) << 16 |
             DWORD(BYTE((*text)[3])) << 24;
    return Number<DWORD>(name, 0);
  }
};

void ReadRect(Reader& reader, WMRECT* rect) {
  rect->left = reader.Number<LONG>("left", 0);
  rect->top = reader.Number<LONG>("top", 0);
  rect->right = reader.Number<LONG>("right", 0);
  rect->bottom = reader.Number<LONG>("bottom", 0);
}

WMVIDEOINFOHEADER* VideoHeader(Stream* stream) {
  if (stream->type.format.size() < sizeof(WMVIDEOINFOHEADER)) return nullptr;
  return reinterpret_cast<WMVIDEOINFOHEADER*>(stream->type.format.data());
}

}  // namespace

bool ParseProfile(const std::string& text, std::vector<Stream>* streams) {
  std::vector<Element> elements;
  if (!Tokenize(text, &elements)) return false;
  streams->clear();
  Stream* current = nullptr;
  bool sawProfile = false, closedProfile = false;
  for (const Element& element : elements) {
    Reader reader{element};
    if (element.name == "profile") {
      sawProfile = true;
      closedProfile = element.selfClosing;
    } else if (element.name == "/profile") {
      closedProfile = sawProfile;
    } else if (element.name == "streamconfig") {
      if (current) return false;  // streams do not nest
      streams->emplace_back();
      current = &streams->back();
      current->type.major = reader.Guid("majortype");
      current->number = reader.Number<WORD>("streamnumber", 0);
      current->name = reader.Find("streamname") ? *reader.Find("streamname") : std::string();
      current->bitrate = reader.Number<DWORD>("bitrate", 0);
      current->bufferWindow = reader.Number<DWORD>("bufferwindow", 0);
      if (element.selfClosing) current = nullptr;
    } else if (element.name == "/streamconfig") {
      if (!current) return false;
      current = nullptr;
    } else if (!current) {
      continue;  // outside a stream: nothing else is read
    } else if (element.name == "videomediaprops") {
      current->maxKeyFrameSpacing = reader.Number<LONGLONG>("maxkeyframespacing", 0);
      current->quality = reader.Number<DWORD>("quality", 0);
    } else if (element.name == "wmmediatype") {
      current->type.sub = reader.Guid("subtype");
      current->type.fixedSizeSamples = reader.Number<BOOL>("bfixedsizesamples", 0);
      current->type.temporalCompression = reader.Number<BOOL>("btemporalcompression", 0);
      current->type.sampleSize = reader.Number<ULONG>("lsamplesize", 0);
    } else if (element.name == "waveformatex") {
      WAVEFORMATEX wave{};
      wave.wFormatTag = reader.Number<WORD>("wformattag", 0);
      wave.nChannels = reader.Number<WORD>("nchannels", 0);
      wave.nSamplesPerSec = reader.Number<DWORD>("nsamplespersec", 0);
      wave.nAvgBytesPerSec = reader.Number<DWORD>("navgbytespersec", 0);
      wave.nBlockAlign = reader.Number<WORD>("nblockalign", 0);
      wave.wBitsPerSample = reader.Number<WORD>("wbitspersample", 0);
      const std::vector<BYTE> extra = reader.Hex("codecdata");
      if (extra.size() > 0xFFFF) return false;
      wave.cbSize = WORD(extra.size());
      current->type.formatType = WMFORMAT_WaveFormatEx;
      current->type.format.resize(sizeof wave);
      std::memcpy(current->type.format.data(), &wave, sizeof wave);
      current->type.format.insert(current->type.format.end(), extra.begin(), extra.end());
    } else if (element.name == "videoinfoheader") {
      WMVIDEOINFOHEADER header{};
      header.dwBitRate = reader.Number<DWORD>("dwbitrate", 0);
      header.dwBitErrorRate = reader.Number<DWORD>("dwbiterrorrate", 0);
      header.AvgTimePerFrame = reader.Number<LONGLONG>("avgtimeperframe", 0);
      header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
      current->type.formatType = WMFORMAT_VideoInfo;
      current->type.format.assign(reinterpret_cast<BYTE*>(&header), reinterpret_cast<BYTE*>(&header + 1));
    } else if (element.name == "rcsource" || element.name == "rctarget") {
      WMVIDEOINFOHEADER* header = VideoHeader(current);
      if (!header) return false;
      ReadRect(reader, element.name == "rcsource" ? &header->rcSource : &header->rcTarget);
    } else if (element.name == "bitmapinfoheader") {
      WMVIDEOINFOHEADER* header = VideoHeader(current);
      if (!header) return false;
      BITMAPINFOHEADER& bitmap = header->bmiHeader;
      bitmap.biWidth = reader.Number<LONG>("biwidth", 0);
      bitmap.biHeight = reader.Number<LONG>("biheight", 0);
      bitmap.biPlanes = reader.Number<WORD>("biplanes", 1);
      bitmap.biBitCount = reader.Number<WORD>("bibitcount", 0);
      bitmap.biCompression = reader.FourCC("bicompression");
      bitmap.biSizeImage = reader.Number<DWORD>("bisizeimage", 0);
      bitmap.biXPelsPerMeter = reader.Number<LONG>("bixpelspermeter", 0);
      bitmap.biYPelsPerMeter = reader.Number<LONG>("biypelspermeter", 0);
      bitmap.biClrUsed = reader.Number<DWORD>("biclrused", 0);
      bitmap.biClrImportant = reader.Number<DWORD>("biclrimportant", 0);
    }
    if (!reader.ok) return false;
  }
  if (!closedProfile || current || streams->empty()) return false;
  std::set<WORD> numbers;
  for (const Stream& stream : *streams) {
    if (stream.number == 0 || stream.number > 127 || !numbers.insert(stream.number).second) return false;
    if (stream.type.major == WMMEDIATYPE_Audio) {
      const WAVEFORMATEX* wave = stream.type.Wave();
      if (!wave || wave->nChannels == 0 || wave->nSamplesPerSec == 0) return false;
    } else if (stream.type.major == WMMEDIATYPE_Video) {
      if (!stream.type.Video()) return false;
    } else {
      return false;
    }
  }
  return true;
}

namespace {

class ProfileManager final : public SLSoundCounted<IWMProfileManager2> {
 public:
  HRESULT QueryInterface(const GUID& iid, void** out) override {
    if (!out) return WM_E_INVALIDARG;
    *out = nullptr;
    if (!(iid == IID_IWMProfileManager2)) return E_NOINTERFACE;
    AddRef();
    *out = static_cast<IWMProfileManager2*>(this);
    return WM_S_OK;
  }
  HRESULT LoadProfileByData(const char16_t* text, IWMProfile** out) override {
    if (!text || !out) return WM_E_INVALIDARG;
    *out = nullptr;
    try {
      std::string utf8;
      if (!SLPlatformFile::Utf16ToUtf8(text, &utf8)) return WM_E_INVALIDARG;
      auto* profile = new ProfileRecord;
      if (!ParseProfile(utf8, &profile->streams)) {
        profile->Release();
        return WM_E_INVALIDARG;
      }
      *out = profile;
    } catch (const std::bad_alloc&) {
      return WM_E_OUTOFMEMORY;
    }
    return WM_S_OK;
  }
  HRESULT GetSystemProfileVersion(DWORD* version) override {
    if (!version) return WM_E_INVALIDARG;
    *version = version_;
    return WM_S_OK;
  }
  HRESULT SetSystemProfileVersion(DWORD version) override {
    version_ = version;
    return WM_S_OK;
  }

 private:
  // A profile registered as live for its lifetime.
  struct ProfileRecord final : Profile {
    ProfileRecord() {
      std::lock_guard<std::mutex> guard(g_profileLock);
      LiveProfiles().insert(this);
    }
    ~ProfileRecord() override {
      std::lock_guard<std::mutex> guard(g_profileLock);
      LiveProfiles().erase(this);
    }
  };
  DWORD version_ = 0x00090000;
};

}  // namespace

}  // namespace SLWmv

HRESULT WMCreateProfileManager(IWMProfileManager** out) {
  if (!out) return WM_E_INVALIDARG;
  *out = new (std::nothrow) SLWmv::ProfileManager;
  return *out ? WM_S_OK : WM_E_OUTOFMEMORY;
}
