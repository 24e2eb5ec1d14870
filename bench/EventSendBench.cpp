// Delivering one event to 1, 8 and 64 listeners: the event sender (under the process-wide
// event lock, uncontended) beside a loop over std::function objects calling the same
// member functions. Prints the time ratio (sender / std::function) of each size.
#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "gamesystem/SLEventSender.h"

namespace {

class Device : public CSLObject, public TSLEventSender<Device, CSLBaseEvent*> {};

struct Listener {
  void OnEvent(Device*, CSLBaseEvent* event, u32 user) {
    benchmark::DoNotOptimize(event);
    count += user;
  }
  u64 count = 0;
};

void BM_Send(benchmark::State& state) {
  Device device;
  std::vector<Listener> listeners(std::size_t(state.range(0)));
  for (Listener& listener : listeners) device.AddCallback(&listener, &Listener::OnEvent, 1);
  CSLEventSourceDying event;
  for (auto _ : state) device.Send(&event);
  benchmark::DoNotOptimize(listeners.front().count);
}

void BM_StdFunctionLoop(benchmark::State& state) {
  Device device;
  std::vector<Listener> listeners(std::size_t(state.range(0)));
  std::vector<std::function<void(Device*, CSLBaseEvent*)>> callbacks;
  for (Listener& listener : listeners)
    callbacks.emplace_back([&listener](Device* sender, CSLBaseEvent* event) { listener.OnEvent(sender, event, 1); });
  CSLEventSourceDying event;
  for (auto _ : state)
    for (auto& callback : callbacks) callback(&device, &event);
  benchmark::DoNotOptimize(listeners.front().count);
}

BENCHMARK(BM_Send)->Arg(1)->Arg(8)->Arg(64)->Name("send");
BENCHMARK(BM_StdFunctionLoop)->Arg(1)->Arg(8)->Arg(64)->Name("std_function");

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\ntime ratios (sender / std::function loop; below 1 means ours is faster):\n");
  for (const char* listeners : {"1", "8", "64"})
    reporter.PrintRatio(std::string("send/") + listeners, std::string("std_function/") + listeners);
  benchmark::Shutdown();
  return 0;
}
