#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "media/SLAudioEffect.h"

SL_IMPLEMENT_CLASS(CSLBaseAudioEffect, CSLObject)
SL_IMPLEMENT_CLASS_CREATABLE(CSLAudioEffectChannelMix, CSLBaseAudioEffect)

CSLBaseAudioEffect::CSLBaseAudioEffect() : m_data(nullptr) {}
CSLBaseAudioEffect::~CSLBaseAudioEffect() = default;
bool CSLBaseAudioEffect::Reset() { return SLSucceed(true); }

namespace {

constexpr u32 kMaxChannels = 64;

struct SLChannelRoute {
  u32 source;
  double gain;  // a factor: the percentage given / 100
  u32 destination;
};

using SLRouteArray = TSLArray<SLChannelRoute>;

}  // namespace

CSLAudioEffectChannelMix::CSLAudioEffectChannelMix() = default;

CSLAudioEffectChannelMix::~CSLAudioEffectChannelMix() {
  auto* routes = static_cast<SLRouteArray*>(m_data);
  if (!routes) return;
  SLErrorKeeper keep;
  routes->Free();
  SLFree(routes);
}

bool CSLAudioEffectChannelMix::AddRoute(u32 source, double percent, u32 destination) {
  if (source >= kMaxChannels || destination >= kMaxChannels || !(percent >= 1e-10 && percent <= 100.0))
    return SLFail(SL_E_INVALID_ARG, false);
  if (!m_data) {
    // A zero-filled array header is an empty array.
    m_data = SLAllocZeroed(sizeof(SLRouteArray));
    if (!m_data) return false;
  }
  return static_cast<SLRouteArray*>(m_data)->Add({source, percent / 100.0, destination});
}

bool CSLAudioEffectChannelMix::Process(double* out, u32* outCount, const double* in, u32 inCount,
                                       u32 inChannels) {
  if (outCount) *outCount = 0;
  if (!in) return SLFail(SL_E_NULL_DATA, false);
  if (inChannels < 1 || inChannels > kMaxChannels) return SLFail(SL_E_INVALID_ARG, false);
  const auto* routes = static_cast<const SLRouteArray*>(m_data);
  if (!routes || routes->GetCount() == 0) return SLFail(SL_E_NOT_INITIALISED, false);
  u32 outChannels = 0;
  for (const SLChannelRoute& route : *routes) {
    if (route.source >= inChannels) return SLFail(SL_E_EFFECT_ROUTE_SOURCE, false);
    if (route.destination >= outChannels) outChannels = route.destination + 1;
  }
  if (outCount) *outCount = inCount;
  if (!out) return SLSucceed(true);
  // Each frame is summed in a local accumulator: the output may lie anywhere, so sums
  // made in place would be reloaded after every store. Same sums in the same order.
  const SLChannelRoute* first = routes->GetData();
  const SLChannelRoute* last = first + routes->GetCount();
  double sum[kMaxChannels];
  for (u32 frame = 0; frame < inCount; ++frame, in += inChannels, out += outChannels) {
    for (u32 c = 0; c < outChannels; ++c) sum[c] = 0.0;
    for (const SLChannelRoute* route = first; route != last; ++route)
      sum[route->destination] += in[route->source] * route->gain;
    for (u32 c = 0; c < outChannels; ++c) out[c] = sum[c] < -1.0 ? -1.0 : sum[c] > 1.0 ? 1.0 : sum[c];
  }
  return SLSucceed(true);
}
