#include "tools/mxvwrite/MxvCodecs.h"

#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace slmxv {

struct TheoraEncoder {
  th_enc_ctx* context = nullptr;
  uint32_t width = 0, height = 0, frameWidth = 0, frameHeight = 0;
  std::vector<uint8_t> planes[3];
};

struct VorbisEncoder {
  vorbis_info info;
  vorbis_comment comment;
  vorbis_dsp_state dsp;
  vorbis_block block;
  uint32_t channels = 0, bits = 0, rate = 0;
};

namespace {

uint8_t Clamp(double value) { return uint8_t(std::clamp(std::lround(value), 0L, 255L)); }

std::vector<uint8_t> PacketBytes(const ogg_packet& packet) {
  return std::vector<uint8_t>(packet.packet, packet.packet + packet.bytes);
}

}  // namespace

TheoraEncoder* CreateTheora(const VideoSettings& video, std::vector<std::vector<uint8_t>>* headers,
                            std::string* error) {
  auto* encoder = new TheoraEncoder;
  encoder->width = video.width;
  encoder->height = video.height;
  encoder->frameWidth = (video.width + 15) & ~15u;
  encoder->frameHeight = (video.height + 15) & ~15u;
  th_info info;
  th_info_init(&info);
  info.frame_width = encoder->frameWidth;
  info.frame_height = encoder->frameHeight;
  info.pic_width = video.width;
  info.pic_height = video.height;
  info.pic_x = 0;
  info.pic_y = 0;
  info.colorspace = TH_CS_ITU_REC_470BG;
  info.pixel_fmt = TH_PF_420;
  info.quality = std::clamp(video.theoraQuality, 0, 63);
  info.fps_numerator = video.framesPerSecond;
  info.fps_denominator = 1;
  info.aspect_numerator = info.aspect_denominator = 1;
  int shift = 0;
  while ((1u << shift) < video.keyInterval && shift < 31) ++shift;
  info.keyframe_granule_shift = std::max(shift, 1);
  encoder->context = th_encode_alloc(&info);
  th_info_clear(&info);
  if (!encoder->context) {
    delete encoder;
    *error = "the Theora encoder refused the picture settings";
    return nullptr;
  }
  ogg_uint32_t interval = video.keyInterval;
  th_encode_ctl(encoder->context, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &interval, sizeof interval);
  th_comment comment;
  th_comment_init(&comment);
  ogg_packet packet;
  headers->clear();
  while (th_encode_flushheader(encoder->context, &comment, &packet) > 0) headers->push_back(PacketBytes(packet));
  th_comment_clear(&comment);
  encoder->planes[0].resize(size_t(encoder->frameWidth) * encoder->frameHeight);
  encoder->planes[1].resize(encoder->planes[0].size() / 4);
  encoder->planes[2].resize(encoder->planes[0].size() / 4);
  return encoder;
}

// BT.601 studio range; the padding repeats the picture's last column and row, and each
// chroma sample is the mean of its 2 x 2 pixels.
bool EncodeTheoraFrame(TheoraEncoder* encoder, const uint8_t* bgr, std::vector<uint8_t>* packet, bool* key,
                       std::string* error) {
  const uint32_t fw = encoder->frameWidth, fh = encoder->frameHeight;
  std::vector<double> cb(size_t(fw) * fh), cr(size_t(fw) * fh);
  for (uint32_t y = 0; y < fh; ++y) {
    const uint32_t sy = std::min(y, encoder->height - 1);
    for (uint32_t x = 0; x < fw; ++x) {
      const uint8_t* p = bgr + (size_t(sy) * encoder->width + std::min(x, encoder->width - 1)) * 3;
      const double b = p[0], g = p[1], r = p[2];
      encoder->planes[0][size_t(y) * fw + x] = Clamp(16 + (65.738 * r + 129.057 * g + 25.064 * b) / 256);
      cb[size_t(y) * fw + x] = 128 + (-37.945 * r - 74.494 * g + 112.439 * b) / 256;
      cr[size_t(y) * fw + x] = 128 + (112.439 * r - 94.154 * g - 18.285 * b) / 256;
    }
  }
  for (uint32_t y = 0; y < fh / 2; ++y)
    for (uint32_t x = 0; x < fw / 2; ++x) {
      const size_t a = size_t(2 * y) * fw + 2 * x, c = a + fw;
      encoder->planes[1][size_t(y) * (fw / 2) + x] = Clamp((cb[a] + cb[a + 1] + cb[c] + cb[c + 1]) / 4);
      encoder->planes[2][size_t(y) * (fw / 2) + x] = Clamp((cr[a] + cr[a + 1] + cr[c] + cr[c + 1]) / 4);
    }
  th_ycbcr_buffer buffer;
  for (int i = 0; i < 3; ++i) {
    buffer[i].width = int(i ? fw / 2 : fw);
    buffer[i].height = int(i ? fh / 2 : fh);
    buffer[i].stride = buffer[i].width;
    buffer[i].data = encoder->planes[i].data();
  }
  ogg_packet out;
  if (th_encode_ycbcr_in(encoder->context, buffer) != 0 || th_encode_packetout(encoder->context, 0, &out) <= 0) {
    *error = "the Theora encoder refused a frame";
    return false;
  }
  *packet = PacketBytes(out);
  *key = th_packet_iskeyframe(&out) == 1;
  return true;
}

void DestroyTheora(TheoraEncoder* encoder) {
  if (!encoder) return;
  th_encode_free(encoder->context);
  delete encoder;
}

VorbisEncoder* CreateVorbis(const AudioSettings& audio, std::vector<std::vector<uint8_t>>* headers,
                            std::string* error) {
  auto* encoder = new VorbisEncoder;
  encoder->channels = audio.channels;
  encoder->bits = audio.bitsPerSample;
  encoder->rate = audio.samplesPerSecond;
  vorbis_info_init(&encoder->info);
  if (vorbis_encode_init_vbr(&encoder->info, long(audio.channels), long(audio.samplesPerSecond),
                             audio.vorbisQuality) != 0) {
    vorbis_info_clear(&encoder->info);
    delete encoder;
    *error = "the Vorbis encoder refused the sound settings";
    return nullptr;
  }
  vorbis_comment_init(&encoder->comment);
  vorbis_analysis_init(&encoder->dsp, &encoder->info);
  vorbis_block_init(&encoder->dsp, &encoder->block);
  ogg_packet identification, comments, codebooks;
  vorbis_analysis_headerout(&encoder->dsp, &encoder->comment, &identification, &comments, &codebooks);
  *headers = {PacketBytes(identification), PacketBytes(comments), PacketBytes(codebooks)};
  return encoder;
}

void DestroyVorbis(VorbisEncoder* encoder) {
  if (!encoder) return;
  vorbis_block_clear(&encoder->block);
  vorbis_dsp_clear(&encoder->dsp);
  vorbis_comment_clear(&encoder->comment);
  vorbis_info_clear(&encoder->info);
  delete encoder;
}

std::vector<std::vector<std::pair<size_t, uint64_t>>> LayOutVorbisBlocks(const std::vector<uint32_t>& blockSizes,
                                                                         uint64_t frames, uint32_t rate) {
  const size_t count = blockSizes.size();
  std::vector<std::vector<std::pair<size_t, uint64_t>>> blocks;
  if (count == 0) return blocks;
  // g[k]: the end of packet k's output in the continuous decode.
  std::vector<uint64_t> g(count, 0);
  for (size_t k = 1; k < count; ++k) g[k] = g[k - 1] + blockSizes[k - 1] / 4 + blockSizes[k] / 4;
  auto endPacket = [&](uint64_t end) {
    const auto it = std::lower_bound(g.begin(), g.end(), end);
    return it == g.end() ? count - 1 : size_t(it - g.begin());
  };
  const uint64_t blockCount = (frames + rate - 1) / rate;
  for (uint64_t b = 0; b < blockCount; ++b) {
    std::vector<std::pair<size_t, uint64_t>> packets;
    size_t start = 0;
    if (b == 0) {
      packets.emplace_back(0, 0);
    } else {
      // Again the last-but-one packet of the previous block; the re-fed packet first yields
      // the overlap of its window with its successor's, which the head granule covers.
      const size_t q = std::max<size_t>(endPacket(b * rate), 1);
      start = q - 1;
      const uint64_t overlap = blockSizes[q] / 4 + blockSizes[q - 1] / 4;
      packets.emplace_back(start, g[q - 1] >= overlap ? g[q - 1] - overlap : 0);
    }
    const size_t end = endPacket(std::min<uint64_t>((b + 1) * rate, frames));
    for (size_t k = start + 1; k <= end; ++k) packets.emplace_back(k, g[k - 1]);
    blocks.push_back(std::move(packets));
  }
  return blocks;
}

bool EncodeVorbis(VorbisEncoder* encoder, uint32_t version, const void* samples, uint64_t frames,
                  std::vector<std::vector<uint8_t>>* blocks, uint64_t* packetCount, std::string* error) {
  std::vector<std::vector<uint8_t>> packets;
  std::vector<uint32_t> sizes;
  auto drain = [&] {
    ogg_packet packet;
    while (vorbis_analysis_blockout(&encoder->dsp, &encoder->block) == 1) {
      vorbis_analysis(&encoder->block, nullptr);
      vorbis_bitrate_addblock(&encoder->block);
      while (vorbis_bitrate_flushpacket(&encoder->dsp, &packet) == 1) {
        packets.push_back(PacketBytes(packet));
        sizes.push_back(uint32_t(vorbis_packet_blocksize(&encoder->info, &packet)));
      }
    }
  };
  const uint32_t channels = encoder->channels;
  const auto* bytes = static_cast<const uint8_t*>(samples);
  for (uint64_t first = 0; first < frames;) {
    const int piece = int(std::min<uint64_t>(4096, frames - first));
    float** buffer = vorbis_analysis_buffer(&encoder->dsp, piece);
    for (int i = 0; i < piece; ++i)
      for (uint32_t c = 0; c < channels; ++c) {
        const uint64_t index = (first + i) * channels + c;
        buffer[c][i] = encoder->bits == 16 ? float(int16_t(bytes[2 * index] | bytes[2 * index + 1] << 8)) / 32768.0f
                                           : float(int(bytes[index]) - 128) / 128.0f;
      }
    vorbis_analysis_wrote(&encoder->dsp, piece);
    drain();
    first += uint64_t(piece);
  }
  vorbis_analysis_wrote(&encoder->dsp, 0);
  drain();
  if (packets.empty()) {
    *error = "the Vorbis encoder made no packets";
    return false;
  }
  *packetCount = packets.size();
  for (const auto& layout : LayOutVorbisBlocks(sizes, frames, encoder->rate)) {
    std::vector<uint8_t> payload;
    for (const auto& [index, granule] : layout) {
      AppendPacketHead(version, uint32_t(packets[index].size()), granule, index, &payload);
      payload.insert(payload.end(), packets[index].begin(), packets[index].end());
    }
    blocks->push_back(std::move(payload));
  }
  return true;
}

}  // namespace slmxv
