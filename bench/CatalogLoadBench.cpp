// Loading 40 background packs, 40 object packs and 20 character packs into their
// catalogues beside the bare work on the same packs (pack attach, entry reads, picture
// decode, the mask and colour conversions, the device images and hit masks, the WAV
// decode): what a catalogue adds is the description reading and checking, the frame
// search, the identity and the sorted insertion. The same comparison runs on the sample
// set (bench/BenchContent.h).
#include <benchmark/benchmark.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "bench/BenchContent.h"
#include "bench/BenchRatio.h"
#include "fuzz/CatalogFuzz.h"
#include "image/readers/SLImageReaderMXIMG.h"
#include "media/SLVideoAudioReaderWAV.h"
#include "image/SLImageArray.h"
#include "image/readers/SLImageReaderTGA.h"
#include "media/MediaClasses.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLIniFile.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tools/slpack/PackReading.h"
#include "tools/slpack/PackWriter.h"

namespace {

constexpr int kPacks = 40;
constexpr int kObjectPacks = 40, kCharacterPacks = 20;
constexpr int kObjectFrames = 6, kCharacterFrames = 12;
constexpr u32 kFrameWidth = 64, kFrameHeight = 96;
const char* const kDirections[] = {"adelante", "adelante_izquierda", "adelante_derecha", "atras",
                                   "atras_izquierda", "atras_derecha", "izquierda", "derecha"};

std::vector<uint8_t> StagePicture(int seed) {
  std::vector<uint8_t> out(18 + size_t(kStageWidth) * kStageHeight * 4);
  const uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, u8(kStageWidth), u8(kStageWidth >> 8),
                              u8(kStageHeight), u8(kStageHeight >> 8), 32, 0x28};
  std::copy(header, header + 18, out.begin());
  uint8_t* p = out.data() + 18;
  for (u32 y = 0; y < kStageHeight; ++y)
    for (u32 x = 0; x < kStageWidth; ++x, p += 4)
      p[0] = u8(x + seed), p[1] = u8(y), p[2] = u8(x * 3), p[3] = y < 100 ? 0 : u8(10 + y / 2);
  return out;
}

std::string WritePack(const std::filesystem::path& path, const std::string& info,
                      const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files) {
  slpack::PackWriter pack(2, 0);
  pack.AddFile(std::string("info.txt"), std::vector<uint8_t>(info.begin(), info.end()));
  for (const auto& [name, bytes] : files) pack.AddFile(name, bytes);
  std::vector<uint8_t> bytes;
  std::string error;
  pack.Build(&bytes, &error);
  slpack::WriteFile(path, bytes, &error);
  return path.string();
}

// The entries each object or character pack holds, in the order the loader reads them.
struct ItemPack {
  std::string path;
  std::vector<std::string> frames;
  std::string sound;
};

struct Fixture {
  std::filesystem::path folder;
  std::vector<std::string> paths;
  std::vector<ItemPack> objects, characters;
  CMemoryGfxDevice gfx;
  Fixture() {
    SLRegisterMediaClasses();
    gfx.Init(nullptr, nullptr, nullptr);
    AdventureDevices_Set(&gfx, &SLFuzzSoundDevice(), nullptr);
    folder = std::filesystem::temp_directory_path() / ("catalog_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::string error;
    for (int i = 0; i < kPacks; ++i) {
      slpack::PackWriter pack(2, 0);
      const std::string info = "[General]\r\nClase=Lugar" + std::to_string(i % 7) + "\r\nNombre=Escena " +
                               std::to_string(i) + "\r\n";
      pack.AddFile(std::string("info.txt"), std::vector<uint8_t>(info.begin(), info.end()));
      pack.AddFile(std::string("fondo.tga"), StagePicture(i));
      std::vector<uint8_t> bytes;
      pack.Build(&bytes, &error);
      paths.push_back((folder / ("escena" + std::to_string(i) + ".DAT")).string());
      slpack::WriteFile(paths.back(), bytes, &error);
    }
    const std::vector<uint8_t> sound = SLFuzzWaveSound();
    for (int i = 0; i < kObjectPacks; ++i) {
      ItemPack item;
      std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
      for (int k = 1; k <= kObjectFrames; ++k) {
        item.frames.push_back("puerta_0" + std::to_string(k) + ".mximg");
        files.emplace_back(item.frames.back(), SLFuzzFramePicture(kFrameWidth, kFrameHeight, u8(i * 5 + k)));
      }
      item.sound = "s.wav";
      files.emplace_back(item.sound, sound);
      const std::string info = "[General]\r\nClase=Mueble" + std::to_string(i % 5) + "\r\nNombre=Puerta " +
                               std::to_string(i) + "\r\nEstado_Inicial=cerrada\r\n[Estado_1]\r\nNombre=cerrada\r\n"
                               "Animaci\xF3n=puerta\r\nAnimaci\xF3n_Duraci\xF3n=400\r\n"
                               "Animaci\xF3n_Ida_y_Vuelta=SI\r\nAudio=s.wav\r\n"
                               "[Punto_Apoyo_1]\r\nPosici\xF3n=CENTRO, ABAJO\r\nAcepta_Objetos=SI\r\nClase_Objetos=Taza\r\n";
      item.path = WritePack(folder / ("objeto" + std::to_string(i) + ".DAT"), info, files);
      objects.push_back(item);
    }
    for (int i = 0; i < kCharacterPacks; ++i) {
      ItemPack item;
      std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
      for (const char* direction : kDirections)
        for (int k = 1; k <= kCharacterFrames; ++k) {
          char name[64];
          std::snprintf(name, sizeof name, "anda/%s_%02d.mximg", direction, k);
          item.frames.push_back(name);
          files.emplace_back(name, SLFuzzFramePicture(kFrameWidth, kFrameHeight, u8(i * 7 + k)));
        }
      const std::string info = "[General]\r\nClase=Ni\xF1o\r\nNombre=Ni\xF1o " + std::to_string(i) +
                               "\r\nEstado_Inicial=de pie\r\n[Estado_1]\r\nNombre=de pie\r\n"
                               "Acci\xF3n_Por_Defecto=Acci\xF3n_1\r\nAcci\xF3n_Caminata=Acci\xF3n_1\r\n"
                               "[Acci\xF3n_1]\r\nNombre=Andar\r\nClase=Mover\r\nAnimaci\xF3n=anda\r\n"
                               "Animaci\xF3n_Duraci\xF3n=600\r\nAnimaci\xF3n_Repite=SIEMPRE\r\n";
      item.path = WritePack(folder / ("personaje" + std::to_string(i) + ".DAT"), info, files);
      characters.push_back(item);
    }
  }
  ~Fixture() {
    AdventureDevices_Set(nullptr, nullptr, nullptr);
    std::filesystem::remove_all(folder);
  }
};

Fixture& Packs() {
  static Fixture fixture;
  return fixture;
}

void CatalogLoad(benchmark::State& state) {
  Fixture& f = Packs();
  for (auto _ : state) {
    for (const std::string& path : f.paths)
      if (!SceneCatalog_LoadItem(path.c_str(), nullptr)) state.SkipWithError("load failed");
    SceneCatalog_Free();
  }
}

void BareLoad(benchmark::State& state) {
  Fixture& f = Packs();
  std::vector<SL_GS_Image*> images;
  for (auto _ : state) {
    for (const std::string& path : f.paths) {
      CSLFastFileStorage pack;
      CSLImageReaderTGA reader;
      CSLImageArray pictures;
      CSLImage mask;
      CSLIniFile ini;
      char value[512];
      u32 size = sizeof value;
      if (!pack.AttachFile(path.c_str(), false, 0) || !pack.OpenA("fondo.tga", 0) ||
          !reader.Read(&pictures, &pack, 0) || !mask.CopyFrom(pictures[0]) || !mask.ConvertFormat(12) ||
          !pictures[0]->ConvertFormat(3) || !pack.OpenA("info.txt", 0) || !ini.Load(&pack) ||
          !ini.GetStringA("General", "Nombre", value, &size, ""))
        state.SkipWithError("bare load failed");
      images.push_back(f.gfx.CreateImage(pictures[0], false));
    }
    for (SL_GS_Image* image : images) f.gfx.DestroyImage(image);
    images.clear();
  }
}

void ObjectLoad(benchmark::State& state) {
  Fixture& f = Packs();
  for (auto _ : state) {
    for (const ItemPack& item : f.objects)
      if (!ObjectCatalog_LoadItem(item.path.c_str(), nullptr)) state.SkipWithError("object load failed");
    ObjectCatalog_Free();
  }
}

void CharacterLoad(benchmark::State& state) {
  Fixture& f = Packs();
  std::atomic<uint32_t> progress{0};
  for (auto _ : state) {
    for (const ItemPack& item : f.characters)
      if (!CharacterCatalog_LoadItem(item.path.c_str(), nullptr, &progress, 0, 100))
        state.SkipWithError("character load failed");
    CharacterCatalog_Free();
  }
}

// The same packs read without a catalogue: the description parsed once, every frame
// decoded into a device image with its hit mask, the sound decoded with three voices.
void BareItemLoad(benchmark::State& state, const std::vector<ItemPack>& items) {
  Fixture& f = Packs();
  CSL_GS_BaseSfx* sfx = AdventureDevices_Get().sfx;
  std::vector<SL_GS_Image*> images;
  std::vector<SL_GS_SoundRecord*> sounds;
  for (auto _ : state) {
    for (const ItemPack& item : items) {
      CSLFastFileStorage pack;
      CSLIniFile ini;
      char value[512];
      u32 size = sizeof value;
      if (!pack.AttachFile(item.path.c_str(), false, 0) || !pack.OpenA("info.txt", 0) || !ini.Load(&pack) ||
          !ini.GetStringA("General", "Nombre", value, &size, ""))
        state.SkipWithError("bare description failed");
      pack.Close();
      for (const std::string& frame : item.frames) {
        CSLImageReaderMXIMG reader;
        CSLImageArray pictures;
        if (!pack.OpenA(frame.c_str(), 0) || !reader.Read(&pictures, &pack, 0)) state.SkipWithError("bare frame failed");
        pack.Close();
        SL_GS_Image* image = f.gfx.CreateImage(pictures[0], false);
        if (!image || !f.gfx.BuildHitMaskFromAlpha(image)) state.SkipWithError("bare image failed");
        images.push_back(image);
      }
      if (!item.sound.empty()) {
        if (!pack.OpenA(item.sound.c_str(), 0)) state.SkipWithError("bare sound failed");
        sounds.push_back(sfx->LoadSoundFromStorage(&pack, 3, CSLVideoAudioReaderWAV::GetClassRecord()));
        pack.Close();
      }
    }
    for (SL_GS_Image* image : images) f.gfx.DestroyImage(image);
    for (SL_GS_SoundRecord* sound : sounds) sfx->DestroySound(sound);
    images.clear(), sounds.clear();
  }
}

void BareObjectLoad(benchmark::State& state) { BareItemLoad(state, Packs().objects); }
void BareCharacterLoad(benchmark::State& state) { BareItemLoad(state, Packs().characters); }

// The sample set: every pack of Gfx/Fondos, Gfx/Objetos and Gfx/Personajes with the
// entries it holds (listed once, outside the timing).
struct SamplePack {
  std::string path;
  std::vector<std::string> entries;
};
struct SampleSet {
  std::vector<SamplePack> scenes, objects, characters;
  bool found = false;
};

const SampleSet& Samples() {
  static const SampleSet set = [] {
    SampleSet made;
    const std::string content = SLBenchContentFolder("CatalogLoadBench");
    if (content.empty()) return made;
    const std::filesystem::path root = std::filesystem::path(content) / "Gfx";
    const std::pair<const char*, std::vector<SamplePack>*> kinds[] = {
        {"Fondos", &made.scenes}, {"Objetos", &made.objects}, {"Personajes", &made.characters}};
    std::error_code code;
    for (const auto& [folder, packs] : kinds) {
      for (const auto& file : std::filesystem::directory_iterator(root / folder, code)) {
        if (file.path().extension() != ".DAT") continue;
        slpack::PackListing listing;
        std::string error;
        uint32_t failure = 0;
        if (!slpack::ListPack(file.path().string(), &listing, &error, &failure)) continue;
        SamplePack pack{file.path().string(), {}};
        for (const auto& entry : listing.entries) pack.entries.push_back(entry.name);
        packs->push_back(std::move(pack));
      }
      std::sort(packs->begin(), packs->end(), [](const SamplePack& a, const SamplePack& b) { return a.path < b.path; });
    }
    made.found = !made.scenes.empty() && !made.objects.empty() && !made.characters.empty();
    return made;
  }();
  return set;
}

void SampleCatalogLoad(benchmark::State& state) {
  Packs();  // the devices
  const SampleSet& set = Samples();
  if (!set.found) return state.SkipWithError("no sample content (build-bench/content or SL_CONTENT_DIR)");
  std::atomic<uint32_t> progress{0};
  for (auto _ : state) {
    for (const SamplePack& pack : set.scenes)
      if (!SceneCatalog_LoadItem(pack.path.c_str(), nullptr)) state.SkipWithError("background load failed");
    for (const SamplePack& pack : set.objects)
      if (!ObjectCatalog_LoadItem(pack.path.c_str(), nullptr)) state.SkipWithError("object load failed");
    for (const SamplePack& pack : set.characters)
      if (!CharacterCatalog_LoadItem(pack.path.c_str(), nullptr, &progress, 0, 100))
        state.SkipWithError("character load failed");
    SceneCatalog_Free();
    ObjectCatalog_Free();
    CharacterCatalog_Free();
  }
}

// The bare work on the sample packs: the description read, every picture entry decoded
// into a device image (MXIMG frames with their hit masks; TGA backgrounds converted as
// the background loader converts them), every sound decoded.
void SampleBareLoad(benchmark::State& state) {
  Fixture& f = Packs();
  const SampleSet& set = Samples();
  if (!set.found) return state.SkipWithError("no sample content (build-bench/content or SL_CONTENT_DIR)");
  CSL_GS_BaseSfx* sfx = AdventureDevices_Get().sfx;
  std::vector<SL_GS_Image*> images;
  std::vector<SL_GS_SoundRecord*> sounds;
  const auto ends = [](const std::string& name, const char* tail) {
    const size_t n = std::strlen(tail);
    return name.size() >= n && strcasecmp(name.c_str() + name.size() - n, tail) == 0;
  };
  for (auto _ : state) {
    for (const std::vector<SamplePack>* packs : {&set.scenes, &set.objects, &set.characters})
      for (const SamplePack& item : *packs) {
        CSLFastFileStorage pack;
        CSLIniFile ini;
        char value[512];
        u32 size = sizeof value;
        if (!pack.AttachFile(item.path.c_str(), false, 0) || !pack.OpenA("info.txt", 0) || !ini.Load(&pack) ||
            !ini.GetStringA("General", "Nombre", value, &size, ""))
          state.SkipWithError("bare description failed");
        pack.Close();
        for (const std::string& entry : item.entries) {
          if (ends(entry, ".mximg") || ends(entry, ".tga")) {
            CSLImageArray pictures;
            const bool frame = ends(entry, ".mximg");
            CSLImageReaderMXIMG mximg;
            CSLImageReaderTGA tga;
            CSLBaseImageReader* reader = frame ? static_cast<CSLBaseImageReader*>(&mximg) : &tga;
            if (!pack.OpenA(entry.c_str(), 0) || !reader->Read(&pictures, &pack, 0)) state.SkipWithError("bare picture failed");
            pack.Close();
            if (!frame) {
              CSLImage mask;
              if (!mask.CopyFrom(pictures[0]) || !mask.ConvertFormat(12) || !pictures[0]->ConvertFormat(3))
                state.SkipWithError("bare conversion failed");
            }
            SL_GS_Image* image = f.gfx.CreateImage(pictures[0], false);
            if (!image || (frame && !f.gfx.BuildHitMaskFromAlpha(image))) state.SkipWithError("bare image failed");
            images.push_back(image);
          } else if (ends(entry, ".wav")) {
            if (!pack.OpenA(entry.c_str(), 0)) state.SkipWithError("bare sound failed");
            sounds.push_back(sfx->LoadSoundFromStorage(&pack, 3, CSLVideoAudioReaderWAV::GetClassRecord()));
            pack.Close();
          }
        }
      }
    for (SL_GS_Image* image : images) f.gfx.DestroyImage(image);
    for (SL_GS_SoundRecord* sound : sounds) sfx->DestroySound(sound);
    images.clear(), sounds.clear();
  }
}

BENCHMARK(CatalogLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(SampleCatalogLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(SampleBareLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BareLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(ObjectLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BareObjectLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(CharacterLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BareCharacterLoad)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SLBenchRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{{"CatalogLoad", "BareLoad"}, {"ObjectLoad", "BareObjectLoad"}, {"CharacterLoad", "BareCharacterLoad"}, {"SampleCatalogLoad", "SampleBareLoad"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
