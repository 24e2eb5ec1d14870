// MPEG audio layer III: the bit reservoir that carries main data across frames, and the
// decoder that turns one frame's granules into subband samples for the synthesis
// filters (side information, scale factors, Huffman decoding, dequantisation, stereo
// processing, reordering, alias reduction, IMDCT and frequency inversion).
//
// The decoder lives from the first layer III frame after the MPEG decoder's Start until
// its Stop: the reservoir and the IMDCT overlap carry on from frame to frame. A damaged
// granule decodes as zeros from the damaged point on; nothing is reported.
#pragma once

#include "foundation/SLByteOrder.h"
#include "foundation/SLObject.h"
#include "foundation/SLTypes.h"
#include "media/mpeg/SLMpegLayer3Tables.h"

namespace SLInternals {

class CMXMP3_DecoderHelper;
class CMXMP3_Obuffer;
class CMXMP3_SynthesisFilter;
struct SLMpegFrameHeader;

// A ring of 4,096 bytes of main data. The read position counts bits since creation (64
// bits, never wrapping); its low 12 bits of bytes index the ring.
class CMXMP3_Bit_Reserve : public CSLObject {
  SL_DECLARE_CLASS(CMXMP3_Bit_Reserve)
 public:
  CMXMP3_Bit_Reserve();

  void PutByte(u32 value);
  void PutBytes(const u8* data, u32 count);
  // n bits (n up to 32), most significant first.
  u32 GetBits(u32 count) {
    if (count == 0) return 0;
    const u32 value = u32(Peek() >> (64 - count));
    m_bits += count;
    return value;
  }
  u32 Get1Bit() { return GetBits(1); }
  void RewindBits(u64 count) { m_bits = count < m_bits ? m_bits - count : 0; }
  void RewindBytes(u64 count) { RewindBits(count * 8); }
  void SkipBits(u64 count) { m_bits += count; }
  // Bits read since creation, which is the read position.
  u64 GetTotalBits() const { return m_bits; }
  // The next 64 bits from the read position; at least 57 of them are the ring's.
  u64 Peek() const {
    const u32 byte = u32(m_bits >> 3) & (kSize - 1);
    return SLLoadBE64(m_ring + byte) << (m_bits & 7);
  }
  // Empty, read position 0.
  void Reset();

 private:
  static constexpr u32 kSize = 4096;
  u8 m_ring[kSize + 8];  // the last 8 bytes mirror the first 8
  u32 m_write = 0;
  u64 m_bits = 0;
};

// The side information of one granule and channel.
struct SLMp3GranuleInfo {
  u32 part23Length;
  u32 bigValues;
  u32 globalGain;
  u32 scalefacCompress;
  u32 windowSwitching;
  u32 blockType;
  u32 mixedBlock;
  u32 tableSelect[3];
  u32 subblockGain[3];
  u32 region0Count;
  u32 region1Count;
  u32 preflag;
  u32 scalefacScale;
  u32 count1Table;
};

// The inverse MDCTs of the hybrid synthesis, unwindowed: 36 outputs from in[0..17], and
// 12 outputs from in[0], in[3], ... in[15] (one window of a short block).
void SLMp3Imdct36(const double* in, double* out);
void SLMp3Imdct12(const double* in, double* out);

class CMXMP3_LayerIII_Decoder : public CSLObject {
  SL_DECLARE_CLASS(CMXMP3_LayerIII_Decoder)
 public:
  // `channelChoice` is SL_MPEG_BOTH, SL_MPEG_LEFT_ONLY or SL_MPEG_RIGHT_ONLY.
  CMXMP3_LayerIII_Decoder(CMXMP3_DecoderHelper* decoder, CMXMP3_SynthesisFilter* filter0,
                          CMXMP3_SynthesisFilter* filter1, CMXMP3_Obuffer* sink, u32 channelChoice);

  // Decodes the decoder's current frame into the filters and the sink. A frame whose
  // main data reaches back further than the reservoir holds gives no samples; a frame
  // whose side information is impossible is marked corrupt on the decoder.
  void Decode();
  // Puts the current frame's main data into the reservoir without decoding it: the frames
  // before a pre-rolled frame that its main data reaches back into.
  void PutMainData();
  // Empty reservoir and zero overlap, as after construction.
  void Reset();
  // Forgets the IMDCT overlap (after a frame that gave silence).
  void ClearOverlap();

  // One pair (x, y) of a pair table, or one quadruple (v, w, x, y) of a count1 table,
  // signs and linbits included. Returns 0, or 2 for a table that does not exist (the
  // values are then 0 and no bit is read).
  static u32 HuffmanDecode(const SLMp3HuffmanTable& table, i32* x, i32* y, i32* v, i32* w,
                           CMXMP3_Bit_Reserve* reserve);
  // The main_data_begin field of the decoder's current frame (a layer III frame).
  static u32 ReadMainDataBegin(CMXMP3_DecoderHelper* decoder);

 private:
  struct FrameLayout;
  bool ReadSideInfo(const SLMpegFrameHeader& header);
  void PutFrameMainData(const SLMpegFrameHeader& header);
  void ReadScaleFactors(u32 granule, u32 channel, const SLMpegFrameHeader& header);
  void ReadLsfScaleFactors(u32 channel, const SLMpegFrameHeader& header);
  void DecodeHuffman(u32 granule, u32 channel, u64 part2Start);
  void Dequantize(u32 granule, u32 channel);
  void Stereo(u32 granule, const SLMpegFrameHeader& header);
  void IntensityPositions(u32 granule, bool lsf, i8* positions);
  void Reorder(u32 granule, u32 channel);
  void AliasReduce(u32 granule, u32 channel);
  void Hybrid(u32 granule, u32 channel);
  void Synthesize(u32 channel);

  CMXMP3_DecoderHelper* m_decoder;
  CMXMP3_SynthesisFilter* m_filters[2];
  CMXMP3_Obuffer* m_sink;
  u32 m_channelChoice;
  CMXMP3_Bit_Reserve m_reserve;
  u64 m_frameStart = 0;  // bytes of main data ever put into the reservoir
  // Derived from the current header.
  u32 m_channels = 0;
  u32 m_granules = 0;
  u32 m_bandTable = 0;
  bool m_lsf = false;
  // Side information.
  u32 m_mainDataBegin = 0;
  u32 m_privateBits = 0;
  u32 m_scfsi[2][4] = {};
  SLMp3GranuleInfo m_info[2][2] = {};
  // Scale factors per channel, and for the intensity-coded right channel of the lower
  // sample rates the intensity scale and the largest value each band's width allows.
  u32 m_scalefacL[2][23] = {};
  u32 m_scalefacS[2][3][13] = {};
  u32 m_intensityScale = 0;
  u32 m_intensityMaxL[23] = {};
  u32 m_intensityMaxS[13] = {};
  // Working arrays.
  i32 m_samples[576 + 4];
  u32 m_nonZero[2] = {};
  double m_dequantised[2][576];
  double m_stereo[2][576];
  double m_reordered[576];
  double m_overlap[2][32][18];
  double m_output[32][18];
  u32 m_activeSubbands = 32;  // subbands past this one hold zeros after alias reduction
};

}  // namespace SLInternals
