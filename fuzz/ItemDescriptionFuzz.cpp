// The input as "info.txt": every getter of the description reader over the keys the
// loaders ask for, the token splitters over every value, then (for a description with a
// class and a name) a background load from a pack that holds it beside a stage picture.
#include <cstdint>
#include <string>

#include "adventure/catalog/ItemDescription.h"
#include "fuzz/CatalogFuzz.h"
#include "storage/SLFastFileStorage.h"

namespace {

const char* const kSections[] = {"General", "Estado_1", "Estado_2", "Acci\xF3n_1", "Punto_Apoyo_1"};
const char* const kKeys[] = {"Clase", "Nombre", "Flotante", "Estado_Inicial", "Animaci\xF3n",
                             "Animaci\xF3n_Secuencia", "Animaci\xF3n_Repite", "Audio", "Posici\xF3n",
                             "Clase_Personajes1", "Necesita_Referencia1", "Visible"};

void ReadEverything(ItemDescription& description) {
  for (const char* section : kSections)
    for (const char* key : kKeys) {
      char value[ItemDescription::kValueSize], token[ItemDescription::kValueSize];
      bool present = false, flag = false;
      u32 number = 0;
      if (description.GetValue(section, key, value, sizeof value, &present)) SLFuzzCheck(present || !value[0]);
      description.GetRequired(section, key, value, sizeof value);
      description.GetNonEmpty(section, key, value, sizeof value, &present);
      description.GetYesNo(section, key, false, &flag);
      description.GetUInt(section, key, 1, &number, true);
      double fraction;
      i32 signedNumber;
      ItemDescription_ParseFraction(value, &fraction, true);
      ItemDescription_ParseInt(value, &signedNumber, false);
      for (u32 n = 1; n <= 100 && ItemDescription_GetToken(value, n, token, sizeof token); ++n) {
        char direction[64];
        for (u32 d = 1; d <= 10 && ItemDescription_GetDirectionToken(token, d, direction, sizeof direction); ++d)
          SLFuzzCheck(direction[0] != 0);
      }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SLFuzzCatalogDevice();
  if (size > 65536) return 0;
  slpack::PackWriter writer(2, 0);
  writer.AddFile(std::string("info.txt"), std::vector<uint8_t>(data, data + size));
  writer.AddFile(std::string("fondo.tga"), SLFuzzStagePicture());
  std::vector<uint8_t> pack;
  std::string error;
  if (!writer.Build(&pack, &error)) std::abort();

  CSLMemoryStorage memory;
  memory.AttachBuffer(pack.data(), u32(pack.size()), false);
  CSLFastFileStorage reader;
  SLFuzzCheck(reader.AttachContainer(&memory));
  ItemDescription description;
  bool named = false;
  if (description.Load(&reader)) {
    ReadEverything(description);
    char value[512];
    named = description.GetRequired("General", "Clase", value, sizeof value) &&
            description.GetRequired("General", "Nombre", value, sizeof value);
  }
  reader.DetachContainer();
  // The whole load decodes the stage picture first; it is worth its time only for
  // descriptions that may get past the required keys.
  if (!named) return 0;

  if (!slpack::WriteFile(SLFuzzPackPath(), pack, &error)) std::abort();
  SLFuzzLoadAndCheck();
  return 0;
}
