// The writer: inputs of uncompressed pictures (RGB24) and PCM sound, encoded by FFmpeg
// into one ASF file. The profile's video stream is written as Windows Media Video 8 at
// the stream's picture size, bit rate, picture time and key-frame spacing; its audio
// stream as Windows Media Audio 2 at the stream's rate, channels and bit rate. Pictures
// are scaled and converted to YUV 4:2:0, sound resampled, as the inputs require.
//
// A sample's time stamps it in its stream. Video pictures that fall on a time already
// taken move to the next free one; sound that starts later than the end of the sound
// before it is preceded by silence, so that the two streams stay in step.
//
// The file goes through our own I/O callbacks: the error of a failing write (a full
// disk above all) reaches the caller as its code, and a test can set a size limit.
//
// Two writers of one file (two copies of the program exporting the same movie) must not
// write into each other's: the file is claimed with an flock(2) lock (kernel32's claim,
// FileClaim.cpp) that a second descriptor keeps from BeginWriting until the writer is
// released, past EndWriting, so that the caller's rename or removal of the finished file
// is also done under it.
#include <fcntl.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "platform/kernel32/File.h"
#include "platform/kernel32/FilePath.h"
#include "platform/modules.h"
#include "platform/msacm32/Acm.h"
#include "platform/wmvcore/WmvObjects.h"

namespace SLWmv {
namespace {

constexpr LONGLONG kUnitsPerSecond = 10000000;
constexpr DWORD kMaxSampleBytes = 256u << 20;
constexpr int kMaxPictureSide = 8192;

std::atomic<QWORD> g_writeLimit{0};

HRESULT FromErrno(int error) {
  switch (error) {
    case ENOMEM: return WM_E_OUTOFMEMORY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return WM_E_DISK_FULL;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG: return WM_E_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return WM_E_ACCESS_DENIED;
    default: return WM_E_FAIL;
  }
}

// FFmpeg's errors are negated errno values, or its own tags (which are not errno).
HRESULT FromAv(int error) {
  if (error >= 0) return WM_S_OK;
  if (error > -4096) return FromErrno(-error);
  return WM_E_FAIL;
}

// --- The output file ---

struct OutputFile {
  int fd = -1;
  std::int64_t position = 0;
  std::int64_t size = 0;
};

int WriteFile(void* opaque, std::uint8_t* data, int length) {
  auto* file = static_cast<OutputFile*>(opaque);
  const QWORD limit = g_writeLimit.load(std::memory_order_relaxed);
  if (limit && QWORD(file->position) + QWORD(length) > limit) return AVERROR(ENOSPC);
  for (int done = 0; done < length;) {
    const ssize_t wrote = ::write(file->fd, data + done, std::size_t(length - done));
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return AVERROR(errno);
    }
    if (wrote == 0) return AVERROR(ENOSPC);
    done += int(wrote);
  }
  file->position += length;
  if (file->position > file->size) file->size = file->position;
  return length;
}

// Creates `path` afresh and locks it (see ClaimHostFile): a file of that name held by
// another writer is refused (0x80070020) and left as it is; one a writer left behind
// goes; a link, a folder or a pipe under the name is refused as access denied.
HRESULT ClaimFile(const std::string& path, int* out) {
  const int error = SLPlatformFile::ClaimHostFile(path, out);
  if (error == 0) return WM_S_OK;
  if (error == EWOULDBLOCK) return WM_E_SHARING_VIOLATION;
  return error == EEXIST ? WM_E_ACCESS_DENIED : FromErrno(error);
}

std::int64_t SeekFile(void* opaque, std::int64_t offset, int whence) {
  auto* file = static_cast<OutputFile*>(opaque);
  if (whence & AVSEEK_SIZE) return file->size;
  const off_t at = ::lseek(file->fd, off_t(offset), whence & ~AVSEEK_FORCE);
  if (at < 0) return AVERROR(errno);
  file->position = at;
  return at;
}

// --- Samples ---

class Sample final : public SLSoundCounted<INSSBuffer> {
 public:
  explicit Sample(DWORD size) : data_(size), length_(size) {}
  HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) override {
    if (!buffer || !length) return WM_E_INVALIDARG;
    *buffer = data_.data();
    *length = length_;
    return WM_S_OK;
  }
  HRESULT SetLength(DWORD length) override {
    if (length > data_.size()) return WM_E_INVALIDARG;
    length_ = length;
    return WM_S_OK;
  }
  const BYTE* Data() const { return data_.data(); }
  DWORD Length() const { return length_; }

 private:
  std::vector<BYTE> data_;
  DWORD length_;
};

// --- Encoders ---

struct Encoder {
  bool video = false;
  AVCodecContext* codec = nullptr;
  AVStream* stream = nullptr;
  AVFrame* frame = nullptr;
  std::int64_t nextPts = 0;  // video: the first free picture slot; audio: output samples sent
  // Video input.
  SwsContext* scaler = nullptr;
  int inWidth = 0, inHeight = 0, inRowBytes = 0;
  bool bottomUp = true;
  // Audio input.
  SwrContext* resampler = nullptr;
  AVAudioFifo* fifo = nullptr;
  int inRate = 0, inChannels = 0, inBlock = 0;
  AVSampleFormat inFormat = AV_SAMPLE_FMT_NONE;
  std::int64_t inputFrames = 0;  // input sample frames taken, silence included

  ~Encoder() {
    sws_freeContext(scaler);
    swr_free(&resampler);
    if (fifo) av_audio_fifo_free(fifo);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
  }
};

class Writer;

class HeaderInfo final : public SLSoundCounted<IWMHeaderInfo3> {
 public:
  explicit HeaderInfo(Writer* writer);
  ~HeaderInfo() override;
  HRESULT SetAttribute(WORD streamNumber, const char16_t* name, DWORD type, const BYTE* value, WORD length) override;

 private:
  Writer* writer_;
};

class Writer final : public SLSoundCounted<IWMWriter> {
 public:
  ~Writer() override {
    if (format_) EndWriting();
    Unclaim();
  }
  HRESULT QueryInterface(const GUID& iid, void** out) override {
    if (!out) return WM_E_INVALIDARG;
    *out = nullptr;
    if (!(iid == IID_IWMHeaderInfo3)) return E_NOINTERFACE;
    IWMHeaderInfo3* info = new (std::nothrow) HeaderInfo(this);
    if (!info) return WM_E_OUTOFMEMORY;
    *out = info;
    return WM_S_OK;
  }
  HRESULT SetProfile(IWMProfile* profile) override;
  HRESULT SetOutputFilename(const char16_t* fileName) override;
  HRESULT GetInputCount(DWORD* count) override {
    if (!count) return WM_E_INVALIDARG;
    *count = DWORD(inputs_.size());
    return WM_S_OK;
  }
  HRESULT GetInputProps(DWORD input, IWMInputMediaProps** props) override;
  HRESULT SetInputProps(DWORD input, IWMInputMediaProps* props) override;
  HRESULT BeginWriting() override;
  HRESULT EndWriting() override;
  HRESULT AllocateSample(DWORD size, INSSBuffer** sample) override;
  HRESULT WriteSample(DWORD input, QWORD sampleTime, DWORD flags, INSSBuffer* sample) override;

  HRESULT AddAttribute(std::string name, std::string value) {
    if (format_) return WM_E_INVALIDARG;
    try {
      attributes_.emplace_back(std::move(name), std::move(value));
    } catch (const std::bad_alloc&) {
      return WM_E_OUTOFMEMORY;
    }
    return WM_S_OK;
  }

 private:
  HRESULT OpenVideo(const Stream& stream, const MediaType& input, Encoder* encoder);
  HRESULT OpenAudio(const Stream& stream, const MediaType& input, Encoder* encoder);
  HRESULT Begin();
  HRESULT Send(Encoder* encoder, AVFrame* frame);
  HRESULT WriteVideo(Encoder* encoder, QWORD time, const BYTE* data, DWORD length);
  HRESULT WriteAudio(Encoder* encoder, QWORD time, const BYTE* data, DWORD length);
  HRESULT PushAudio(Encoder* encoder, const BYTE* data, int frames);
  HRESULT DrainAudio(Encoder* encoder, bool final);
  // Frees the muxer, the encoders and the I/O; closes the file (false: its close failed).
  // The claim on it stays.
  bool Close();
  // Lets the file go to other writers.
  void Unclaim() {
    if (claim_ >= 0) ::close(claim_);
    claim_ = -1;
  }

  std::vector<Stream> streams_;
  std::vector<MediaType> inputs_;
  std::string path_;
  std::vector<std::pair<std::string, std::string>> attributes_;
  // While writing.
  AVFormatContext* format_ = nullptr;
  AVIOContext* io_ = nullptr;
  OutputFile file_;
  int claim_ = -1;  // the lock's own descriptor of the file begun last, until release
  std::vector<std::unique_ptr<Encoder>> encoders_;
  HRESULT failure_ = WM_S_OK;  // the first failing write, reported again by EndWriting
};

HeaderInfo::HeaderInfo(Writer* writer) : writer_(writer) { writer_->AddRef(); }
HeaderInfo::~HeaderInfo() { writer_->Release(); }

HRESULT HeaderInfo::SetAttribute(WORD, const char16_t* name, DWORD type, const BYTE* value, WORD length) {
  if (!name || (length && !value) || type != WMT_TYPE_STRING || length % 2) return WM_E_INVALIDARG;
  try {
    std::u16string text(reinterpret_cast<const char16_t*>(value), length / 2);
    while (!text.empty() && text.back() == 0) text.pop_back();
    std::string utf8Name, utf8Value;
    if (!SLPlatformFile::Utf16ToUtf8(name, &utf8Name) || !SLPlatformFile::Utf16ToUtf8(text.c_str(), &utf8Value) ||
        utf8Name.empty())
      return WM_E_INVALIDARG;
    return writer_->AddAttribute(std::move(utf8Name), std::move(utf8Value));
  } catch (const std::bad_alloc&) {
    return WM_E_OUTOFMEMORY;
  }
}

// The input an uncompressed stream takes by default: RGB24 pictures of the stream's
// size, or 16-bit PCM of its rate and channels.
MediaType DefaultInput(const Stream& stream) {
  MediaType input;
  input.major = stream.type.major;
  if (const WMVIDEOINFOHEADER* video = stream.type.Video()) {
    WMVIDEOINFOHEADER header = *video;
    header.bmiHeader.biBitCount = 24;
    header.bmiHeader.biCompression = BI_RGB;
    const LONG width = header.bmiHeader.biWidth, height = header.bmiHeader.biHeight < 0 ? -header.bmiHeader.biHeight
                                                                                        : header.bmiHeader.biHeight;
    header.bmiHeader.biSizeImage = DWORD((std::int64_t(width) * 24 + 31) / 32 * 4 * height);
    input.sub = WMMEDIASUBTYPE_RGB24;
    input.fixedSizeSamples = 1;
    input.sampleSize = header.bmiHeader.biSizeImage;
    input.formatType = WMFORMAT_VideoInfo;
    input.format.assign(reinterpret_cast<BYTE*>(&header), reinterpret_cast<BYTE*>(&header + 1));
  } else if (const WAVEFORMATEX* compressed = stream.type.Wave()) {
    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = compressed->nChannels;
    wave.nSamplesPerSec = compressed->nSamplesPerSec;
    wave.wBitsPerSample = 16;
    wave.nBlockAlign = WORD(wave.nChannels * 2);
    wave.nAvgBytesPerSec = wave.nBlockAlign * wave.nSamplesPerSec;
    input.sub = WMMEDIASUBTYPE_PCM;
    input.fixedSizeSamples = 1;
    input.sampleSize = wave.nBlockAlign;
    input.formatType = WMFORMAT_WaveFormatEx;
    input.format.assign(reinterpret_cast<BYTE*>(&wave), reinterpret_cast<BYTE*>(&wave + 1));
  }
  return input;
}

HRESULT Writer::SetProfile(IWMProfile* profile) {
  if (format_) return WM_E_INVALIDARG;
  Profile* ours = profile ? AsProfile(profile) : nullptr;
  if (!ours) return WM_E_INVALIDARG;
  try {
    std::vector<MediaType> inputs;
    for (const Stream& stream : ours->streams) inputs.push_back(DefaultInput(stream));
    streams_ = ours->streams;
    inputs_ = std::move(inputs);
  } catch (const std::bad_alloc&) {
    return WM_E_OUTOFMEMORY;
  }
  return WM_S_OK;
}

HRESULT Writer::SetOutputFilename(const char16_t* fileName) {
  if (format_ || !fileName || !*fileName) return WM_E_INVALIDARG;
  try {
    std::string host;
    if (!SLPlatformFile::HostPathW(fileName, &host)) return WM_E_INVALIDARG;
    path_ = std::move(host);
  } catch (const std::bad_alloc&) {
    return WM_E_OUTOFMEMORY;
  }
  return WM_S_OK;
}

HRESULT Writer::GetInputProps(DWORD input, IWMInputMediaProps** props) {
  if (!props) return WM_E_INVALIDARG;
  *props = nullptr;
  if (input >= inputs_.size()) return WM_E_INVALIDARG;
  try {
    *props = new InputProps(inputs_[input]);
  } catch (const std::bad_alloc&) {
    return WM_E_OUTOFMEMORY;
  }
  return WM_S_OK;
}

HRESULT Writer::SetInputProps(DWORD input, IWMInputMediaProps* props) {
  if (format_ || input >= inputs_.size() || !props) return WM_E_INVALIDARG;
  auto* ours = dynamic_cast<InputProps*>(props);
  if (!ours || !(ours->Get().major == streams_[input].type.major)) return WM_E_INVALIDARG;
  try {
    inputs_[input] = ours->Get();
  } catch (const std::bad_alloc&) {
    return WM_E_OUTOFMEMORY;
  }
  return WM_S_OK;
}

HRESULT Writer::OpenVideo(const Stream& stream, const MediaType& input, Encoder* encoder) {
  const WMVIDEOINFOHEADER* out = stream.type.Video();
  const WMVIDEOINFOHEADER* in = input.Video();
  if (!out || !in || !(input.sub == WMMEDIASUBTYPE_RGB24)) return WM_E_INVALIDARG;
  const std::int64_t width = out->bmiHeader.biWidth, height = std::abs(std::int64_t(out->bmiHeader.biHeight));
  const std::int64_t inWidth = in->bmiHeader.biWidth, inHeight = std::abs(std::int64_t(in->bmiHeader.biHeight));
  if (width <= 0 || height <= 0 || width % 2 || height % 2 || width > kMaxPictureSide || height > kMaxPictureSide ||
      inWidth <= 0 || inHeight <= 0 || inWidth > kMaxPictureSide || inHeight > kMaxPictureSide ||
      in->bmiHeader.biBitCount != 24 || in->bmiHeader.biCompression != BI_RGB || out->AvgTimePerFrame <= 0 ||
      stream.bitrate == 0)
    return WM_E_INVALIDARG;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMV2);
  if (!codec) return WM_E_FAIL;
  encoder->video = true;
  encoder->codec = avcodec_alloc_context3(codec);
  encoder->frame = av_frame_alloc();
  if (!encoder->codec || !encoder->frame) return WM_E_OUTOFMEMORY;
  AVCodecContext* context = encoder->codec;
  context->width = int(width);
  context->height = int(height);
  context->pix_fmt = AV_PIX_FMT_YUV420P;
  context->time_base = av_d2q(double(out->AvgTimePerFrame) / kUnitsPerSecond, 65535);
  if (context->time_base.num <= 0 || context->time_base.den <= 0) return WM_E_INVALIDARG;
  context->framerate = av_inv_q(context->time_base);
  context->bit_rate = stream.bitrate;
  // The key-frame spacing is a time; the encoder counts pictures.
  const LONGLONG spacing = stream.maxKeyFrameSpacing / out->AvgTimePerFrame;
  context->gop_size = spacing < 1 ? 1 : spacing > 600 ? 600 : int(spacing);
  context->flags |= AV_CODEC_FLAG_BITEXACT;
  if (format_->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (int error = avcodec_open2(context, codec, nullptr); error < 0)
    return error == AVERROR(ENOMEM) ? WM_E_OUTOFMEMORY : WM_E_INVALIDARG;
  encoder->inWidth = int(inWidth);
  encoder->inHeight = int(inHeight);
  encoder->inRowBytes = int((inWidth * 24 + 31) / 32 * 4);
  encoder->bottomUp = in->bmiHeader.biHeight > 0;
  encoder->scaler = sws_getContext(encoder->inWidth, encoder->inHeight, AV_PIX_FMT_BGR24, context->width,
                                   context->height, AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                                   nullptr, nullptr, nullptr);
  if (!encoder->scaler) return WM_E_OUTOFMEMORY;
  encoder->frame->format = context->pix_fmt;
  encoder->frame->width = context->width;
  encoder->frame->height = context->height;
  if (av_frame_get_buffer(encoder->frame, 0) < 0) return WM_E_OUTOFMEMORY;
  return WM_S_OK;
}

HRESULT Writer::OpenAudio(const Stream& stream, const MediaType& input, Encoder* encoder) {
  const WAVEFORMATEX* out = stream.type.Wave();
  const WAVEFORMATEX* in = input.Wave();
  if (!out || !in || !(input.sub == WMMEDIASUBTYPE_PCM) || in->wFormatTag != WAVE_FORMAT_PCM) return WM_E_INVALIDARG;
  if ((in->wBitsPerSample != 8 && in->wBitsPerSample != 16) || in->nChannels == 0 || in->nChannels > 8 ||
      in->nSamplesPerSec < 1000 || in->nSamplesPerSec > 192000 ||
      in->nBlockAlign != in->nChannels * in->wBitsPerSample / 8 || out->nChannels == 0 || out->nChannels > 2 ||
      out->nSamplesPerSec < 8000 || out->nSamplesPerSec > 48000)
    return WM_E_INVALIDARG;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
  if (!codec) return WM_E_FAIL;
  encoder->codec = avcodec_alloc_context3(codec);
  encoder->frame = av_frame_alloc();
  if (!encoder->codec || !encoder->frame) return WM_E_OUTOFMEMORY;
  AVCodecContext* context = encoder->codec;
  context->sample_fmt = AV_SAMPLE_FMT_FLTP;
  context->sample_rate = int(out->nSamplesPerSec);
  av_channel_layout_default(&context->ch_layout, out->nChannels);
  // The compressed format fixes the audio bit rate, whatever the stream's own figure.
  context->bit_rate = out->nAvgBytesPerSec ? std::int64_t(out->nAvgBytesPerSec) * 8 : 128000;
  context->time_base = AVRational{1, context->sample_rate};
  context->flags |= AV_CODEC_FLAG_BITEXACT;
  if (format_->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (int error = avcodec_open2(context, codec, nullptr); error < 0)
    return error == AVERROR(ENOMEM) ? WM_E_OUTOFMEMORY : WM_E_INVALIDARG;
  encoder->inRate = int(in->nSamplesPerSec);
  encoder->inChannels = in->nChannels;
  encoder->inBlock = in->nBlockAlign;
  encoder->inFormat = in->wBitsPerSample == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
  AVChannelLayout inLayout;
  av_channel_layout_default(&inLayout, encoder->inChannels);
  if (swr_alloc_set_opts2(&encoder->resampler, &context->ch_layout, context->sample_fmt, context->sample_rate,
                          &inLayout, encoder->inFormat, encoder->inRate, 0, nullptr) < 0 ||
      swr_init(encoder->resampler) < 0)
    return WM_E_OUTOFMEMORY;
  encoder->fifo = av_audio_fifo_alloc(context->sample_fmt, context->ch_layout.nb_channels, context->sample_rate);
  if (!encoder->fifo) return WM_E_OUTOFMEMORY;
  encoder->frame->format = context->sample_fmt;
  encoder->frame->nb_samples = context->frame_size > 0 ? context->frame_size : 2048;
  if (av_channel_layout_copy(&encoder->frame->ch_layout, &context->ch_layout) < 0 ||
      av_frame_get_buffer(encoder->frame, 0) < 0)
    return WM_E_OUTOFMEMORY;
  return WM_S_OK;
}

HRESULT Writer::Begin() {
  SLPlatformQuietCodecs();
  if (avformat_alloc_output_context2(&format_, nullptr, "asf", nullptr) < 0 || !format_) return WM_E_OUTOFMEMORY;
  format_->flags |= AVFMT_FLAG_BITEXACT;
  for (const auto& [name, value] : attributes_)
    if (av_dict_set(&format_->metadata, name.c_str(), value.c_str(), 0) < 0) return WM_E_OUTOFMEMORY;
  for (std::size_t i = 0; i < streams_.size(); ++i) {
    encoders_.push_back(std::make_unique<Encoder>());
    Encoder* encoder = encoders_.back().get();
    const HRESULT opened = streams_[i].type.major == WMMEDIATYPE_Video ? OpenVideo(streams_[i], inputs_[i], encoder)
                                                                       : OpenAudio(streams_[i], inputs_[i], encoder);
    if (opened != WM_S_OK) return opened;
    encoder->stream = avformat_new_stream(format_, nullptr);
    if (!encoder->stream) return WM_E_OUTOFMEMORY;
    encoder->stream->id = streams_[i].number;
    encoder->stream->time_base = encoder->codec->time_base;
    if (avcodec_parameters_from_context(encoder->stream->codecpar, encoder->codec) < 0) return WM_E_OUTOFMEMORY;
  }
  Unclaim();  // a file begun earlier by this writer is no longer its own
  file_ = OutputFile{};
  if (HRESULT claimed = ClaimFile(path_, &file_.fd); claimed != WM_S_OK) return claimed;
  // The lock belongs to the open file, not the descriptor: a duplicate keeps it when the
  // file is closed at the end.
  claim_ = ::fcntl(file_.fd, F_DUPFD_CLOEXEC, 0);
  if (claim_ < 0) return FromErrno(errno);
  constexpr int kBufferBytes = 1 << 15;  // small enough that a full disk shows soon
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
  if (!buffer) return WM_E_OUTOFMEMORY;
  io_ = avio_alloc_context(buffer, kBufferBytes, 1, &file_, nullptr, WriteFile, SeekFile);
  if (!io_) {
    av_free(buffer);
    return WM_E_OUTOFMEMORY;
  }
  format_->pb = io_;
  if (int error = avformat_write_header(format_, nullptr); error < 0) return FromAv(error);
  avio_flush(io_);
  return io_->error < 0 ? FromAv(io_->error) : WM_S_OK;
}

HRESULT Writer::BeginWriting() {
  if (format_ || streams_.empty() || path_.empty()) return WM_E_INVALIDARG;
  HRESULT result;
  try {
    result = Begin();
  } catch (const std::bad_alloc&) {
    result = WM_E_OUTOFMEMORY;
  }
  if (result != WM_S_OK) {
    // A file that could not be started is of no use to anyone: it goes again, before
    // the lock, so that no other writer has begun it meanwhile.
    if (file_.fd >= 0) ::unlink(path_.c_str());
    Close();
    Unclaim();
    return result;
  }
  failure_ = WM_S_OK;
  return WM_S_OK;
}

bool Writer::Close() {
  encoders_.clear();
  if (format_) format_->pb = nullptr;
  avformat_free_context(format_);
  format_ = nullptr;
  if (io_) {
    av_freep(&io_->buffer);
    avio_context_free(&io_);
  }
  bool closed = true;
  if (file_.fd >= 0) closed = ::close(file_.fd) == 0;
  file_.fd = -1;
  return closed;
}

HRESULT Writer::Send(Encoder* encoder, AVFrame* frame) {
  int error = avcodec_send_frame(encoder->codec, frame);
  if (error < 0) return FromAv(error);
  AVPacket* packet = av_packet_alloc();
  if (!packet) return WM_E_OUTOFMEMORY;
  HRESULT result = WM_S_OK;
  while ((error = avcodec_receive_packet(encoder->codec, packet)) >= 0) {
    av_packet_rescale_ts(packet, encoder->codec->time_base, encoder->stream->time_base);
    packet->stream_index = encoder->stream->index;
    if (int written = av_interleaved_write_frame(format_, packet); written < 0) {
      result = FromAv(written);
      break;
    }
  }
  if (result == WM_S_OK && error != AVERROR(EAGAIN) && error != AVERROR_EOF) result = FromAv(error);
  av_packet_free(&packet);
  if (result == WM_S_OK && io_->error < 0) result = FromAv(io_->error);
  return result;
}

HRESULT Writer::WriteVideo(Encoder* encoder, QWORD time, const BYTE* data, DWORD length) {
  if (std::int64_t(length) < std::int64_t(encoder->inRowBytes) * encoder->inHeight) return WM_E_INVALIDARG;
  if (av_frame_make_writable(encoder->frame) < 0) return WM_E_OUTOFMEMORY;
  // Bottom-up rows are read from the last row up, with a negative stride.
  const BYTE* first = data;
  int stride = encoder->inRowBytes;
  if (encoder->bottomUp) {
    first = data + std::int64_t(encoder->inRowBytes) * (encoder->inHeight - 1);
    stride = -stride;
  }
  const std::uint8_t* planes[1] = {first};
  sws_scale(encoder->scaler, planes, &stride, 0, encoder->inHeight, encoder->frame->data, encoder->frame->linesize);
  std::int64_t pts = av_rescale_q_rnd(std::int64_t(time & 0x7FFFFFFFFFFFFFFFull), AVRational{1, kUnitsPerSecond},
                                      encoder->codec->time_base, AV_ROUND_NEAR_INF);
  if (pts < encoder->nextPts) pts = encoder->nextPts;
  encoder->frame->pts = pts;
  encoder->nextPts = pts + 1;
  return Send(encoder, encoder->frame);
}

HRESULT Writer::DrainAudio(Encoder* encoder, bool final) {
  AVCodecContext* context = encoder->codec;
  const int frameSize = encoder->frame->nb_samples;
  for (;;) {
    const int queued = av_audio_fifo_size(encoder->fifo);
    if (queued == 0 || (queued < frameSize && !final)) return WM_S_OK;
    if (av_frame_make_writable(encoder->frame) < 0) return WM_E_OUTOFMEMORY;
    const int take = queued < frameSize ? queued : frameSize;
    if (av_audio_fifo_read(encoder->fifo, reinterpret_cast<void**>(encoder->frame->data), take) != take)
      return WM_E_FAIL;
    // The encoder takes whole frames only: the last one is completed with silence.
    if (take < frameSize)
      av_samples_set_silence(encoder->frame->data, take, frameSize - take, context->ch_layout.nb_channels,
                             context->sample_fmt);
    encoder->frame->pts = encoder->nextPts;
    encoder->nextPts += frameSize;
    if (HRESULT sent = Send(encoder, encoder->frame); sent != WM_S_OK) return sent;
  }
}

HRESULT Writer::PushAudio(Encoder* encoder, const BYTE* data, int frames) {
  const int room = swr_get_out_samples(encoder->resampler, frames);
  if (room < 0) return WM_E_FAIL;
  AVFrame* converted = av_frame_alloc();
  if (!converted) return WM_E_OUTOFMEMORY;
  converted->format = encoder->codec->sample_fmt;
  converted->nb_samples = room > 0 ? room : 1;
  HRESULT result = WM_S_OK;
  if (av_channel_layout_copy(&converted->ch_layout, &encoder->codec->ch_layout) < 0 ||
      av_frame_get_buffer(converted, 0) < 0) {
    result = WM_E_OUTOFMEMORY;
  } else {
    const std::uint8_t* in[1] = {data};
    const int got = swr_convert(encoder->resampler, converted->data, converted->nb_samples, data ? in : nullptr,
                                frames);
    if (got < 0)
      result = WM_E_FAIL;
    else if (got > 0 && av_audio_fifo_write(encoder->fifo, reinterpret_cast<void**>(converted->data), got) != got)
      result = WM_E_OUTOFMEMORY;
  }
  av_frame_free(&converted);
  if (result == WM_S_OK) result = DrainAudio(encoder, false);
  return result;
}

HRESULT Writer::WriteAudio(Encoder* encoder, QWORD time, const BYTE* data, DWORD length) {
  if (length % DWORD(encoder->inBlock)) return WM_E_INVALIDARG;
  // Sound that starts after the end of what came before: silence fills the gap (an hour
  // at most per sample, so a wild time stamp cannot fill the disk).
  const std::int64_t startFrame =
      av_rescale_q(std::int64_t(time & 0x7FFFFFFFFFFFFFFFull), AVRational{1, kUnitsPerSecond}, AVRational{1, encoder->inRate});
  std::int64_t gap = startFrame - encoder->inputFrames;
  if (gap > std::int64_t(encoder->inRate) * 3600) gap = std::int64_t(encoder->inRate) * 3600;
  if (gap > 0) {
    std::vector<BYTE> silence(std::size_t(encoder->inBlock) * std::size_t(encoder->inRate),
                              encoder->inFormat == AV_SAMPLE_FMT_U8 ? 0x80 : 0);
    while (gap > 0) {
      const int chunk = gap > encoder->inRate ? encoder->inRate : int(gap);
      if (HRESULT pushed = PushAudio(encoder, silence.data(), chunk); pushed != WM_S_OK) return pushed;
      gap -= chunk;
      encoder->inputFrames += chunk;
    }
  }
  const int frames = int(length / DWORD(encoder->inBlock));
  if (frames == 0) return WM_S_OK;
  encoder->inputFrames += frames;
  return PushAudio(encoder, data, frames);
}

HRESULT Writer::AllocateSample(DWORD size, INSSBuffer** sample) {
  if (!sample) return WM_E_INVALIDARG;
  *sample = nullptr;
  if (size > kMaxSampleBytes) return WM_E_OUTOFMEMORY;
  try {
    *sample = new Sample(size);
  } catch (const std::bad_alloc&) {
    return WM_E_OUTOFMEMORY;
  }
  return WM_S_OK;
}

HRESULT Writer::WriteSample(DWORD input, QWORD sampleTime, DWORD, INSSBuffer* sample) {
  if (!format_ || input >= encoders_.size() || !sample) return WM_E_INVALIDARG;
  auto* ours = dynamic_cast<Sample*>(sample);
  if (!ours || ours->Length() == 0) return WM_E_INVALIDARG;  // a sample without data is a caller's mistake
  if (failure_ != WM_S_OK) return failure_;
  Encoder* encoder = encoders_[input].get();
  HRESULT result;
  try {
    result = encoder->video ? WriteVideo(encoder, sampleTime, ours->Data(), ours->Length())
                            : WriteAudio(encoder, sampleTime, ours->Data(), ours->Length());
  } catch (const std::bad_alloc&) {
    result = WM_E_OUTOFMEMORY;
  }
  // A sample the caller got wrong changes nothing; a failing encoder or file ends the
  // file's usefulness, and every later call says so.
  if (result != WM_S_OK && result != WM_E_INVALIDARG) failure_ = result;
  return result;
}

HRESULT Writer::EndWriting() {
  if (!format_) return WM_E_INVALIDARG;
  HRESULT result = failure_;
  try {
    for (auto& encoder : encoders_) {
      if (result != WM_S_OK) break;
      if (!encoder->video) {
        result = PushAudio(encoder.get(), nullptr, 0);  // what the resampler still holds
        if (result == WM_S_OK) result = DrainAudio(encoder.get(), true);
      }
      if (result == WM_S_OK) result = Send(encoder.get(), nullptr);
    }
  } catch (const std::bad_alloc&) {
    result = WM_E_OUTOFMEMORY;
  }
  if (result == WM_S_OK) result = FromAv(av_write_trailer(format_));
  if (result == WM_S_OK) {
    avio_flush(io_);
    if (io_->error < 0) result = FromAv(io_->error);
  }
  // A file that is to replace another must be on the disk before it takes that name.
  if (result == WM_S_OK && ::fsync(file_.fd) != 0 && errno != EINVAL && errno != EROFS) result = FromErrno(errno);
  if (!Close() && result == WM_S_OK) result = FromErrno(errno);
  failure_ = WM_S_OK;
  return result;
}

}  // namespace
}  // namespace SLWmv

HRESULT WMCreateWriter(IWMUnknown*, IWMWriter** out) {
  if (!out) return WM_E_INVALIDARG;
  *out = new (std::nothrow) SLWmv::Writer;
  return *out ? WM_S_OK : WM_E_OUTOFMEMORY;
}

void SLPlatformWmvSetWriteLimit(QWORD bytes) { SLWmv::g_writeLimit.store(bytes, std::memory_order_relaxed); }

namespace {
const SLPlatformExport kWmvExports[] = {SL_EXPORT(WMCreateProfileManager), SL_EXPORT(WMCreateWriter)};
}  // namespace
const SLPlatformExportGroup g_wmvcoreWriter = SLMakeExportGroup(kWmvExports);
