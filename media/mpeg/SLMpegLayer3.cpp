// Layer III: the bit reservoir, side information, scale factors, Huffman decoding and
// dequantisation; the frame loop that ties them to the hybrid synthesis.
#include "media/mpeg/SLMpegLayer3.h"

#include <cmath>
#include <cstring>

#include "media/mpeg/SLMpegAudioDecoder.h"
#include "media/mpeg/SLMpegSubbands.h"
#include "media/mpeg/SLMpegSynthesis.h"

namespace SLInternals {

SL_IMPLEMENT_CLASS(CMXMP3_Bit_Reserve, CSLObject)
SL_IMPLEMENT_CLASS(CMXMP3_LayerIII_Decoder, CSLObject)

CMXMP3_Bit_Reserve::CMXMP3_Bit_Reserve() { Reset(); }

void CMXMP3_Bit_Reserve::Reset() {
  std::memset(m_ring, 0, sizeof(m_ring));
  m_write = 0;
  m_bits = 0;
}

void CMXMP3_Bit_Reserve::PutByte(u32 value) {
  m_ring[m_write] = u8(value);
  if (m_write < 8) m_ring[kSize + m_write] = u8(value);
  m_write = (m_write + 1) & (kSize - 1);
}

void CMXMP3_Bit_Reserve::PutBytes(const u8* data, u32 count) {
  while (count > 0) {
    const u32 run = count < kSize - m_write ? count : kSize - m_write;
    std::memcpy(m_ring + m_write, data, run);
    if (m_write < 8) std::memcpy(m_ring + kSize + m_write, data, (8 - m_write) < run ? 8 - m_write : run);
    m_write = (m_write + run) & (kSize - 1);
    data += run;
    count -= run;
  }
}

namespace {

// The value of the next code of `table`: the lookup levels are complete prefix codes, so
// every bit string ends at a leaf within the longest code's length (19 bits).
inline u32 LookupCode(const SLMp3HuffmanTable& table, CMXMP3_Bit_Reserve* reserve) {
  const u64 word = reserve->Peek();
  const u32* start = kMp3HuffmanLookup + table.lookup;
  const u32* level = start;
  u32 width = table.firstBits;
  u32 used = 0;
  for (;;) {
    const u32 entry = level[u32((word << used) >> (64 - width))];
    if (entry & 0x80000000u) {
      reserve->SkipBits(used + ((entry >> 16) & 31));
      return entry & 0xFF;
    }
    used += width;
    width = (entry >> 16) & 31;
    level = start + (entry & 0xFFFF);
  }
}

inline i32 Signed(i32 value, CMXMP3_Bit_Reserve* reserve) { return value && reserve->Get1Bit() ? -value : value; }

inline void DecodePair(const SLMp3HuffmanTable& table, i32* x, i32* y, CMXMP3_Bit_Reserve* reserve) {
  const u32 value = LookupCode(table, reserve);
  i32 a = i32(value >> 4);
  i32 b = i32(value & 15);
  if (table.linbits && a == 15) a += i32(reserve->GetBits(table.linbits));
  *x = Signed(a, reserve);
  if (table.linbits && b == 15) b += i32(reserve->GetBits(table.linbits));
  *y = Signed(b, reserve);
}

inline void DecodeQuad(const SLMp3HuffmanTable& table, i32* out, CMXMP3_Bit_Reserve* reserve) {
  const u32 value = LookupCode(table, reserve);
  for (u32 i = 0; i < 4; ++i) out[i] = Signed(i32((value >> (3 - i)) & 1), reserve);
}

// sign(v) |v|^(4/3) factor: the power from the table, and computed for the few values
// past it (13 linbits reach 8,206).
inline double Power43(i32 value, double factor) {
  const u32 magnitude = u32(value < 0 ? -value : value);
  const double power = magnitude < 8192 ? kMp3Pow43[magnitude] : std::pow(double(magnitude), 4.0 / 3.0);
  return power * (value < 0 ? -factor : factor);
}

inline double PowHalf(u32 k) { return kMp3PowHalf[k < 63 ? k : 63]; }

}  // namespace

u32 CMXMP3_LayerIII_Decoder::HuffmanDecode(const SLMp3HuffmanTable& table, i32* x, i32* y, i32* v, i32* w,
                                           CMXMP3_Bit_Reserve* reserve) {
  *x = *y = *v = *w = 0;
  if (&table == &kMp3QuadTables[0] || &table == &kMp3QuadTables[1]) {
    i32 quad[4];
    DecodeQuad(table, quad, reserve);
    *v = quad[0], *w = quad[1], *x = quad[2], *y = quad[3];
    return 0;
  }
  if (table.size == 0) return 2;
  if (table.size == 1) return 0;
  DecodePair(table, x, y, reserve);
  return 0;
}

u32 CMXMP3_LayerIII_Decoder::ReadMainDataBegin(CMXMP3_DecoderHelper* decoder) {
  const SLMpegFrameHeader& header = decoder->GetHeader();
  const u8* data = decoder->GetFrameData() + (header.protection ? 0 : 2);
  return header.version ? (u32(data[0]) << 1) | (data[1] >> 7) : data[0];
}

CMXMP3_LayerIII_Decoder::CMXMP3_LayerIII_Decoder(CMXMP3_DecoderHelper* decoder, CMXMP3_SynthesisFilter* filter0,
                                                 CMXMP3_SynthesisFilter* filter1, CMXMP3_Obuffer* sink,
                                                 u32 channelChoice)
    : m_decoder(decoder), m_filters{filter0, filter1}, m_sink(sink), m_channelChoice(channelChoice) {
  Reset();
}

void CMXMP3_LayerIII_Decoder::Reset() {
  m_reserve.Reset();
  m_frameStart = 0;
  ClearOverlap();
}

void CMXMP3_LayerIII_Decoder::ClearOverlap() { std::memset(m_overlap, 0, sizeof(m_overlap)); }

void CMXMP3_LayerIII_Decoder::PutFrameMainData(const SLMpegFrameHeader& header) {
  const u32 offset = (header.protection ? 0 : 2) + header.sideInfoSize;
  u32 count = header.mainDataSize;
  if (offset + count > 2048) count = 2048 - offset;
  m_reserve.PutBytes(m_decoder->GetFrameData() + offset, count);
  m_frameStart += count;
}

void CMXMP3_LayerIII_Decoder::PutMainData() { PutFrameMainData(m_decoder->GetHeader()); }

bool CMXMP3_LayerIII_Decoder::ReadSideInfo(const SLMpegFrameHeader& header) {
  CMXMP3_DecoderHelper* d = m_decoder;
  if (!m_lsf) {
    m_mainDataBegin = d->GetBits(9);
    m_privateBits = d->GetBits(m_channels == 1 ? 5 : 3);
    for (u32 ch = 0; ch < m_channels; ++ch)
      for (u32& bit : m_scfsi[ch]) bit = d->GetBits(1);
  } else {
    m_mainDataBegin = d->GetBits(8);
    m_privateBits = d->GetBits(m_channels == 1 ? 1 : 2);
  }
  (void)header;
  for (u32 gr = 0; gr < m_granules; ++gr) {
    for (u32 ch = 0; ch < m_channels; ++ch) {
      SLMp3GranuleInfo& gi = m_info[gr][ch];
      gi = SLMp3GranuleInfo();
      gi.part23Length = d->GetBits(12);
      gi.bigValues = d->GetBits(9);
      gi.globalGain = d->GetBits(8);
      gi.scalefacCompress = d->GetBits(m_lsf ? 9 : 4);
      gi.windowSwitching = d->GetBits(1);
      if (gi.windowSwitching) {
        gi.blockType = d->GetBits(2);
        gi.mixedBlock = d->GetBits(1);
        gi.tableSelect[0] = d->GetBits(5);
        gi.tableSelect[1] = d->GetBits(5);
        for (u32& gain : gi.subblockGain) gain = d->GetBits(3);
        // Window switching to a long block is forbidden: the frame is damaged.
        if (gi.blockType == 0) return false;
        gi.region0Count = gi.blockType == 2 && !gi.mixedBlock ? 8 : 7;
        gi.region1Count = 20 - gi.region0Count;
      } else {
        for (u32& table : gi.tableSelect) table = d->GetBits(5);
        gi.region0Count = d->GetBits(4);
        gi.region1Count = d->GetBits(3);
      }
      if (!m_lsf) gi.preflag = d->GetBits(1);
      gi.scalefacScale = d->GetBits(1);
      gi.count1Table = d->GetBits(1);
    }
  }
  return true;
}

void CMXMP3_LayerIII_Decoder::Decode() {
  const SLMpegFrameHeader& header = m_decoder->GetHeader();
  m_channels = header.mode == 3 ? 1 : 2;
  m_lsf = header.version == 0;
  m_granules = m_lsf ? 1 : 2;
  m_bandTable = (header.sampleRateIndex % 3) + (m_lsf ? 0 : 3);
  if (!ReadSideInfo(header)) {
    PutFrameMainData(header);
    m_decoder->SetFrameCorrupt();
    return;
  }
  // The main data of this frame starts main_data_begin bytes before its own bytes in the
  // reservoir; what lies between the last granule's end and there is dropped.
  const u64 position = m_reserve.GetTotalBits();
  if (position & 7) m_reserve.SkipBits(8 - (position & 7));
  const u64 mainDataEnd = m_reserve.GetTotalBits() / 8;
  const u64 wanted = u64(m_mainDataBegin) + mainDataEnd;
  const bool available = m_frameStart >= wanted;
  const u64 discard = available ? m_frameStart - wanted : 0;
  PutFrameMainData(header);
  if (!available) return;
  m_reserve.SkipBits(discard * 8);

  u32 first = 0, last = m_channels - 1;
  if (m_channelChoice == SL_MPEG_LEFT_ONLY) last = 0;
  if (m_channelChoice == SL_MPEG_RIGHT_ONLY && m_channels == 2) first = 1;
  for (u32 gr = 0; gr < m_granules; ++gr) {
    for (u32 ch = 0; ch < m_channels; ++ch) {
      const u64 part2Start = m_reserve.GetTotalBits();
      if (m_lsf)
        ReadLsfScaleFactors(ch, header);
      else
        ReadScaleFactors(gr, ch, header);
      DecodeHuffman(gr, ch, part2Start);
      Dequantize(gr, ch);
    }
    Stereo(gr, header);
    for (u32 ch = first; ch <= last; ++ch) {
      Reorder(gr, ch);
      AliasReduce(gr, ch);
      Hybrid(gr, ch);
      Synthesize(ch);
    }
  }
  m_sink->WriteBuffer(1);
}

void CMXMP3_LayerIII_Decoder::ReadScaleFactors(u32 granule, u32 channel, const SLMpegFrameHeader&) {
  const SLMp3GranuleInfo& gi = m_info[granule][channel];
  const u32 slen1 = kMp3Slen[0][gi.scalefacCompress & 15];
  const u32 slen2 = kMp3Slen[1][gi.scalefacCompress & 15];
  u32* longs = m_scalefacL[channel];
  u32(*shorts)[13] = m_scalefacS[channel];
  if (gi.windowSwitching && gi.blockType == 2) {
    u32 sfb = 0;
    if (gi.mixedBlock) {
      for (; sfb < 8; ++sfb) longs[sfb] = m_reserve.GetBits(slen1);
      sfb = 3;
    }
    for (; sfb < 12; ++sfb)
      for (u32 w = 0; w < 3; ++w) shorts[w][sfb] = m_reserve.GetBits(sfb < 6 ? slen1 : slen2);
    for (u32 w = 0; w < 3; ++w) shorts[w][12] = 0;
    return;
  }
  // Four groups of long bands, each kept from the first granule when scfsi says so.
  static constexpr u32 kGroups[5] = {0, 6, 11, 16, 21};
  for (u32 group = 0; group < 4; ++group) {
    if (granule != 0 && m_scfsi[channel][group]) continue;
    for (u32 sfb = kGroups[group]; sfb < kGroups[group + 1]; ++sfb) longs[sfb] = m_reserve.GetBits(group < 2 ? slen1 : slen2);
  }
  longs[21] = longs[22] = 0;
}

void CMXMP3_LayerIII_Decoder::ReadLsfScaleFactors(u32 channel, const SLMpegFrameHeader& header) {
  SLMp3GranuleInfo& gi = m_info[0][channel];
  const u32 compress = gi.scalefacCompress;
  const bool intensity = header.mode == 1 && (header.modeExtension & 1) && channel == 1;
  const u32 kind = gi.windowSwitching && gi.blockType == 2 ? (gi.mixedBlock ? 2 : 1) : 0;
  u32 slen[4] = {};
  u32 rule = 0;
  gi.preflag = 0;
  if (!intensity) {
    if (compress < 400) {
      slen[0] = (compress >> 4) / 5, slen[1] = (compress >> 4) % 5, slen[2] = (compress & 15) >> 2, slen[3] = compress & 3;
      rule = 0;
    } else if (compress < 500) {
      const u32 c = compress - 400;
      slen[0] = (c >> 2) / 5, slen[1] = (c >> 2) % 5, slen[2] = c & 3;
      rule = 1;
    } else {
      const u32 c = compress - 500;
      slen[0] = c / 3, slen[1] = c % 3;
      rule = 2;
      gi.preflag = 1;
    }
  } else {
    m_intensityScale = compress & 1;
    const u32 c = compress >> 1;
    if (c < 180) {
      slen[0] = c / 36, slen[1] = (c % 36) / 6, slen[2] = c % 6;
      rule = 3;
    } else if (c < 244) {
      const u32 t = c - 180;
      slen[0] = (t & 63) >> 4, slen[1] = (t & 15) >> 2, slen[2] = t & 3;
      rule = 4;
    } else {
      const u32 t = c - 244;
      slen[0] = t / 3, slen[1] = t % 3;
      rule = 5;
    }
  }
  u32* longs = m_scalefacL[channel];
  u32(*shorts)[13] = m_scalefacS[channel];
  std::memset(longs, 0, sizeof(m_scalefacL[0]));
  std::memset(shorts, 0, sizeof(m_scalefacS[0]));
  if (intensity) {
    std::memset(m_intensityMaxL, 0, sizeof(m_intensityMaxL));
    std::memset(m_intensityMaxS, 0, sizeof(m_intensityMaxS));
  }
  u32 k = 0;
  for (u32 part = 0; part < 4; ++part) {
    const u32 bits = slen[part];
    const u32 largest = (1u << bits) - 1;
    for (u32 n = kMp3LsfPartitions[rule][kind][part]; n > 0; --n, ++k) {
      const u32 value = m_reserve.GetBits(bits);
      u32 band;
      if (kind == 0) {
        band = k;
        longs[band] = value;
        if (intensity) m_intensityMaxL[band] = largest;
        continue;
      }
      if (kind == 2 && k < 6) {
        longs[k] = value;
        if (intensity) m_intensityMaxL[k] = largest;
        continue;
      }
      const u32 s = kind == 2 ? k - 6 : k;
      band = (kind == 2 ? 3 : 0) + s / 3;
      shorts[s % 3][band] = value;
      if (intensity) m_intensityMaxS[band] = largest;
    }
  }
}

void CMXMP3_LayerIII_Decoder::DecodeHuffman(u32 granule, u32 channel, u64 part2Start) {
  const SLMp3GranuleInfo& gi = m_info[granule][channel];
  const u64 limit = part2Start + gi.part23Length;
  // At most 288 pairs, whatever big_values says; region boundaries past the last band
  // end at 576.
  const u32 bigValues = gi.bigValues * 2 < 576 ? gi.bigValues * 2 : 576;
  u32 region1, region2;
  if (gi.windowSwitching && gi.blockType == 2) {
    region1 = 36;
    region2 = 576;
  } else {
    const u16* bands = kMp3LongBands[m_bandTable];
    const u32 r1 = gi.region0Count + 1, r2 = gi.region0Count + gi.region1Count + 2;
    region1 = bands[r1 < 22 ? r1 : 22];
    region2 = bands[r2 < 22 ? r2 : 22];
  }
  i32* out = m_samples;
  u32 i = 0;
  const u32 ends[3] = {region1 < bigValues ? region1 : bigValues, region2 < bigValues ? region2 : bigValues, bigValues};
  for (u32 region = 0; region < 3; ++region) {
    const SLMp3HuffmanTable& table = kMp3HuffmanTables[gi.tableSelect[region] & 31];
    if (table.size <= 1) {
      // Table 0 codes nothing; tables 4 and 14 do not exist: zeros either way.
      for (; i < ends[region]; i += 2) out[i] = out[i + 1] = 0;
      continue;
    }
    for (; i < ends[region]; i += 2) DecodePair(table, &out[i], &out[i + 1], &m_reserve);
  }
  const SLMp3HuffmanTable& quad = kMp3QuadTables[gi.count1Table & 1];
  bool anyQuad = false;
  while (i < 576 && m_reserve.GetTotalBits() < limit) {
    DecodeQuad(quad, &out[i], &m_reserve);
    i += 4;
    anyQuad = true;
  }
  // A last quadruple that ran past the granule's bits is not part of it.
  const u64 position = m_reserve.GetTotalBits();
  if (position > limit) {
    m_reserve.RewindBits(position - limit);
    if (anyQuad) i -= 4;
  } else if (position < limit) {
    m_reserve.SkipBits(limit - position);
  }
  const u32 count = i < 576 ? i : 576;
  m_nonZero[channel] = count;
  std::memset(out + count, 0, (576 - count) * sizeof(i32));
}

void CMXMP3_LayerIII_Decoder::Dequantize(u32 granule, u32 channel) {
  const SLMp3GranuleInfo& gi = m_info[granule][channel];
  double* xr = m_dequantised[channel];
  const i32* in = m_samples;
  const u32 count = m_nonZero[channel];
  std::memset(xr, 0, sizeof(m_dequantised[0]));
  const double gain = kMp3Gain[gi.globalGain & 255];
  const u32 shift = gi.scalefacScale;
  const bool shortBlock = gi.windowSwitching && gi.blockType == 2;
  const u32 longEnd = shortBlock ? (gi.mixedBlock ? 36 : 0) : 576;
  const u16* longBands = kMp3LongBands[m_bandTable];
  const u16* shortBands = kMp3ShortBands[m_bandTable];
  const u32* longs = m_scalefacL[channel];
  for (u32 sfb = 0, start = 0; start < longEnd && start < count; ++sfb) {
    const u32 end = longBands[sfb + 1] < count ? longBands[sfb + 1] : count;
    const u32 k = (longs[sfb] + gi.preflag * kMp3Pretab[sfb]) << shift;
    const double factor = gain * PowHalf(k);
    for (u32 i = start; i < end; ++i) xr[i] = Power43(in[i], factor);
    start = longBands[sfb + 1];
  }
  if (!shortBlock) return;
  for (u32 sfb = gi.mixedBlock ? 3 : 0; sfb < 13; ++sfb) {
    const u32 width = shortBands[sfb + 1] - shortBands[sfb];
    const u32 base = 3 * shortBands[sfb];
    if (base >= count) break;
    for (u32 w = 0; w < 3; ++w) {
      const u32 k = (m_scalefacS[channel][w][sfb] << shift) + 4 * gi.subblockGain[w];
      const double factor = gain * PowHalf(k);
      const u32 start = base + w * width;
      const u32 end = start + width < count ? start + width : count;
      for (u32 i = start; i < end; ++i) xr[i] = Power43(in[i], factor);
    }
  }
}

}  // namespace SLInternals
