// Project files from arbitrary bytes, loaded against a fixed catalogue with the sample
// set's identities. A load either fails with the movie empty, or gives a movie whose every
// index, attachment and carrier chain is sound; each of its scenes is then rendered at its
// first, middle and last frame (evaluation is where a bad index would bite), and saved:
// loading that file and saving again must give the same bytes. An input that does not
// load goes again with its CRC trailer recomputed. The validity check reads the same input
// from a file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "adventure/AdventureDevices.h"
#include "adventure/movie/Movie.h"
#include "adventure/movie/SceneRender.h"
#include "app/project/ProjectFile.h"
#include "fuzz/FuzzProgram.h"
#include "fuzz/SoundFuzzDevice.h"
#include "platform/kernel32/Modules.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/SampleCatalog.h"

namespace {

struct World {
  World() {
    gfx.Init(nullptr, nullptr, nullptr);
    AdventureDevices_Set(&gfx, &SLFuzzSoundDevice(), nullptr);
    sample_catalog::Build(&gfx);
    Movie_Init(&movie);
    char pattern[] = "/tmp/slprojectfuzzXXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    folder = pattern;
    std::system(("mkdir -p '" + folder + "/Aventuras Guardadas'").c_str());
    // The scratch folder goes with the process (the world itself is never destroyed).
    static std::string removal;
    removal = "rm -rf '" + folder + "'";
    std::atexit([] { std::system(removal.c_str()); });
    SLPlatformSetProgramFileName((folder + "/programa").c_str());
  }
  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  CMemoryGfxDevice gfx;
  Movie movie;
  std::string folder;
};

bool InList(const MovieLink* head, const void* element) { return List_IndexOf(head, element) >= 0; }

void CheckMovie(const Movie* movie) {
  const u32 scenes = Movie_SceneCount(movie);
  SLFuzzCheck(scenes == 0 || movie->currentScene < scenes);
  for (const Scene* scene : ListRange<Scene>(&movie->scenes)) {
    SLFuzzCheck(SceneCatalog_GetAt(u32(scene->background)) != nullptr);
    for (const CharacterInstance* c : ListRange<CharacterInstance>(&scene->characters)) {
      CharacterRecord* record = CharacterCatalog_GetAt(u32(c->character));
      SLFuzzCheck(record != nullptr);
      for (const CharacterActionEntry* e : ListRange<CharacterActionEntry>(&c->actions))
        SLFuzzCheck(e->path.count >= 1 && e->direction < kDirectionCount &&
                    e->action < CatalogRecord_GetListEntryCount(record));
    }
    const u32 objects = Scene_ObjectCount(scene);
    for (const ObjectInstance* o : ListRange<ObjectInstance>(&scene->objects)) {
      ObjectRecord* record = ObjectCatalog_GetAt(u32(o->object));
      SLFuzzCheck(record != nullptr);
      for (const ObjectStateEntry* e : ListRange<ObjectStateEntry>(&o->states))
        SLFuzzCheck(e->path.count >= 1 && e->state < record->states.GetCount());
      u32 steps = 0;
      for (const ObjectInstance* k = o->carrier; k; k = k->carrier) SLFuzzCheck(++steps <= objects && k != o);
      if (o->carrier) {
        SLFuzzCheck(InList(&scene->objects, o->carrier));
        SLFuzzCheck(o->supportPoint < CatalogRecord_GetListEntryCount(ObjectCatalog_GetAt(u32(o->carrier->object))));
      }
    }
    for (const TextItem* t : ListRange<TextItem>(&scene->texts)) {
      SLFuzzCheck(t->balloon.width >= 100 && t->balloon.style >= 1 && t->balloon.style <= 20);
      if (t->attachKind == kTextSpokenByCharacter) SLFuzzCheck(InList(&scene->characters, t->attachedTo));
      if (t->attachKind == kTextAttachedToObject) SLFuzzCheck(InList(&scene->objects, t->attachedTo));
    }
    for (const SoundItem* s : ListRange<SoundItem>(&scene->sounds)) {
      SLFuzzCheck(!const_cast<SoundItem*>(s)->fileName.IsEmpty());
      if (s->kind == kSoundSpoken) SLFuzzCheck(InList(&scene->characters, s->attachedTo));
      if (s->kind == kSoundObject) SLFuzzCheck(InList(&scene->objects, s->attachedTo));
    }
  }
}

// Loads one file's bytes; a movie that loads must render, save, and load and save again to
// the same bytes. True when it loaded.
bool LoadAndCheck(World& world, const uint8_t* data, size_t size) {
  Movie* movie = &world.movie;
  const u32 loaded = ProjectFile_LoadFromMemory(movie, data, size, "fuzz");
  if (!loaded) {
    SLFuzzCheck(Movie_SceneCount(movie) == 0);
  } else {
    CheckMovie(movie);
    for (Scene* scene : ListRange<Scene>(&movie->scenes))
      for (u32 frame : {0u, scene->length / 2, scene->length}) Scene_RenderAtFrame(scene, frame, kModeSilent);
    const std::string first = world.folder + "/a.ZQTR", second = world.folder + "/b.ZQTR";
    SLFuzzCheck(ProjectFile_WriteMovie(movie, first.c_str()) == SL_OK);
    const std::string saved = world.Read(first);
    SLFuzzCheck(ProjectFile_LoadFromMemory(movie, reinterpret_cast<const u8*>(saved.data()), saved.size(), nullptr) == 1);
    SLFuzzCheck(ProjectFile_WriteMovie(movie, second.c_str()) == SL_OK);
    SLFuzzCheck(world.Read(second) == saved);
  }
  Movie_Clear(movie);
  return loaded != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Never destroyed: the framework's singletons go at exit before a static would.
  static World& world = *new World;
  const bool loaded = LoadAndCheck(world, data, size);

  // The CRC trailer is checked last and a mutation almost never keeps it right, so the
  // block parsers would hardly see a changed file. An input that does not load is loaded
  // again with its last four bytes made the CRC (zlib's) of all before them: where the
  // blocks end there, the file now gets past the trailer, while the input as given has
  // shown that a wrong trailer is refused.
  if (!loaded && size >= kProjectMagicSize + 4) {
    std::vector<uint8_t> fixed(data, data + size);
    const uLong crc = crc32(crc32(0, nullptr, 0), fixed.data(), uInt(size - 4));
    for (int k = 0; k < 4; ++k) fixed[size - 4 + k] = uint8_t(crc >> (8 * k));
    if (std::memcmp(fixed.data() + size - 4, data + size - 4, 4) != 0) LoadAndCheck(world, fixed.data(), size);
  }

  {
    std::ofstream out(world.folder + "/Aventuras Guardadas/f.ZQTR", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
  const bool valid = ProjectFile_IsValid("f");
  SLFuzzCheck(valid == (size >= kProjectMagicSize && std::memcmp(data, kProjectMagic, kProjectMagicSize) == 0));
  return 0;
}
