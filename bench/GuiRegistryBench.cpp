// The GUI registry and z-order sort beside their standard-library peers: a registration
// test among 1,000 windows against std::binary_search over the same sorted addresses,
// and the four-class z-order sort of 500 windows against std::stable_sort with the same
// key (topmost and minimized, topmost, minimized, the rest).
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "bench/BenchRatio.h"
#include "gui/GuiClasses.h"
#include "gui/SLGuiManager.h"

namespace {

struct Tree {
  explicit Tree(int count) {
    SLRegisterGuiClasses();
    manager.Init();
    std::mt19937 random(31);
    for (int i = 0; i < count; ++i) {
      const u32 bits = random() % 4;
      const u32 style = (bits & 1 ? u32(SL_GUI_WS_TOPMOST) : 0u) | (bits & 2 ? u32(SL_GUI_WS_MINIMIZED) : 0u);
      CSL_GS_GuiWindow* w =
          manager.CreateWindow(CSL_GS_GuiWindow::GetClassRecord(), "", 0, 0, 10, 10, 0, 0, u32(i), nullptr);
      w->ModifyStyle(0, style);
      windows.push_back(w);
      addresses.push_back(w);
    }
    std::sort(addresses.begin(), addresses.end());
  }
  CSL_GS_GuiManager manager;
  std::vector<CSL_GS_GuiWindow*> windows;
  std::vector<void*> addresses;
};

void BM_IsRegistered(benchmark::State& state) {
  Tree tree(1000);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tree.manager.IsRegistered(tree.windows[i]));
    i = (i + 1) % tree.windows.size();
  }
}
BENCHMARK(BM_IsRegistered)->Name("registered");

void BM_BinarySearch(benchmark::State& state) {
  Tree tree(1000);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::binary_search(tree.addresses.begin(), tree.addresses.end(),
                                                static_cast<void*>(tree.windows[i])));
    i = (i + 1) % tree.windows.size();
  }
}
BENCHMARK(BM_BinarySearch)->Name("binary_search");

u32 Rank(u32 style) {
  return (style & SL_GUI_WS_TOPMOST) ? (style & SL_GUI_WS_MINIMIZED ? 0 : 1) : (style & SL_GUI_WS_MINIMIZED ? 2 : 3);
}

// The list sort relinks every window into its class whatever the order it starts from;
// the peer sorts a freshly shuffled array each pass.
void BM_SortZOrder(benchmark::State& state) {
  Tree tree(500);
  for (auto _ : state) tree.manager.SortWindowZOrder(nullptr);
}
BENCHMARK(BM_SortZOrder)->Name("sort_zorder");

void BM_StableSort(benchmark::State& state) {
  Tree tree(500);
  std::mt19937 random(7);
  // The peer reads each window's style word directly, as the list sort does.
  std::vector<std::pair<CSL_GS_GuiWindow*, u32>> order;
  for (CSL_GS_GuiWindow* w : tree.windows) order.emplace_back(w, w->GetStyle());
  for (auto _ : state) {
    state.PauseTiming();
    std::shuffle(order.begin(), order.end(), random);
    state.ResumeTiming();
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return Rank(a.second) < Rank(b.second); });
    benchmark::DoNotOptimize(order.data());
  }
}
BENCHMARK(BM_StableSort)->Name("stable_sort");

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter({{"registered", "binary_search"}, {"sort_zorder", "stable_sort"}});
  std::printf("time ratios below (ours / standard library; below 1 means ours is faster)\n");
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
