#include "media/SLAudioSinc.h"

#include <cmath>
#include <new>
#include <numbers>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"

namespace SLInternals {

namespace {

// Table entries per input-sample step of the filter.
constexpr u32 kPhases = 4096;

struct SLSincMode {
  double rollOff;  // pass band as a share of the Nyquist rate
  double beta;     // window shape
  u32 nmult;       // filter length in input samples (odd)
};
constexpr SLSincMode kModes[3] = {{0.86, 6.0, 35}, {0.90, 9.0, 75}, {0.94, 12.0, 115}};

// A growable queue of doubles: samples are taken from the head, appended at the end, and
// the taken ones are dropped once per Process call.
struct SLSampleQueue {
  TSLArray<double> samples;
  u32 head = 0;
  u32 Available() const { return samples.GetCount() - head; }
  const double* Front() const { return samples.GetData() + head; }
  // Room for `extra` more samples after the current count, growing geometrically.
  double* Reserve(u32 extra) {
    const u64 needed = u64(samples.GetCount()) + extra;
    if (needed > samples.GetCapacity()) {
      u64 capacity = u64(samples.GetCapacity()) * 2;
      if (capacity < needed) capacity = needed;
      if (!SLFitsU32(capacity) || !samples.Reserve(u32(capacity))) return nullptr;
    }
    return samples.GetData() + samples.GetCount();
  }
  void Commit(u32 added) { samples.GetHeader()->count += added; }
  void Compact() {
    if (head) samples.RemoveAt(0, head);
    head = 0;
  }
};

// Per channel: its work buffer and queues.
struct SLSincChannel {
  ~SLSincChannel() { SLFree(x); }
  double* x = nullptr;   // XSize + Xoff samples
  SLSampleQueue input;   // first stage only; later stages read the stage before
  SLSampleQueue output;
};

// Every channel of a stage takes the same input counts, so the positions in X are the
// stage's: each output time's filter coefficients are worked out once for all channels.
struct SLSincStage {
  double ratio;
  double scale;   // filter gain: the stage's ratio when it narrows the band, else 1
  double time;    // position of the next output sample in X
  u32 xoff;       // history kept on each side: the filter's reach, plus margin
  u32 xsize;
  u32 xread;      // where the next input goes into X
  u32 xp;         // the first sample of X not yet converted
  SLSincChannel* channels;
};

double BesselI0(double x) {
  double sum = 1.0, term = 1.0;
  const double halfSquared = x * x / 4.0;
  for (double k = 1.0; term >= 1e-10 * sum; k += 1.0) {
    term *= halfSquared / (k * k);
    sum += term;
  }
  return sum;
}

}  // namespace

struct SLSincChain {
  const double* filter;      // c[0 .. nwing), shared by every chain of the mode
  const double* difference;  // d[i] = c[i + 1] - c[i]; the last one -c[nwing - 1]
  u32 nwing;
  u32 channels;
  u32 stageCount;
  SLSincStage stages[2];  // 1/240 .. 240 needs two stages of at most 24 at most
  // One output time's interpolated coefficients, left wing then right wing.
  double* coefficients;
  u32 coefficientRoom;  // per wing
};

namespace {

// A mode's windowed-sinc table depends on nothing else, and building it costs more than
// most conversions: each is built once, on first use, and kept for the process. A table
// whose memory could not be had stays empty.
struct SLSincTable {
  double* filter = nullptr;
  double* difference = nullptr;
  u32 nwing = 0;

  explicit SLSincTable(const SLSincMode& mode) {
    const u32 wing = (mode.nmult - 1) * (kPhases / 2);
    filter = static_cast<double*>(SLAlloc(wing * sizeof(double)));
    difference = static_cast<double*>(SLAlloc(wing * sizeof(double)));
    if (!filter || !difference) {
      SLFree(filter);
      SLFree(difference);
      filter = difference = nullptr;
      return;
    }
    double* c = filter;
    const double cutoff = mode.rollOff / 2.0;
    const double windowScale = 1.0 / BesselI0(mode.beta);
    c[0] = 2.0 * cutoff;
    for (u32 i = 1; i < wing; ++i) {
      const double t = double(i) * std::numbers::pi / kPhases;
      const double x = double(i) / double(wing - 1);
      double shape = 1.0 - x * x;
      if (shape < 0.0) shape = 0.0;
      c[i] = std::sin(2.0 * cutoff * t) / t * BesselI0(mode.beta * shape * shape) * windowScale;
    }
    for (u32 i = 0; i + 1 < wing; ++i) difference[i] = c[i + 1] - c[i];
    difference[wing - 1] = -c[wing - 1];
    nwing = wing;
  }
};

// Each mode's table in a static of its own, so that only the modes used are built; the
// compiler makes the first use thread-safe.
const SLSincTable& SharedTable(u32 index) {
  switch (index) {
    case 0: {
      static const SLSincTable table(kModes[0]);
      return table;
    }
    case 1: {
      static const SLSincTable table(kModes[1]);
      return table;
    }
    default: {
      static const SLSincTable table(kModes[2]);
      return table;
    }
  }
}

bool BuildFilter(SLSincChain* chain, u32 modeIndex) {
  const SLSincTable& table = SharedTable(modeIndex);
  if (!table.nwing) return false;
  chain->filter = table.filter;
  chain->difference = table.difference;
  chain->nwing = table.nwing;
  // The stretched filter of a 1/24 stage reaches 24 times as many samples.
  chain->coefficientRoom = table.nwing / (kPhases / 24) + 2;
  chain->coefficients = static_cast<double*>(SLAlloc(2 * chain->coefficientRoom * sizeof(double)));
  return chain->coefficients != nullptr;
}

bool InitStage(SLSincStage* stage, u32 channels, double stageRatio, double remaining, u32 nmult) {
  stage->ratio = stageRatio;
  // The filter narrows to the output band when the stage lowers the rate.
  stage->scale = stageRatio < 1.0 ? stageRatio : 1.0;
  const double reach = remaining < 1.0 ? 1.0 / remaining : 1.0;
  stage->xoff = u32(double((nmult + 1) / 2) * reach) + 10;
  stage->xsize = 2 * stage->xoff + 10 > kPhases ? 2 * stage->xoff + 10 : kPhases;
  stage->xp = stage->xread = stage->xoff;
  stage->time = stage->xoff;
  stage->channels = static_cast<SLSincChannel*>(SLAlloc(channels * u32(sizeof(SLSincChannel))));
  if (!stage->channels) return false;
  for (u32 c = 0; c < channels; ++c) new (&stage->channels[c]) SLSincChannel();
  for (u32 c = 0; c < channels; ++c) {
    stage->channels[c].x = static_cast<double*>(SLAllocZeroed((stage->xsize + stage->xoff) * sizeof(double)));
    if (!stage->channels[c].x) return false;
  }
  return true;
}

// The coefficients of one wing at the given phase between two input samples, in the
// order of the samples they weigh (going away from the output time); returns their
// count. Taps lie `dh` table entries apart: 4,096 (one input sample) when the stage
// raises the rate, R * 4,096 when it lowers it, so that the filter stretches to the
// output band. The forward wing stops one entry short and skips the centre tap the
// backward wing already took.
u32 WingCoefficients(const SLSincChain* chain, double phase, bool forward, double dh, double* out) {
  const double* c = chain->filter;
  const double* d = chain->difference;
  u32 limit = chain->nwing;
  u32 n = 0;
  if (dh == double(kPhases)) {
    const double position = phase * kPhases;
    u32 h = u32(position);
    const double fraction = position - double(h);  // positions are never negative
    if (forward) {
      limit -= 1;
      if (std::fabs(position) < 1e-10) h += kPhases;
    }
    for (; h < limit; h += kPhases) out[n++] = c[h] + fraction * d[h];
    return n;
  }
  double position = phase * dh;
  if (forward) {
    limit -= 1;
    if (std::fabs(phase) < 1e-10) position += dh;
  }
  for (u32 h = u32(position); h < limit; position += dh, h = u32(position))
    out[n++] = c[h] + (position - double(h)) * d[h];
  return n;
}

// Converts the samples of X between the two history margins; the outputs go to each
// channel's queue.
bool Convert(SLSincChain* chain, SLSincStage* stage, u32 nx) {
  const u32 channels = chain->channels;
  const double dt = 1.0 / stage->ratio;
  const double end = stage->time + nx;
  const double dh = stage->ratio < 1.0 ? stage->ratio * kPhases : double(kPhases);
  double* left = chain->coefficients;
  double* right = left + chain->coefficientRoom;
  // The count of outputs, as the loop below steps the time.
  u32 count = 0;
  for (double time = stage->time; time < end; time += dt) ++count;
  for (u32 c = 0; c < channels; ++c)
    if (!stage->channels[c].output.Reserve(count)) return SLFail(SL_E_OUT_OF_MEMORY, false);
  u32 produced = 0;
  for (double time = stage->time; time < end; time += dt, ++produced) {
    const u32 k = u32(time);
    const double phase = time - double(k);
    const u32 nl = WingCoefficients(chain, phase, false, dh, left);
    const u32 nr = WingCoefficients(chain, 1.0 - phase, true, dh, right);
    for (u32 c = 0; c < channels; ++c) {
      const double* x = stage->channels[c].x;
      double backward = 0.0, forward = 0.0;
      for (u32 j = 0; j < nl; ++j) backward += left[j] * x[k - j];
      for (u32 j = 0; j < nr; ++j) forward += right[j] * x[k + 1 + j];
      const double v = (backward + forward) * stage->scale;
      SLSampleQueue& queue = stage->channels[c].output;
      queue.samples.GetData()[queue.samples.GetCount() + produced] = v < -1.0 ? -1.0 : v > 1.0 ? 1.0 : v;
    }
    stage->time = time + dt;
  }
  for (u32 c = 0; c < channels; ++c) stage->channels[c].output.Commit(produced);
  return true;
}

// Feeds the stage from `sources` (one queue per channel, all as long) and converts all
// it can.
bool RunStage(SLSincChain* chain, SLSincStage* stage, SLSampleQueue* const* sources) {
  const u32 channels = chain->channels;
  for (;;) {
    u32 take = stage->xsize - stage->xread;
    if (take > sources[0]->Available()) take = sources[0]->Available();
    for (u32 c = 0; c < channels; ++c) {
      SLMemCopy(stage->channels[c].x + stage->xread, sources[c]->Front(), take * u32(sizeof(double)));
      sources[c]->head += take;
    }
    stage->xread += take;
    if (stage->xread <= 2 * stage->xoff) return true;
    const u32 nx = stage->xread - 2 * stage->xoff;
    if (!Convert(chain, stage, nx)) return false;
    // Move on by the converted samples, and by whole samples the time crept ahead.
    stage->xp += nx;
    stage->time -= nx;
    const i64 creep = i64(stage->time) - i64(stage->xoff);
    stage->time -= double(creep);
    stage->xp = u32(i64(stage->xp) + creep);
    const u32 start = stage->xp - stage->xoff;
    const u32 kept = stage->xread - start;
    for (u32 c = 0; c < channels; ++c)
      SLMemMove(stage->channels[c].x, stage->channels[c].x + start, kept * u32(sizeof(double)));
    stage->xread = kept;
    stage->xp = stage->xoff;
  }
}

}  // namespace

SLSincChain* SLSincChainCreate(double ratio, u32 mode, u32 channels) {
  auto* chain = static_cast<SLSincChain*>(SLAllocZeroed(sizeof(SLSincChain)));
  if (!chain) return nullptr;
  chain->channels = channels;
  const SLSincMode& parameters = kModes[mode - 3];
  bool built = BuildFilter(chain, mode - 3);
  for (double remaining = ratio; built;) {
    // The last stage takes what remains (the ratio's range needs two at most).
    double stageRatio = remaining;
    if (chain->stageCount == 0 && remaining < 1.0 / 24.0) stageRatio = 1.0 / 24.0;
    if (chain->stageCount == 0 && remaining > 24.0) stageRatio = 24.0;
    built = InitStage(&chain->stages[chain->stageCount++], channels, stageRatio, remaining, parameters.nmult);
    if (stageRatio == remaining) break;
    remaining /= stageRatio;
  }
  if (!built) {
    SLSincChainDestroy(chain);
    return SLFail(SL_E_OUT_OF_MEMORY, static_cast<SLSincChain*>(nullptr));
  }
  return SLSucceed(chain);
}

void SLSincChainDestroy(SLSincChain* chain) {
  if (!chain) return;
  SLErrorKeeper keep;
  for (u32 s = 0; s < chain->stageCount; ++s) {
    SLSincStage& stage = chain->stages[s];
    for (u32 c = 0; stage.channels && c < chain->channels; ++c) stage.channels[c].~SLSincChannel();
    SLFree(stage.channels);
  }
  SLFree(chain->coefficients);
  SLFree(chain);
}

u32 SLSincChainChannels(const SLSincChain* chain) { return chain ? chain->channels : 0; }

bool SLSincChainProcess(SLSincChain* chain, double* out, u32 outCount, const double* in, u32 inCount) {
  const u32 channels = chain->channels;
  SLSincStage& first = chain->stages[0];
  SLSampleQueue* sources[64];
  for (u32 c = 0; c < channels; ++c) {
    SLSampleQueue& queue = first.channels[c].input;
    double* tail = queue.Reserve(inCount);
    if (!tail) return SLFail(SL_E_OUT_OF_MEMORY, false);
    for (u32 i = 0; i < inCount; ++i) tail[i] = in[u64(i) * channels + c];
    queue.Commit(inCount);
  }
  for (u32 s = 0; s < chain->stageCount; ++s) {
    for (u32 c = 0; c < channels; ++c)
      sources[c] = s == 0 ? &first.channels[c].input : &chain->stages[s - 1].channels[c].output;
    if (!RunStage(chain, &chain->stages[s], sources)) return false;
  }
  SLSincStage& last = chain->stages[chain->stageCount - 1];
  for (u32 c = 0; c < channels; ++c) {
    SLSampleQueue& queue = last.channels[c].output;
    const u32 ready = queue.Available() < outCount ? queue.Available() : outCount;
    const double* samples = queue.Front();
    for (u32 i = 0; i < outCount; ++i) out[u64(i) * channels + c] = i < ready ? samples[i] : 0.0;
    queue.head += ready;
  }
  for (u32 s = 0; s < chain->stageCount; ++s)
    for (u32 c = 0; c < channels; ++c) {
      chain->stages[s].channels[c].input.Compact();
      chain->stages[s].channels[c].output.Compact();
    }
  return SLSucceed(true);
}

}  // namespace SLInternals
