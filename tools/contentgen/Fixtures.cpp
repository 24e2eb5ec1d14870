// The test fixtures (contentgen --fixtures DIR), never shipped: enough items and sounds
// that every picker and chooser scrolls by one, and variant folders that each hold one
// item pack broken in a known way.
//
//   DIR/Gfx/Fondos      7 backgrounds, one opaque only outside the random placement range
//   DIR/Gfx/Personajes  9 characters, one with frames only in "derecha"
//   DIR/Gfx/Objetos     13 objects
//   DIR/Sfx/Efectos     13 effects;  DIR/Sfx/Voces de Hombre  12 voices
//   DIR/Gfx/Gfx.DAT     the building-box screen with 4 boxes (00001-00004) among entries
//                       whose five characters after "Caja" are not all digits
//   DIR/Variantes/sin_cajas/Gfx/Gfx.DAT  the building-box screen without any box
//   (the boxes' videos are made by the tests that need them, with ffmpeg)
//   DIR/Variantes/NAME/Gfx/...  one good item of each kind beside the broken one:
//     crc_malo          a version 2 background pack whose CRC does not match
//     direccion_corta   a character with one frame fewer in "izquierda"
//     duplicado         two objects of the same class and name
//     linea_mala        an object whose "info.txt" has a line that is no key
//     sin_objetos       an empty Objetos folder
#include "tools/contentgen/Content.h"
#include "tools/contentgen/Items.h"
#include "tools/contentgen/Pictures.h"
#include "tools/contentgen/Synth.h"

namespace contentgen {

namespace {

namespace fs = std::filesystem;

constexpr int kEveryDirection[8] = {1, 1, 1, 1, 1, 1, 1, 1};

// One good item of each kind, in `gfx`.
bool WriteGoodItems(Context& context, const fs::path& gfx, std::string* error) {
  return WriteSmallBackground(context, gfx / "Fondos" / "Bueno.DAT", "Fondo bueno", "Exterior", 0, false,
                              PackFormFor(1), error) &&
         WriteSmallCharacter(context, gfx / "Personajes" / "Bueno.DAT", "Personaje bueno", "Niño", kEveryDirection,
                             PackFormFor(2), error) &&
         WriteSmallObject(context, gfx / "Objetos" / "Bueno.DAT", "Objeto bueno", "Juguete", "", PackFormFor(3), error);
}

bool WriteVariants(Context& context, std::string* error) {
  const fs::path variants = context.out / "Variantes";
  std::error_code ec;
  for (const char* name : {"crc_malo", "direccion_corta", "duplicado", "linea_mala", "sin_objetos"}) {
    const fs::path gfx = variants / name / "Gfx";
    for (const char* kind : {"Fondos", "Personajes", "Objetos"}) fs::create_directories(gfx / kind, ec);
    if (std::string(name) != "sin_objetos" && !WriteGoodItems(context, gfx, error)) return false;
  }
  // The last four bytes of a version 2 pack are the CRC-32 of everything before them.
  const fs::path broken = variants / "crc_malo" / "Gfx" / "Fondos" / "Roto.DAT";
  std::string bytes;
  if (!WriteSmallBackground(context, broken, "Fondo roto", "Exterior", 1, false, {2, 0}, error) ||
      !ReadBytes(broken, &bytes))
    return false;
  bytes.back() = char(bytes.back() ^ 0x5A);
  if (!WriteBytes(broken, bytes, error)) return false;

  const int shortLeft[8] = {2, 2, 2, 2, 2, 2, 1, 2};
  const fs::path sinObjetos = variants / "sin_objetos" / "Gfx";
  return WriteSmallCharacter(context, variants / "direccion_corta" / "Gfx" / "Personajes" / "Corto.DAT",
                             "Paso corto", "Niño", shortLeft, PackFormFor(0), error) &&
         WriteSmallObject(context, variants / "duplicado" / "Gfx" / "Objetos" / "Copia.DAT", "Objeto bueno",
                          "Juguete", "", PackFormFor(4), error) &&
         WriteSmallObject(context, variants / "linea_mala" / "Gfx" / "Objetos" / "Linea.DAT", "Objeto raro", "Juguete",
                          "Esto no es una clave", PackFormFor(5), error) &&
         WriteSmallBackground(context, sinObjetos / "Fondos" / "Bueno.DAT", "Fondo bueno", "Exterior", 0, false,
                              PackFormFor(1), error) &&
         WriteSmallCharacter(context, sinObjetos / "Personajes" / "Bueno.DAT", "Personaje bueno", "Niño",
                             kEveryDirection, PackFormFor(2), error);
}

bool WriteFixtureSounds(Context& context, std::string* error) {
  const fs::path effects = context.out / "Sfx" / "Efectos", voices = context.out / "Sfx" / "Voces de Hombre";
  for (int i = 1; i <= 13; ++i) {
    Track t(22050, 0.3, 1);
    t.Tone(0, 0.25, NoteFrequency(60 + i), 0.5, Timbre::Marimba);
    char name[32];
    std::snprintf(name, sizeof name, "Efecto %02d.WAV", i);
    if (!WriteBytes(effects / name, WaveFile(t.Samples(0.5), t.Rate(), 1), error)) return false;
  }
  for (int i = 1; i <= 12; ++i) {
    Track t(22050, 0.4, 1);
    t.Tone(0, 0.35, NoteFrequency(48 + i), 0.5, Timbre::Pad);
    char name[32];
    std::snprintf(name, sizeof name, "Voz %02d.WAV", i);
    if (!WriteBytes(voices / name, WaveFile(t.Samples(0.5), t.Rate(), 1), error)) return false;
  }
  return true;
}

// The building-box screen's pack: key and version as the shipped graphics pack.
bool WriteBuildingPack(Context& context, const fs::path& path, const std::vector<std::string>& boxes,
                       std::string* error) {
  PictureSet set(context);
  AddBuildingScreen(set, boxes);
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  return set.Write(path, 3, 0x5A17C3E9, error);
}

}  // namespace

bool WriteFixtures(Context& context, std::string* error) {
  const fs::path gfx = context.out / "Gfx";
  const char* const classes[] = {"Exterior", "Interior"};
  for (int i = 1; i <= 7; ++i) {
    char file[32];
    std::snprintf(file, sizeof file, "Fondo%d.DAT", i);
    const bool opaqueOutside = i == 7;
    const std::string name = opaqueOutside ? "Sin suelo dentro" : "Fondo " + std::to_string(i);
    if (!WriteSmallBackground(context, gfx / "Fondos" / file, name, classes[i % 2], i, opaqueOutside, PackFormFor(i),
                              error))
      return false;
  }
  const int onlyRight[8] = {0, 0, 0, 0, 0, 0, 0, 1};
  for (int i = 1; i <= 9; ++i) {
    char file[32];
    std::snprintf(file, sizeof file, "Personaje%d.DAT", i);
    const bool rightOnly = i == 9;
    const std::string name = rightOnly ? "Solo derecha" : "Personaje " + std::to_string(i);
    if (!WriteSmallCharacter(context, gfx / "Personajes" / file, name, i % 2 ? "Niño" : "Niña",
                             rightOnly ? onlyRight : kEveryDirection, PackFormFor(i), error))
      return false;
  }
  for (int i = 1; i <= 13; ++i) {
    char file[32];
    std::snprintf(file, sizeof file, "Objeto%02d.DAT", i);
    if (!WriteSmallObject(context, gfx / "Objetos" / file, "Objeto " + std::to_string(i), i % 3 ? "Juguete" : "Mueble",
                          "", PackFormFor(i), error))
      return false;
  }
  // "Caja0x003" and "Caja-0004" match the box pattern but name no box number.
  return WriteFixtureSounds(context, error) && WriteVariants(context, error) &&
         WriteBuildingPack(context, gfx / "Gfx.DAT",
                           {"Caja00001", "Caja0x003", "Caja00002", "Caja00003", "Caja-0004", "Caja00004"}, error) &&
         WriteBuildingPack(context, context.out / "Variantes" / "sin_cajas" / "Gfx" / "Gfx.DAT", {}, error);
}

}  // namespace contentgen
