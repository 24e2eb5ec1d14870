// The sample characters: three people who stand, walk, talk, wave, jump, open things, sit
// and look at each other, and a bird that flies, chirps, loops and perches. Every frame is
// drawn by the puppet renderer on one canvas with the feet at the point.
#include <cmath>
#include <cstdio>

#include "tools/contentgen/Items.h"
#include "tools/contentgen/Loudness.h"
#include "tools/contentgen/Puppet.h"
#include "tools/contentgen/Speech.h"

namespace contentgen {

namespace {

// Folder names of the eight directions, by number.
const char* const kDirections[8] = {"adelante", "adelante_izquierda", "adelante_derecha", "atras",
                                    "atras_izquierda", "atras_derecha", "izquierda", "derecha"};
// Actions that are not walked, stood or talked are drawn in the four main directions.
const int kFourDirections[] = {0, 3, 6, 7};
const int kEightDirections[] = {0, 1, 2, 3, 4, 5, 6, 7};

using Keys = std::vector<std::pair<const char*, const char*>>;

struct PersonAction {
  const char* name;
  const char* actionClass;
  const char* animation;  // its frame folder; null: the folder of the action before (reversed)
  int frames;
  bool eightDirections;
  Pose (*pose)(int frame, int count);
  Keys keys;
};

constexpr double kTau = 2 * M_PI;

double Pick(std::initializer_list<double> values, int k) { return values.begin()[k]; }

// Blinks once at the end of its sequence; the rest of the time the puppet stands still.
const char* const kIdleSequence = "1, 1, 1, 1, 1, 1, 1, 2";

// An 800 ms cycle of eight steps: the legs swing through a whole stride and back.
Pose Walk(int k, int n) {
  Pose p;
  p.stride = std::sin(kTau * k / n);
  p.bounce = 1.5 * std::fabs(std::cos(kTau * k / n));
  return p;
}

const PersonAction kPersonActions[] = {
    {"Estar de pie", "Quieto", "parado", 2, true, [](int k, int) { Pose p; p.blink = k == 1; return p; },
     {{"Disponible_En_Estado", "Parada"}, {"Animación_Secuencia", kIdleSequence}, {"Animación_Duración", "3000"},
      {"Animación_Repite", "SIEMPRE"}, {"Visible", "NO"}}},
    {"Caminar", "Caminata", "caminar", 8, true, Walk,
     {{"Disponible_En_Estado", "Parada"}, {"Animación_Duración", "800"}, {"Animación_Repite", "SIEMPRE"},
      {"Es_Caminata", "SI"}, {"Necesita_Referencia1", "Escenario"}}},
    {"Hablar", "Habla", "hablar", 4, true,
     [](int k, int) { Pose p; p.mouth = Pick({0.25, 0.9, 0.45, 0.8}, k); return p; },
     {{"Disponible_En_Estado", "Parada"}, {"Animación_Duración", "480"}, {"Animación_Repite", "SIEMPRE"},
      {"Inserta_Habla", "SI"}}},
    {"Saludar", "Gesto", "saludar", 4, false,
     [](int k, int) {
       Pose p;
       p.wave = k == 0 ? 0.55 : 1.0;
       p.waveSwing = Pick({0, -1, 0, 1}, k);
       p.mouth = k >= 2 ? 0.5 : 0;
       return p;
     },
     {{"Disponible_En_Estado", "Parada"}, {"Animación_Ida_y_Vuelta", "SI"}, {"Animación_Duración", "1100"},
      {"Animación_Repite", "2"}, {"Audio", "hola.wav"}}},
    {"Saltar", "Gesto", "saltar", 6, false,
     [](int k, int) {
       Pose p;
       const double lift[] = {0, 18, 34, 40, 22, 0};
       p.bounce = lift[k];
       p.tuck = Pick({0, 0.3, 0.6, 0.7, 0.3, 0}, k);
       p.sit = k == 0 ? 0.12 : 0;  // crouching to spring
       p.reach = k == 3 ? 0.4 : 0;
       return p;
     },
     {{"Disponible_En_Estado", "Parada"}, {"Animación_Duración", "900"}, {"Animación_Repite", "1"}}},
    {"Abrir o encender", "Usar", "abrir", 4, false,
     [](int k, int) { Pose p; p.reach = Pick({0.35, 0.75, 1.0, 0.2}, k); return p; },
     {{"Disponible_En_Estado", "Parada"}, {"Animación_Duración", "800"}, {"Animación_Repite", "1"},
      // Walks up to the object and stands beside it, on the side it is facing from.
      {"Necesita_Referencia1",
       "Objeto, Acercar = SI, Delta_Acercar = (-44; 0; Derecha), Delta_Acercar = (44; 0; Izquierda), "
       "Delta_Acercar = (0; 14; Atrás), Delta_Acercar = (0; -14; Adelante)"},
      {"Afecta_Estado_Objeto1", "Puerta, Cerrada, Abriéndose"},
      {"Afecta_Estado_Objeto2", "Puerta, Abierta, Cerrándose"},
      {"Afecta_Estado_Objeto3", "Lámpara, Apagada, Encendida"},
      {"Afecta_Estado_Objeto4", "Lámpara, Encendida, Apagada"},
      {"Afecta_Estado_Objeto5", "Radio, Apagada, Sonando"},
      {"Afecta_Estado_Objeto6", "Radio, Sonando, Apagada"},
      {"Afecta_Estado_Objeto7", "Pelota, Quieta, Botando"}}},
    {"Sentarse", "Sentarse", "sentarse", 4, false,
     [](int k, int) { Pose p; p.sit = Pick({0.15, 0.45, 0.75, 1.0}, k); return p; },
     {{"Disponible_En_Estado", "Parada"}, {"Animación_Duración", "700"}, {"Animación_Repite", "1"},
      {"Necesita_Referencia1", "ObjetoApoyo, Clase = Silla, Acercar = SI"}, {"Pasa_A_Estado", "Sentada"}}},
    {"Sentado", "Quieto", "sentado", 2, false, [](int k, int) { Pose p; p.sit = 1; p.blink = k == 1; return p; },
     {{"Disponible_En_Estado", "Sentada"}, {"Animación_Secuencia", kIdleSequence}, {"Animación_Duración", "3000"},
      {"Animación_Repite", "SIEMPRE"}, {"Visible", "NO"}}},
    {"Hablar sentado", "Habla", "hablar_sentado", 4, false,
     [](int k, int) { Pose p; p.sit = 1; p.mouth = Pick({0.25, 0.9, 0.45, 0.8}, k); return p; },
     {{"Disponible_En_Estado", "Sentada"}, {"Animación_Duración", "480"}, {"Animación_Repite", "SIEMPRE"},
      {"Inserta_Habla", "SI"}}},
    {"Levantarse", "Sentarse", nullptr, 0, false, nullptr,
     {{"Disponible_En_Estado", "Sentada"}, {"Animación", "sentarse"}, {"Animación_Sentido_Inverso", "SI"},
      {"Animación_Duración", "700"}, {"Animación_Repite", "1"}, {"QuitarForzarDirección", "SI"},
      {"Pasa_A_Estado", "Parada"}}},
    {"Mirar a alguien", "Gesto", "mirar", 3, false,
     [](int k, int) { Pose p; p.lookUp = Pick({0.3, 0.6, 0.3}, k); p.blink = k == 1; return p; },
     {{"Disponible_En_Estado", "Parada"}, {"Animación_Duración", "1200"}, {"Animación_Repite", "1"},
      {"Necesita_Referencia1", "Personaje"}}},
};

struct Person {
  const char* file;
  const char* name;
  const char* itemClass;
  Puppet puppet;
  Voice voice;
};

const Person kPeople[] = {
    {"Sofia.DAT", "Sofía", "Niña",
     {150, Hex(0xF6CFAE), Hex(0x7B3F1D), Hex(0xFF7043), Hex(0xF8BBD0), Hex(0xD32F2F), HairStyle::Pigtails, true,
      Hex(0x5C6BC0), false},
     kVoiceGirl},
    {"Tomas.DAT", "Tomás", "Niño",
     {146, Hex(0xE0AC84), Hex(0x2B1B0E), Hex(0x42A5F5), Hex(0x37474F), Hex(0x424242), HairStyle::Short, false, {},
      false},
     {"es-419", 160, 72}},
    {"AbuelaRosa.DAT", "Abuela Rosa", "Adulto",
     {178, Hex(0xF3D2B8), Hex(0xD5DBDF), Hex(0xAB47BC), Hex(0xD7B39A), Hex(0x4E342E), HairStyle::Bun, true,
      Hex(0x6A1B9A), true},
     kVoiceWoman},
};

std::string FrameName(const char* folder, int direction, int frame) {
  char name[96];
  std::snprintf(name, sizeof name, "%s/%s_%02d.mximg", folder, kDirections[direction], frame);
  return name;
}

template <class Draw>
void AddFrames(ItemPack& pack, const char* folder, int count, bool eight, Draw draw) {
  for (int direction : eight ? std::vector<int>(std::begin(kEightDirections), std::end(kEightDirections))
                             : std::vector<int>(std::begin(kFourDirections), std::end(kFourDirections)))
    for (int k = 0; k < count; ++k) {
      Canvas canvas(kFrameWidth, kFrameHeight);
      draw(canvas.cr(), direction, k);
      pack.Frame(FrameName(folder, direction, k + 1), canvas, kFeetX, kFeetY);
    }
}

void ActionKeys(ItemPack& pack, int index, const char* name, const char* actionClass, const char* animation,
                const Keys& keys) {
  const std::string section = "Acción_" + std::to_string(index);
  pack.Key(section, "Nombre", name);
  pack.Key(section, "Clase", actionClass);
  if (animation) pack.Key(section, "Animación", animation);
  for (const auto& [key, value] : keys) pack.Key(section, key, value);
}

bool WritePerson(Context& context, const Person& person, const std::filesystem::path& path, PackForm form,
                 std::string* error) {
  ItemPack pack(context);
  pack.Key("General", "Clase", person.itemClass);
  pack.Key("General", "Nombre", person.name);
  pack.Key("General", "Estado_Inicial", "Parada");
  pack.Key("Estado_1", "Nombre", "Parada");
  pack.Key("Estado_1", "Acción_Por_Defecto", "Acción_1");
  pack.Key("Estado_1", "Acción_Caminata", "Acción_2");
  pack.Key("Estado_1", "Acción_Habla", "Acción_3");
  pack.Key("Estado_2", "Nombre", "Sentada");
  pack.Key("Estado_2", "Acción_Por_Defecto", "Acción_8");
  pack.Key("Estado_2", "Acción_Habla", "Acción_9");
  int index = 0;
  for (const PersonAction& action : kPersonActions) {
    ActionKeys(pack, ++index, action.name, action.actionClass, action.animation, action.keys);
    if (!action.animation) continue;
    AddFrames(pack, action.animation, action.frames, action.eightDirections, [&](cairo_t* cr, int direction, int k) {
      DrawPuppet(cr, person.puppet, action.pose(k, action.frames), direction, kFeetX, kFeetY);
    });
  }
  std::vector<int16_t> hello;
  if (!Speak(context, person.voice, "¡Hola!", &hello, error)) return false;
  pack.File("hola.wav", NormalisedWaveFile(hello, 22050, 1));
  return pack.Write(path, form.version, form.key, TextForm::Windows1252, error);
}

struct BirdAction {
  const char* name;
  const char* actionClass;
  const char* animation;
  int frames;
  bool eightDirections;
  BirdPose (*pose)(int frame, int count);
  Keys keys;
};

BirdPose Flap(int k, int n) {
  BirdPose p;
  p.wings = std::cos(kTau * k / n);
  p.lift = 6 + 3 * std::sin(kTau * k / n);
  return p;
}

const BirdAction kBirdActions[] = {
    {"Volar", "Quieto", "volar", 4, true, Flap,
     {{"Animación_Duración", "400"}, {"Animación_Repite", "SIEMPRE"}, {"Visible", "NO"}}},
    {"Volar hacia", "Caminata", "volar_hacia", 4, true,
     [](int k, int n) { BirdPose p = Flap(k, n); p.tilt = 0; p.lift += 4; return p; },
     {{"Animación_Duración", "320"}, {"Animación_Repite", "SIEMPRE"}, {"Es_Caminata", "SI"},
      {"Necesita_Referencia1", "Escenario"}}},
    {"Piar", "Habla", "piar", 4, true,
     [](int k, int n) { BirdPose p = Flap(k, n); p.beak = (k % 2) ? 1 : 0.2; return p; },
     {{"Animación_Duración", "400"}, {"Animación_Repite", "SIEMPRE"}, {"Inserta_Habla", "SóloAudio"}}},
    {"Dar una vuelta", "Gesto", "vuelta", 8, false,
     [](int k, int n) {
       BirdPose p = Flap(k, 4);
       p.tilt = kTau * (k + 1) / n;
       p.lift = 8 + 30 * std::sin(M_PI * (k + 1) / n);
       return p;
     },
     {{"Animación_Duración", "1200"}, {"Animación_Repite", "1"}}},
    {"Posarse", "Posarse", "posarse", 4, false,
     [](int k, int) {
       BirdPose p;
       p.lift = Pick({16, 9, 3, 0}, k);
       p.wings = Pick({1, -0.6, 0.5, -1}, k);
       return p;
     },
     {{"Animación_Duración", "700"}, {"Animación_Repite", "1"},
      {"Necesita_Referencia1", "ObjetoApoyo, Clase = Mueble, Acercar = SI"}}},
};

bool WriteBird(Context& context, const std::filesystem::path& path, PackForm form, std::string* error) {
  ItemPack pack(context);
  pack.Key("General", "Clase", "Pájaro");
  pack.Key("General", "Nombre", "Pico");
  pack.Key("General", "Flotante", "SI");
  pack.Key("General", "Estado_Inicial", "Volando");
  pack.Key("Estado_1", "Nombre", "Volando");
  pack.Key("Estado_1", "Acción_Por_Defecto", "Acción_1");
  pack.Key("Estado_1", "Acción_Caminata", "Acción_2");
  pack.Key("Estado_1", "Acción_Habla", "Acción_3");
  int index = 0;
  for (const BirdAction& action : kBirdActions) {
    ActionKeys(pack, ++index, action.name, action.actionClass, action.animation, action.keys);
    AddFrames(pack, action.animation, action.frames, action.eightDirections, [&](cairo_t* cr, int direction, int k) {
      DrawBird(cr, action.pose(k, action.frames), direction, kFeetX, kFeetY);
    });
  }
  return pack.Write(path, form.version, form.key, TextForm::Windows1252, error);
}

}  // namespace

bool WriteCharacters(Context& context, std::string* error) {
  const std::filesystem::path folder = context.out / "Gfx" / "Personajes";
  size_t index = 0;
  for (const Person& person : kPeople)
    if (!WritePerson(context, person, folder / person.file, PackFormFor(index++), error)) return false;
  return WriteBird(context, folder / "Pico.DAT", PackFormFor(index), error);
}

bool WriteSmallCharacter(Context& context, const std::filesystem::path& path, const std::string& name,
                         const std::string& itemClass, const int (&frames)[8], PackForm form, std::string* error) {
  ItemPack pack(context);
  pack.Key("General", "Clase", itemClass);
  pack.Key("General", "Nombre", name);
  pack.Key("General", "Estado_Inicial", "Parada");
  pack.Key("Estado_1", "Nombre", "Parada");
  pack.Key("Estado_1", "Acción_Por_Defecto", "Acción_1");
  ActionKeys(pack, 1, "Estar de pie", "Quieto", "parado",
             {{"Animación_Duración", "1000"}, {"Animación_Repite", "SIEMPRE"}, {"Visible", "NO"}});
  for (int direction = 0; direction < 8; ++direction)
    for (int k = 0; k < frames[direction]; ++k) {
      Canvas canvas(kFrameWidth, kFrameHeight);
      Pose pose;
      pose.stride = k % 2 ? 0.5 : 0;
      DrawPuppet(canvas.cr(), kPeople[size_t(direction + k) % std::size(kPeople)].puppet, pose, direction, kFeetX, kFeetY);
      pack.Frame(FrameName("parado", direction, k + 1), canvas, kFeetX, kFeetY);
    }
  return pack.Write(path, form.version, form.key, TextForm::Windows1252, error);
}

}  // namespace contentgen
