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

struct SLSincChannel {
  ~SLSincChannel() { SLFree(x); }
  double scale = 1.0;    // filter gain: the stage's ratio when it narrows the band, else 1
  double time = 0.0;     // position of the next output sample in X
  double* x = nullptr;   // XSize + Xoff samples
  u32 xoff = 0;          // history kept on each side: half the filter's reach, plus margin
  u32 xsize = 0;
  u32 xread = 0;         // where the next input goes into X
  u32 xp = 0;            // the first sample of X not yet converted
  SLSampleQueue input;   // first stage only; later stages read the stage before
  SLSampleQueue output;
};

struct SLSincStage {
  double ratio;
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
  double* filter;       // c[0 .. nwing)
  double* difference;   // d[i] = c[i + 1] - c[i]; the last one -c[nwing - 1]
  u32 nwing;
  u32 channels;
  u32 stageCount;
  SLSincStage stages[2];  // 1/240 .. 240 needs two stages of at most 24 at most
};

namespace {

bool BuildFilter(SLSincChain* chain, const SLSincMode& mode) {
  const u32 nwing = (mode.nmult - 1) * (kPhases / 2);
  chain->nwing = nwing;
  chain->filter = static_cast<double*>(SLAlloc(nwing * sizeof(double)));
  chain->difference = static_cast<double*>(SLAlloc(nwing * sizeof(double)));
  if (!chain->filter || !chain->difference) return false;
  double* c = chain->filter;
  const double cutoff = mode.rollOff / 2.0;
  const double windowScale = 1.0 / BesselI0(mode.beta);
  c[0] = 2.0 * cutoff;
  for (u32 i = 1; i < nwing; ++i) {
    const double t = double(i) * std::numbers::pi / kPhases;
    const double x = double(i) / double(nwing - 1);
    double shape = 1.0 - x * x;
    if (shape < 0.0) shape = 0.0;
    c[i] = std::sin(2.0 * cutoff * t) / t * BesselI0(mode.beta * shape * shape) * windowScale;
  }
  for (u32 i = 0; i + 1 < nwing; ++i) chain->difference[i] = c[i + 1] - c[i];
  chain->difference[nwing - 1] = -c[nwing - 1];
  return true;
}

bool InitChannel(SLSincChannel* state, double stageRatio, double remaining, u32 nmult) {
  // The filter narrows to the output band when the stage lowers the rate.
  state->scale = stageRatio < 1.0 ? stageRatio : 1.0;
  const double reach = remaining < 1.0 ? 1.0 / remaining : 1.0;
  state->xoff = u32(double((nmult + 1) / 2) * reach) + 10;
  state->xsize = 2 * state->xoff + 10 > kPhases ? 2 * state->xoff + 10 : kPhases;
  state->x = static_cast<double*>(SLAllocZeroed((state->xsize + state->xoff) * sizeof(double)));
  if (!state->x) return false;
  state->xp = state->xread = state->xoff;
  state->time = state->xoff;
  return true;
}

// One wing of the filter over the samples from `x` on, stepping by `step` (-1 backward,
// +1 forward), at the given phase between two input samples.
double WingUp(const SLSincChain* chain, const double* x, double phase, int step) {
  const double* c = chain->filter;
  const double* d = chain->difference;
  const double position = phase * kPhases;
  u32 h = u32(position);
  const double fraction = position - std::floor(position);
  u32 limit = chain->nwing;
  if (step > 0) {
    limit -= 1;
    if (std::fabs(position) < 1e-10) h += kPhases;
  }
  double sum = 0.0;
  for (; h < limit; h += kPhases, x += step) sum += (c[h] + fraction * d[h]) * *x;
  return sum;
}

// The same with the filter stretched by the stage ratio R < 1: taps lie R * 4096 table
// entries apart, so the filter reaches 1 / R times as many input samples.
double WingDown(const SLSincChain* chain, const double* x, double phase, int step, double dh) {
  const double* c = chain->filter;
  const double* d = chain->difference;
  double position = phase * dh;
  u32 limit = chain->nwing;
  if (step > 0) {
    limit -= 1;
    if (std::fabs(phase) < 1e-10) position += dh;
  }
  double sum = 0.0;
  for (u32 h = u32(position); h < limit; position += dh, h = u32(position), x += step)
    sum += (c[h] + (position - std::floor(position)) * d[h]) * *x;
  return sum;
}

// Converts the samples of X between the two history margins; the outputs go to the
// channel's queue.
bool Convert(const SLSincChain* chain, SLSincChannel* state, double ratio, u32 nx) {
  const double dt = 1.0 / ratio;
  const double end = state->time + nx;
  const u32 most = u32(double(nx) * ratio) + 2;
  double* y = state->output.Reserve(most);
  if (!y) return SLFail(SL_E_OUT_OF_MEMORY, false);
  const double dh = ratio * kPhases < kPhases ? ratio * kPhases : double(kPhases);
  u32 produced = 0;
  for (double time = state->time; time < end; time += dt) {
    if (produced == most) {
      // Rounding of the step may give one more than counted.
      state->output.Commit(produced);
      y = state->output.Reserve(most);
      if (!y) return SLFail(SL_E_OUT_OF_MEMORY, false);
      produced = 0;
    }
    const u32 k = u32(time);
    const double phase = time - std::floor(time);
    double v;
    if (ratio >= 1.0)
      v = WingUp(chain, state->x + k, phase, -1) + WingUp(chain, state->x + k + 1, 1.0 - phase, 1);
    else
      v = WingDown(chain, state->x + k, phase, -1, dh) + WingDown(chain, state->x + k + 1, 1.0 - phase, 1, dh);
    v *= state->scale;
    y[produced++] = v < -1.0 ? -1.0 : v > 1.0 ? 1.0 : v;
    state->time = time + dt;
  }
  state->output.Commit(produced);
  return true;
}

// Feeds the channel state from `source` and converts all it can.
bool RunChannel(const SLSincChain* chain, SLSincChannel* state, double ratio, SLSampleQueue* source) {
  for (;;) {
    u32 take = state->xsize - state->xread;
    if (take > source->Available()) take = source->Available();
    SLMemCopy(state->x + state->xread, source->Front(), take * u32(sizeof(double)));
    source->head += take;
    state->xread += take;
    if (state->xread <= 2 * state->xoff) return true;
    const u32 nx = state->xread - 2 * state->xoff;
    if (!Convert(chain, state, ratio, nx)) return false;
    // Move on by the converted samples, and by whole samples the time crept ahead.
    state->xp += nx;
    state->time -= nx;
    const i64 creep = i64(state->time) - i64(state->xoff);
    state->time -= double(creep);
    state->xp = u32(i64(state->xp) + creep);
    const u32 start = state->xp - state->xoff;
    const u32 kept = state->xread - start;
    SLMemMove(state->x, state->x + start, kept * u32(sizeof(double)));
    state->xread = kept;
    state->xp = state->xoff;
  }
}

}  // namespace

SLSincChain* SLSincChainCreate(double ratio, u32 mode, u32 channels) {
  auto* chain = static_cast<SLSincChain*>(SLAllocZeroed(sizeof(SLSincChain)));
  if (!chain) return nullptr;
  chain->channels = channels;
  const SLSincMode& parameters = kModes[mode - 3];
  bool built = BuildFilter(chain, parameters);
  for (double remaining = ratio; built;) {
    // The last stage takes what remains (the ratio's range needs two at most).
    double stageRatio = remaining;
    if (chain->stageCount == 0 && remaining < 1.0 / 24.0) stageRatio = 1.0 / 24.0;
    if (chain->stageCount == 0 && remaining > 24.0) stageRatio = 24.0;
    SLSincStage& stage = chain->stages[chain->stageCount++];
    stage.ratio = stageRatio;
    stage.channels = static_cast<SLSincChannel*>(SLAlloc(channels * u32(sizeof(SLSincChannel))));
    built = stage.channels != nullptr;
    if (built)
      for (u32 c = 0; c < channels; ++c) new (&stage.channels[c]) SLSincChannel();
    for (u32 c = 0; built && c < channels; ++c)
      built = InitChannel(&stage.channels[c], stageRatio, remaining, parameters.nmult);
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
  SLFree(chain->filter);
  SLFree(chain->difference);
  SLFree(chain);
}

u32 SLSincChainChannels(const SLSincChain* chain) { return chain ? chain->channels : 0; }

bool SLSincChainProcess(SLSincChain* chain, double* out, u32 outCount, const double* in, u32 inCount) {
  const u32 channels = chain->channels;
  SLSincStage& first = chain->stages[0];
  for (u32 c = 0; c < channels; ++c) {
    SLSampleQueue& queue = first.channels[c].input;
    double* tail = queue.Reserve(inCount);
    if (!tail) return SLFail(SL_E_OUT_OF_MEMORY, false);
    for (u32 i = 0; i < inCount; ++i) tail[i] = in[u64(i) * channels + c];
    queue.Commit(inCount);
  }
  for (u32 s = 0; s < chain->stageCount; ++s) {
    SLSincStage& stage = chain->stages[s];
    for (u32 c = 0; c < channels; ++c) {
      SLSampleQueue* source = s == 0 ? &stage.channels[c].input : &chain->stages[s - 1].channels[c].output;
      if (!RunChannel(chain, &stage.channels[c], stage.ratio, source)) return false;
    }
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
