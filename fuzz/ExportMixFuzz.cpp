// The export mix over sounds of fuzzed formats (400 to 96,000 Hz, 1 to 64 channels, 8,
// 16, 24 or 32 bits, any length, looping or not) as the sounds of a character's actions
// and an object's states, mixed at fuzzed frames with fuzzed window sizes. Nothing may
// read outside a sound, a failing frame must leave a code, and every element's results
// must be those of its last render, whatever the call answered.
#include <cstdint>
#include <cstring>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/movie/ExportMix.h"
#include "adventure/movie/SceneRender.h"
#include "fuzz/FuzzProgram.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/MovieCatalog.h"
#include "tests/support/RecordingSfx.h"

namespace {

struct Devices {
  Devices() {
    gfx.Init(nullptr, nullptr, nullptr);
    AdventureDevices_Set(&gfx, &sfx, nullptr);
    frame = MovieCatalog::Solid(&gfx, 4, 4, 2, 4, 0xFF00FF00);
  }
  CMemoryGfxDevice gfx;
  CRecordingSfx sfx;
  SL_GS_Image* frame;
};

SL_GS_SoundRecord* FuzzedSound(SLFuzzProgram& p, CRecordingSfx* sfx) {
  const u32 bits = 8 * (1 + p.Take() % 4), channels = 1 + p.Take() % 64;
  const u32 rate = 400 + (p.Take() | p.Take() << 8 | (p.Take() % 2) << 16) % 95601;
  const u32 frames = (p.Take() | p.Take() << 8) % 20000;
  const u32 align = bits / 8 * channels;
  const SLAudioFormat format{1, channels, bits, rate, rate * align, align};
  SL_GS_SoundRecord* sound = sfx->CreateSound(frames, &format, 3);
  if (sound)
    for (u64 b = 0; b < u64(frames) * align; ++b) sound->samples[b] = u8(p.Take() ^ b);
  return sound;
}

bool SameResults(const ElementResults& a, const ElementResults& b) {
  return a.visible == b.visible && a.posX == b.posX && a.posY == b.posY && a.image == b.image && a.scale == b.scale &&
         a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height && a.voice == b.voice &&
         a.voiceNumber == b.voiceNumber && a.segmentStart == b.segmentStart && a.segmentEnd == b.segmentEnd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Never destroyed: the framework's singletons go at exit before a static would.
  static Devices& devices = *new Devices;
  SLFuzzProgram p{data, size};
  SL_GS_SoundRecord* actionSound = FuzzedSound(p, &devices.sfx);
  SL_GS_SoundRecord* stateSound = FuzzedSound(p, &devices.sfx);
  MovieCatalog::ActionSpec action;
  action.frames[0] = {devices.frame};
  action.sound = actionSound, action.soundLoops = p.Take() & 1;
  const i32 who = MovieCatalog::AddCharacter("ana", false, {{"Normal", 0}}, {action});
  MovieCatalog::ObjectStateSpec state{"Normal", {devices.frame}};
  state.sound = stateSound, state.soundLoops = p.Take() & 1;
  const i32 what = MovieCatalog::AddObject("caja", -1, {state});

  Movie movie;
  Movie_Init(&movie);
  Scene* scene = Movie_AppendScene(&movie);
  scene->length = p.Take() * 300;
  CharacterInstance* c = CharacterInstance_New();
  c->scene = scene, c->character = who, c->endFrame = 0xFFFFFFFF, c->x = 300, c->y = 200;
  List_Append(&scene->characters, &c->link);
  CharacterActionEntry* e = CharacterActionEntry_Append(c);
  e->startFrame = p.Take(), e->endFrame = e->startFrame + p.Take() * 100;
  ObjectInstance* o = ObjectInstance_New();
  o->scene = scene, o->object = what;
  List_Append(&scene->objects, &o->link);
  ObjectStateEntry* s = ObjectStateEntry_Append(o);
  s->startFrame = p.Take(), s->endFrame = s->startFrame + p.Take() * 100;

  CMovieExportMixer mixer;
  std::vector<i16> out;
  for (u32 step = 0; step < 4; ++step) {
    const u32 frame = p.Take() * 97 + p.Take(), n = 1 + (p.Take() | p.Take() << 8) % 22050;
    Scene_RenderAtFrame(scene, frame, kModeEvaluate);
    const ElementResults keptC = *c, keptO = *o;
    out.assign(size_t(n) * 2, 0);
    const u32 mixed = Scene_MixAudioForFrame(&mixer, scene, frame + p.Take(), out.data(), n);
    SLFuzzCheck(mixed || SLGetLastError() != SL_OK);
    SLFuzzCheck(SameResults(*c, keptC) && SameResults(*o, keptO));
    for (i16 v : out) SLFuzzCheck(v >= -32767);
  }
  Movie_Clear(&movie);
  CharacterCatalog_Free();
  ObjectCatalog_Free();
  if (actionSound) devices.sfx.DestroySound(actionSound);
  if (stateSound) devices.sfx.DestroySound(stateSound);
  devices.sfx.numbers.clear();
  return 0;
}
