// The subband readers of MPEG audio layers I and II: one object per subband and frame
// reads that subband's allocation, scale factors and samples from the frame, requantises
// the samples and places them into the synthesis filters' inputs.
//
// Per frame the decoder calls ReadAllocation on every subband in order, for layer II
// ReadScaleFactorSelection on every subband, tests the CRC, calls ReadScaleFactor on
// every subband, then until the last subband reports the frame complete: ReadSampleData
// on every subband, and until the last subband reports its group complete, PutNextSample
// on every subband followed by the synthesis of each output channel.
#pragma once

#include "foundation/SLObject.h"
#include "foundation/SLTypes.h"
#include "media/mpeg/SLMpegTables.h"

namespace SLInternals {

class CMXMP3_DecoderHelper;
class CMXMP3_Crc16;
class CMXMP3_SynthesisFilter;

// Which channels PutNextSample routes.
enum : u32 {
  SL_MPEG_BOTH = 0,
  SL_MPEG_LEFT_ONLY = 1,
  SL_MPEG_RIGHT_ONLY = 2,
};

class CMXMP3_Subband : public CSLObject {
  SL_DECLARE_CLASS(CMXMP3_Subband)
 public:
  explicit CMXMP3_Subband(u32 subband) : m_subband(subband) {}
  // Every field read is also added to `crc` with its width (none when null).
  virtual void ReadAllocation(CMXMP3_DecoderHelper* decoder, CMXMP3_Crc16* crc) = 0;
  virtual void ReadScaleFactor(CMXMP3_DecoderHelper* decoder) = 0;
  // True when the frame's samples of this subband have all been read.
  virtual bool ReadSampleData(CMXMP3_DecoderHelper* decoder) = 0;
  // True when the current group's samples have all been put.
  virtual bool PutNextSample(u32 channels, CMXMP3_SynthesisFilter* filter0, CMXMP3_SynthesisFilter* filter1) = 0;

 protected:
  u32 m_subband;
};

class CMXMP3_SubbandLayer1 : public CMXMP3_Subband {
  SL_DECLARE_CLASS(CMXMP3_SubbandLayer1)
 public:
  explicit CMXMP3_SubbandLayer1(u32 subband) : CMXMP3_Subband(subband) {}
  void ReadAllocation(CMXMP3_DecoderHelper* decoder, CMXMP3_Crc16* crc) override;
  void ReadScaleFactor(CMXMP3_DecoderHelper* decoder) override;
  bool ReadSampleData(CMXMP3_DecoderHelper* decoder) override;
  bool PutNextSample(u32 channels, CMXMP3_SynthesisFilter* filter0, CMXMP3_SynthesisFilter* filter1) override;

 protected:
  // Allocation 15 is forbidden: such a subband carries nothing, like allocation 0.
  static u32 Usable(u32 allocation) { return allocation == 15 ? 0 : allocation; }
  // Reads one requantised sample of `allocation` (non-zero).
  static double ReadSample(CMXMP3_DecoderHelper* decoder, u32 allocation);

  u32 m_allocation = 0;
  u32 m_sampleCount = 0;
  double m_scaleFactor = 0.0;
  double m_sample = 0.0;
};

// Above the intensity-stereo bound: one allocation and sample stream, a scale factor per
// channel.
class CMXMP3_SubbandLayer1IntensityStereo : public CMXMP3_SubbandLayer1 {
  SL_DECLARE_CLASS(CMXMP3_SubbandLayer1IntensityStereo)
 public:
  explicit CMXMP3_SubbandLayer1IntensityStereo(u32 subband) : CMXMP3_SubbandLayer1(subband) {}
  void ReadScaleFactor(CMXMP3_DecoderHelper* decoder) override;
  bool PutNextSample(u32 channels, CMXMP3_SynthesisFilter* filter0, CMXMP3_SynthesisFilter* filter1) override;

 private:
  double m_scaleFactor2 = 0.0;
};

class CMXMP3_SubbandLayer1Stereo : public CMXMP3_SubbandLayer1 {
  SL_DECLARE_CLASS(CMXMP3_SubbandLayer1Stereo)
 public:
  explicit CMXMP3_SubbandLayer1Stereo(u32 subband) : CMXMP3_SubbandLayer1(subband) {}
  void ReadAllocation(CMXMP3_DecoderHelper* decoder, CMXMP3_Crc16* crc) override;
  void ReadScaleFactor(CMXMP3_DecoderHelper* decoder) override;
  bool ReadSampleData(CMXMP3_DecoderHelper* decoder) override;
  bool PutNextSample(u32 channels, CMXMP3_SynthesisFilter* filter0, CMXMP3_SynthesisFilter* filter1) override;

 private:
  u32 m_allocation2 = 0;
  double m_scaleFactor2 = 0.0;
  double m_sample2 = 0.0;
};

class CMXMP3_SubbandLayer2 : public CMXMP3_Subband {
  SL_DECLARE_CLASS(CMXMP3_SubbandLayer2)
 public:
  explicit CMXMP3_SubbandLayer2(u32 subband) : CMXMP3_Subband(subband) {}
  void ReadAllocation(CMXMP3_DecoderHelper* decoder, CMXMP3_Crc16* crc) override;
  virtual void ReadScaleFactorSelection(CMXMP3_DecoderHelper* decoder, CMXMP3_Crc16* crc);
  void ReadScaleFactor(CMXMP3_DecoderHelper* decoder) override;
  bool ReadSampleData(CMXMP3_DecoderHelper* decoder) override;
  bool PutNextSample(u32 channels, CMXMP3_SynthesisFilter* filter0, CMXMP3_SynthesisFilter* filter1) override;

  // The allocation table of the decoder's current frame.
  static const SLMpegAllocation* AllocationTable(const CMXMP3_DecoderHelper* decoder);

 protected:
  // One channel's share of a subband.
  struct Channel {
    u32 allocation = 0;
    u32 selection = 0;
    const SLMpegQuantClass* quant = nullptr;
    double scale[3] = {};
    double samples[3] = {};
  };
  static void ReadAllocationOf(CMXMP3_DecoderHelper* decoder, u32 subband, Channel* channel);
  static void ReadSelectionOf(CMXMP3_DecoderHelper* decoder, CMXMP3_Crc16* crc, Channel* channel);
  static void ReadScaleFactorsOf(CMXMP3_DecoderHelper* decoder, u32 selection, double* scale);
  static void ReadSamplesOf(CMXMP3_DecoderHelper* decoder, const SLMpegQuantClass* quant, double* samples);
  // The scale factor of the group just read (groups 1-4, 5-8, 9-12).
  double GroupScale(const Channel& channel) const { return channel.scale[(m_group - 1) >> 2]; }

  Channel m_first;
  u32 m_group = 0;
  u32 m_sampleIndex = 0;
};

class CMXMP3_SubbandLayer2IntensityStereo : public CMXMP3_SubbandLayer2 {
  SL_DECLARE_CLASS(CMXMP3_SubbandLayer2IntensityStereo)
 public:
  explicit CMXMP3_SubbandLayer2IntensityStereo(u32 subband) : CMXMP3_SubbandLayer2(subband) {}
  void ReadScaleFactorSelection(CMXMP3_DecoderHelper* decoder, CMXMP3_Crc16* crc) override;
  void ReadScaleFactor(CMXMP3_DecoderHelper* decoder) override;
  bool PutNextSample(u32 channels, CMXMP3_SynthesisFilter* filter0, CMXMP3_SynthesisFilter* filter1) override;

 private:
  u32 m_selection2 = 0;
  double m_scale2[3] = {};
};

class CMXMP3_SubbandLayer2Stereo : public CMXMP3_SubbandLayer2 {
  SL_DECLARE_CLASS(CMXMP3_SubbandLayer2Stereo)
 public:
  explicit CMXMP3_SubbandLayer2Stereo(u32 subband) : CMXMP3_SubbandLayer2(subband) {}
  void ReadAllocation(CMXMP3_DecoderHelper* decoder, CMXMP3_Crc16* crc) override;
  void ReadScaleFactorSelection(CMXMP3_DecoderHelper* decoder, CMXMP3_Crc16* crc) override;
  void ReadScaleFactor(CMXMP3_DecoderHelper* decoder) override;
  bool ReadSampleData(CMXMP3_DecoderHelper* decoder) override;
  bool PutNextSample(u32 channels, CMXMP3_SynthesisFilter* filter0, CMXMP3_SynthesisFilter* filter1) override;

 private:
  Channel m_second;
};

}  // namespace SLInternals
