#include "tools/mxvwrite/MxvWriter.h"

#include "tools/common/ToolSupport.h"

#include <cstring>

#include "foundation/SLByteOrder.h"
#include "storage/SLCompressLZW.h"
#include "storage/SLCompressZIP.h"
#include "tools/mxvwrite/MxvCodecs.h"

namespace slmxv {

namespace {

const uint8_t kMagic1[13] = {'A', 'r', 'c', 'h', 'i', 'v', 'o', ' ', 'M', 'X', 'V', '.', 0x1A};
const uint8_t kMagic2[10] = {'M', 'X', 'V', ' ', 'F', 'i', 'l', 'e', '.', 0x1A};

// Everything a codec object left in its compression ring.
void TakeCompressed(CSLBaseCompress* codec, std::vector<uint8_t>* out) {
  CSLCircularBuffer* ring = codec->GetCompressedOutput();
  u8 *first = nullptr, *second = nullptr;
  u32 firstLength = 0, secondLength = 0;
  ring->GetReadRegions(&first, &firstLength, &second, &secondLength);
  out->insert(out->end(), first, first + firstLength);
  if (second) out->insert(out->end(), second, second + secondLength);
  ring->CommitRead(firstLength + secondLength);
}

}  // namespace

const uint8_t* MxvWriter::Palette() {
  static const std::vector<uint8_t> palette = [] {
    std::vector<uint8_t> colours(768);
    for (int i = 0; i < 256; ++i) {
      colours[3 * i] = uint8_t((i >> 5) * 255 / 7);
      colours[3 * i + 1] = uint8_t(((i >> 2) & 7) * 255 / 7);
      colours[3 * i + 2] = uint8_t((i & 3) * 255 / 3);
    }
    return colours;
  }();
  return palette.data();
}

std::vector<uint8_t> MxvWriter::ConvertPicture(const uint8_t* bgr, uint32_t width, uint32_t height, uint32_t bits) {
  const size_t pixels = size_t(width) * height;
  std::vector<uint8_t> out(pixels * (bits / 8));
  for (size_t i = 0; i < pixels; ++i) {
    const uint8_t b = bgr[3 * i], g = bgr[3 * i + 1], r = bgr[3 * i + 2];
    if (bits == 8) {
      // Nearest level of each channel's scale.
      out[i] = uint8_t(((r * 7 + 127) / 255) << 5 | ((g * 7 + 127) / 255) << 2 | (b * 3 + 127) / 255);
    } else if (bits == 16) {
      const uint16_t packed = uint16_t((r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
      out[2 * i] = uint8_t(packed);
      out[2 * i + 1] = uint8_t(packed >> 8);
    } else {
      std::memcpy(&out[3 * i], bgr + 3 * i, 3);
    }
  }
  return out;
}

MxvWriter::MxvWriter() = default;

MxvWriter::~MxvWriter() { Abandon(); }

void MxvWriter::Abandon() {
  if (m_file) {
    std::fclose(m_file);
    m_file = nullptr;
    std::remove(m_temporary.c_str());
  }
  DestroyTheora(m_theora);
  m_theora = nullptr;
  DestroyVorbis(m_vorbis);
  m_vorbis = nullptr;
}

bool MxvWriter::Fail(std::string* error, const std::string& message) {
  if (error) *error = message;
  Abandon();
  return false;
}

// Empty pieces (an empty Theora packet for an unchanged picture) may come with no data at all.
bool MxvWriter::Put(const void* data, size_t size) { return size == 0 || std::fwrite(data, 1, size, m_file) == size; }

uint64_t MxvWriter::Position() { return uint64_t(ftello(m_file)); }

bool MxvWriter::PutChunkHead(const char* tag, uint64_t size) {
  std::vector<uint8_t> head(tag, tag + 4);
  SLAppendLE(&head, size, m_version == 1 ? 4 : 8);
  return Put(head.data(), head.size());
}

bool MxvWriter::PutPacketHead(uint32_t length, uint64_t granule, uint64_t number) {
  std::vector<uint8_t> head;
  AppendPacketHead(m_version, length, granule, number, &head);
  return Put(head.data(), head.size());
}

void AppendPacketHead(uint32_t version, uint32_t length, uint64_t granule, uint64_t number,
                      std::vector<uint8_t>* out) {
  SLAppendLE(out, length, 4);
  if (version == 1) {
    SLAppendLE(out, granule, 4);
    SLAppendLE(out, number, 4);
  } else {
    SLAppendLE(out, 0, 4);
    SLAppendLE(out, granule, 8);
    SLAppendLE(out, number, 8);
  }
}

bool MxvWriter::Create(const std::string& path, uint32_t version, const VideoSettings* video,
                       const AudioSettings* audio, std::string* error) {
  if (m_file || !m_path.empty()) return Fail(error, "a writer makes one file");
  if (version != 1 && version != 2) return Fail(error, "the version must be 1 or 2");
  if (!video && !audio) return Fail(error, "a movie needs video or sound");
  m_version = version;
  if (video) {
    m_hasVideo = true;
    m_video = *video;
    const VideoSettings& v = m_video;
    if (v.codec < 1 || v.codec > 3) return Fail(error, "the video codec must be 1, 2 or 3");
    if (v.width == 0 || v.height == 0 || v.width > 16384 || v.height > 16384)
      return Fail(error, "the picture must be 1 to 16384 pixels a side");
    if (v.bitsPerPixel != 8 && v.bitsPerPixel != 16 && v.bitsPerPixel != 24)
      return Fail(error, "the pixel format must be 8, 16 or 24 bits");
    if (v.framesPerSecond == 0 || v.framesPerSecond > 0xFFFF) return Fail(error, "bad frame rate");
    if (v.keyInterval == 0) m_video.keyInterval = 1;
  }
  if (audio) {
    m_hasAudio = true;
    m_audio = *audio;
    const AudioSettings& a = m_audio;
    if (a.codec != 1 && a.codec != 2) return Fail(error, "the audio codec must be 1 (PCM) or 2 (Vorbis)");
    if (a.samplesPerSecond != 11025 && a.samplesPerSecond != 22050 && a.samplesPerSecond != 44100)
      return Fail(error, "the sample rate must be 11025, 22050 or 44100 Hz");
    if (a.bitsPerSample != 8 && a.bitsPerSample != 16) return Fail(error, "samples must have 8 or 16 bits");
    if (a.channels != 1 && a.channels != 2) return Fail(error, "the sound must have 1 or 2 channels");
  }
  // The movie is written beside the target and renamed over it once finished, so a failure
  // leaves neither a partial movie nor a lost earlier one.
  std::string problem;
  if (!sltool::CanWriteBeside(path, &problem)) return Fail(error, problem);
  m_path = path;
  m_temporary = sltool::TemporaryNameBeside(path);
  m_file = std::fopen(m_temporary.c_str(), "wb");
  if (!m_file) return Fail(error, "cannot create " + path + ": " + sltool::SystemError());
  bool ok = version == 1 ? Put(kMagic1, 13) : (Put(kMagic2, 10) && Put("\x02\0\0\0", 4));
  ok = ok && PutChunkHead("FHDR", version == 1 ? 32 : 44);
  m_headerPayload = Position();
  const std::vector<uint8_t> blankHeader(version == 1 ? 32 : 44);
  ok = ok && Put(blankHeader.data(), blankHeader.size());
  if (m_hasVideo && m_video.bitsPerPixel == 8 && m_video.codec != 3)
    ok = ok && PutChunkHead("VPAL", 768) && Put(Palette(), 768);
  std::vector<std::vector<uint8_t>> headers;
  if (ok && m_hasVideo && m_video.codec == 3) {
    m_theora = CreateTheora(m_video, &headers, error);
    if (!m_theora) return Fail(error, *error);
    ok = WriteHeaderChunk("VHDR", headers);
  }
  if (ok && m_hasAudio && m_audio.codec == 2) {
    m_vorbis = CreateVorbis(m_audio, &headers, error);
    if (!m_vorbis) return Fail(error, *error);
    ok = WriteHeaderChunk("AHDR", headers);
  }
  // DATA's size is filled in by Finish.
  ok = ok && PutChunkHead("DATA", 0);
  m_dataPayload = Position();
  return ok ? true : Fail(error, "cannot write " + path);
}

bool MxvWriter::WriteHeaderChunk(const char* tag, const std::vector<std::vector<uint8_t>>& packets) {
  std::vector<uint8_t> payload;
  for (const std::vector<uint8_t>& packet : packets) {
    SLAppendLE(&payload, packet.size(), m_version == 1 ? 4 : 8);
    payload.insert(payload.end(), packet.begin(), packet.end());
  }
  return PutChunkHead(tag, payload.size()) && Put(payload.data(), payload.size());
}

bool MxvWriter::SetAudio(const void* samples, uint64_t frames, std::string* error) {
  if (!m_file || !m_hasAudio) return Fail(error, "the movie has no sound");
  if (m_audioSet) return Fail(error, "the sound was given already");
  if (frames == 0) return Fail(error, "the sound is empty");
  if (m_version == 1 && frames > 0xFFFFFFFFull) return Fail(error, "the sound is too long for version 1");
  m_audioSet = true;
  m_audioFrames = frames;
  const uint32_t rate = m_audio.samplesPerSecond;
  const uint64_t blocks = (frames + rate - 1) / rate;
  const uint32_t align = m_audio.bitsPerSample / 8 * m_audio.channels;
  if (m_audio.codec == 1) {
    const uint8_t* bytes = static_cast<const uint8_t*>(samples);
    for (uint64_t b = 0; b < blocks; ++b) {
      const uint64_t first = b * rate, count = std::min<uint64_t>(rate, frames - first);
      m_blockPayloads.emplace_back(bytes + first * align, bytes + (first + count) * align);
    }
  } else if (!EncodeVorbis(m_vorbis, m_version, samples, frames, &m_blockPayloads, &m_summary.vorbisPackets,
                           error)) {
    return Fail(error, *error);
  }
  // With video the blocks follow the pictures of their second; without, they go now.
  return m_hasVideo || WriteBlocksUpTo(blocks) ? true : Fail(error, "cannot write " + m_path);
}

bool MxvWriter::WriteBlocksUpTo(uint64_t block) {
  for (; m_blocksWritten < block && m_blocksWritten < m_blockPayloads.size(); ++m_blocksWritten) {
    const std::vector<uint8_t>& payload = m_blockPayloads[m_blocksWritten];
    m_blocks.push_back({Position(), payload.size()});
    if (!Put(payload.data(), payload.size())) return false;
  }
  return true;
}

bool MxvWriter::AddFrame(const uint8_t* bgr, std::string* error) {
  if (!m_file || !m_hasVideo) return Fail(error, "the movie has no video");
  const uint64_t index = m_frames.size();
  // Sound blocks go in front of the first picture of their second.
  if (m_audioSet && !WriteBlocksUpTo(index / m_video.framesPerSecond + 1)) return Fail(error, "cannot write " + m_path);
  const size_t bytes = size_t(m_video.width) * m_video.height * 3;
  const bool repeat = m_video.repeats && index % m_video.keyInterval != 0 && m_lastBgr.size() == bytes &&
                      std::memcmp(m_lastBgr.data(), bgr, bytes) == 0;
  m_lastBgr.assign(bgr, bgr + bytes);
  ++m_summary.frames;
  if (repeat) {
    ++m_summary.repeatFrames;
    m_frames.push_back({Position(), 0, 0});
    return true;
  }
  return m_video.codec == 3 ? WriteTheora(bgr, error) : WriteBlockDelta(bgr, index % m_video.keyInterval == 0, error);
}

// Blocks of 8 x 8 pixels over the picture rounded up to 16; rows of blocks below the
// picture are left out, blocks right of it are kept (as zeros) as the reader expects.
bool MxvWriter::WriteBlockDelta(const uint8_t* bgr, bool key, std::string* error) {
  const VideoSettings& v = m_video;
  const uint32_t pixelBytes = v.bitsPerPixel / 8, rowBytes = v.width * pixelBytes;
  std::vector<uint8_t> picture = ConvertPicture(bgr, v.width, v.height, v.bitsPerPixel);
  const uint32_t columns = ((v.width + 15) & ~15u) / 8, rows = ((v.height + 15) & ~15u) / 8;
  const uint32_t visible = (v.height + 7) / 8 * columns;
  const uint32_t mapBytes = (columns * rows + 7) / 8;
  const uint32_t blockBytes = 64 * pixelBytes;
  std::vector<uint8_t> blocks, block(blockBytes), previousBlock(blockBytes), map(mapBytes);
  auto extract = [&](const std::vector<uint8_t>& source, uint32_t index, std::vector<uint8_t>* out) {
    std::fill(out->begin(), out->end(), 0);
    const uint32_t x = index % columns * 8, y = index / columns * 8;
    if (x >= v.width) return;
    const uint32_t w = std::min(8u, v.width - x), h = std::min(8u, v.height - y);
    for (uint32_t r = 0; r < h; ++r)
      std::memcpy(out->data() + r * 8 * pixelBytes, source.data() + size_t(y + r) * rowBytes + x * pixelBytes,
                  w * pixelBytes);
  };
  uint32_t changed = 0;
  for (uint32_t i = 0; i < visible; ++i) {
    extract(picture, i, &block);
    bool differs = true;
    if (!key && !m_previous.empty()) {
      extract(m_previous, i, &previousBlock);
      differs = block != previousBlock;
    }
    if (differs) {
      map[i / 8] |= uint8_t(1 << (i % 8));
      ++changed;
    }
  }
  const bool mapped = !key && v.changeMaps && !m_previous.empty() && changed < visible;
  std::vector<uint8_t> frame{uint8_t(mapped ? 1 : 0)};
  if (mapped) frame.insert(frame.end(), map.begin(), map.end());
  for (uint32_t i = 0; i < visible; ++i) {
    if (mapped && !(map[i / 8] >> (i % 8) & 1)) continue;
    extract(picture, i, &block);
    frame.insert(frame.end(), block.begin(), block.end());
  }
  m_previous = std::move(picture);
  CSLBaseCompress* codec = v.codec == 1 ? static_cast<CSLBaseCompress*>(new CSLCompressZIP(1))
                                        : static_cast<CSLBaseCompress*>(new CSLCompressLZW());
  std::vector<uint8_t> packed;
  const bool compressed = codec->BeginCompress() && codec->Compress(frame.data(), u32(frame.size())) &&
                          codec->EndCompress();
  if (compressed) TakeCompressed(codec, &packed);
  codec->Release();
  if (!compressed) return Fail(error, "compressing a frame failed");
  m_frames.push_back({Position(), packed.size(), key ? 1u : 0u});
  if (key) ++m_summary.keyFrames;
  if (mapped) ++m_summary.mappedFrames;
  return Put(packed.data(), packed.size()) ? true : Fail(error, "cannot write " + m_path);
}

bool MxvWriter::WriteTheora(const uint8_t* bgr, std::string* error) {
  std::vector<uint8_t> packet;
  bool key = false;
  if (!EncodeTheoraFrame(m_theora, bgr, &packet, &key, error)) return Fail(error, *error);
  const uint64_t number = m_frames.size();
  m_frames.push_back({Position(), 0, key ? 1u : 0u});
  if (key) ++m_summary.keyFrames;
  const uint64_t start = Position();
  if (!PutPacketHead(uint32_t(packet.size()), number, number) || !Put(packet.data(), packet.size()))
    return Fail(error, "cannot write " + m_path);
  m_frames.back().size = Position() - start;
  return true;
}

bool MxvWriter::Finish(std::string* error) {
  if (!m_file) return Fail(error, "nothing to finish");
  if (m_hasVideo && m_frames.empty()) return Fail(error, "the movie has no pictures");
  if (m_hasAudio && !m_audioSet) return Fail(error, "the movie has no sound");
  if (!WriteBlocksUpTo(m_blockPayloads.size())) return Fail(error, "cannot write " + m_path);
  const bool v1 = m_version == 1;
  const uint64_t dataEnd = Position(), dataSize = dataEnd - m_dataPayload;
  // Version 1 offsets count from DATA's payload and every number is 32 bits.
  const uint64_t base = v1 ? m_dataPayload : 0;
  if (v1 && (dataSize > 0xFFFFFFFFull || m_frames.size() > 0xFFFFFFFFull))
    return Fail(error, "the movie is too large for version 1");
  std::vector<uint8_t> table;
  bool ok = true;
  if (m_hasVideo) {
    for (const FrameEntry& frame : m_frames) {
      const uint64_t offset = frame.size ? frame.offset - base : 0;
      SLAppendLE(&table, offset, v1 ? 4 : 8);
      SLAppendLE(&table, frame.size, v1 ? 4 : 8);
      SLAppendLE(&table, 0, v1 ? 4 : 8);
      SLAppendLE(&table, frame.flags, 4);
    }
    ok = PutChunkHead("VTBL", table.size()) && Put(table.data(), table.size());
  }
  if (ok && m_hasAudio) {
    table.clear();
    for (const BlockEntry& block : m_blocks) {
      SLAppendLE(&table, block.offset - base, v1 ? 4 : 8);
      SLAppendLE(&table, block.size, v1 ? 4 : 8);
    }
    ok = PutChunkHead("ATBL", table.size()) && Put(table.data(), table.size());
  }
  std::vector<uint8_t> header;
  const uint32_t video = m_hasVideo ? 1 : 0;
  const VideoSettings& v = m_video;
  const AudioSettings& a = m_audio;
  const uint64_t frames = m_frames.size(), samples = m_hasAudio ? m_audioFrames : 0;
  SLAppendLE(&header, frames, v1 ? 4 : 8);
  SLAppendLE(&header, v.width * video, 2);
  SLAppendLE(&header, v.height * video, 2);
  SLAppendLE(&header, v.bitsPerPixel * video, 2);
  SLAppendLE(&header, v.framesPerSecond * video, 2);
  SLAppendLE(&header, v.codec * video, 4);
  SLAppendLE(&header, samples, v1 ? 4 : 8);
  SLAppendLE(&header, m_hasAudio ? a.samplesPerSecond : 0, v1 ? 2 : 4);
  SLAppendLE(&header, m_hasAudio ? a.bitsPerSample : 0, v1 ? 1 : 2);
  SLAppendLE(&header, m_hasAudio ? a.channels : 0, v1 ? 1 : 2);
  SLAppendLE(&header, m_hasAudio ? a.codec : 0, 4);
  SLAppendLE(&header, 0, 4);
  std::vector<uint8_t> dataSizeField;
  SLAppendLE(&dataSizeField, dataSize, v1 ? 4 : 8);
  const uint64_t fileEnd = Position();
  ok = ok && fseeko(m_file, off_t(m_headerPayload), SEEK_SET) == 0 && Put(header.data(), header.size()) &&
       fseeko(m_file, off_t(m_dataPayload - dataSizeField.size()), SEEK_SET) == 0 &&
       Put(dataSizeField.data(), dataSizeField.size());
  const std::string why = sltool::SystemError();
  ok = std::fclose(m_file) == 0 && ok;
  m_file = nullptr;
  if (!ok) {
    std::remove(m_temporary.c_str());
    return Fail(error, "cannot write " + m_path + ": " + why);
  }
  std::string problem;
  if (!sltool::CommitTemporary(m_temporary, m_path, &problem)) return Fail(error, problem);
  m_summary.audioFrames = samples;
  m_summary.audioBlocks = m_blocks.size();
  m_summary.fileBytes = fileEnd;
  Abandon();
  return true;
}

}  // namespace slmxv
