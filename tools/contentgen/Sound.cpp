// The sound pack, the sound folders, the two MXV sounds and the three songs.
#include <cmath>

#include "tools/contentgen/Content.h"
#include "tools/contentgen/Drawing.h"
#include "tools/contentgen/Loudness.h"
#include "tools/contentgen/Speech.h"
#include "tools/contentgen/Synth.h"
#include "tools/mxvwrite/MxvWriter.h"
#include "tools/slpack/PackWriter.h"

namespace contentgen {

namespace {

std::string Wave(const Track& track) { return NormalisedWaveFile(track.Samples(), track.Rate(), track.Channels()); }

// The interface sounds: short, soft and clearly different from each other.
std::string ButtonOver() {
  Track t(22050, 0.09, 1);
  t.Tone(0, 0.05, 1320, 0.5, Timbre::Sine, 0, 3);
  return Wave(t);
}

std::string ButtonClick() {
  Track t(22050, 0.12, 1);
  t.Tone(0, 0.03, 660, 0.6, Timbre::Marimba);
  t.Tone(0.025, 0.04, 990, 0.5, Timbre::Marimba);
  return Wave(t);
}

std::string KeyPress() {
  Track t(22050, 0.05, 1);
  t.Noise(0, 0.004, 0.6, 1.0, 0.0005, 0.006, 99);
  t.Tone(0, 0.01, 2200, 0.2, Timbre::Sine);
  return Wave(t);
}

Track ApplauseTrack(uint32_t rate, uint32_t channels, double seconds, uint32_t seed) {
  Track t(rate, seconds, channels);
  t.Applause(0, seconds - 0.2, 55, 0.8, seed);
  t.Noise(0, seconds - 0.5, 0.05, 0.2, 0.3, 0.3, seed + 11);  // the room
  return t;
}

// The effects: name and how each is made.
struct Effect {
  const char* name;
  double seconds;
  void (*make)(Track&);
};

const Effect kEffects[] = {
    {"Aplausos", 3.0, [](Track& t) { t.Applause(0, 2.8, 55, 0.8, 2024); }},
    {"Campanita", 1.6, [](Track& t) {
       t.Tone(0, 0.3, NoteFrequency(84), 0.5, Timbre::Bell);
       t.Tone(0.15, 0.3, NoteFrequency(88), 0.4, Timbre::Bell);
     }},
    {"Boing", 0.8, [](Track& t) { t.Tone(0, 0.6, 180, 0.7, Timbre::Whistle, 0, 14); }},
    {"Tambor", 1.5, [](Track& t) {
       for (int i = 0; i < 16; ++i) t.Tone(i * 0.06, 0.05, 0, 0.3 + i * 0.03, Timbre::Snare);
       t.Tone(1.0, 0.2, 60, 0.9, Timbre::Kick);
     }},
    {"Silbato", 1.0, [](Track& t) { t.Tone(0, 0.8, 2100, 0.5, Timbre::Whistle); }},
    {"Pop", 0.25, [](Track& t) { t.Tone(0, 0.06, 500, 0.8, Timbre::Sine, 0, 12); }},
    {"Zumbido", 1.5, [](Track& t) {
       for (int i = 0; i < 6; ++i) t.Tone(i * 0.22, 0.25, 190 + 12 * (i % 3), 0.35, Timbre::Buzz, 0, i % 2 ? 1 : -1);
     }},
    {"Lluvia", 2.5, [](Track& t) {
       t.Noise(0, 2.2, 0.25, 0.35, 0.3, 0.3, 77);
       uint32_t s = 5;
       for (int i = 0; i < 40; ++i) t.Tone((NextRandom(&s) % 2400) / 1000.0, 0.02, 1800 + NextRandom(&s) % 1500, 0.15, Timbre::Marimba);
     }},
    {"Viento", 2.5, [](Track& t) { t.Noise(0, 2.0, 0.6, 0.05, 0.8, 0.6, 31); }},
    {"Trueno", 2.5, [](Track& t) {
       t.Noise(0, 0.15, 0.8, 0.6, 0.002, 0.1, 41);
       t.Noise(0.1, 1.2, 0.9, 0.03, 0.05, 0.7, 43);
     }},
    {"Magia", 1.5, [](Track& t) {
       for (int i = 0; i < 8; ++i) t.Tone(i * 0.09, 0.12, NoteFrequency(72 + 2 * i + (i > 3 ? 1 : 0)), 0.3, Timbre::Bell);
     }},
    {"Tic tac", 2.0, [](Track& t) {
       for (int i = 0; i < 4; ++i) t.Tone(i * 0.5, 0.02, i % 2 ? 1700 : 2300, 0.6, Timbre::Marimba);
     }},
    {"Timbre", 1.8, [](Track& t) {
       t.Tone(0, 0.4, NoteFrequency(76), 0.5, Timbre::Bell);
       t.Tone(0.45, 0.6, NoteFrequency(72), 0.5, Timbre::Bell);
     }},
    {"Salto", 0.5, [](Track& t) { t.Tone(0, 0.3, 300, 0.6, Timbre::Sine, 0, 19); }},
};

struct Phrase {
  const char* file;
  const char* text;
};
const Phrase kPhrases[] = {{"Hola", "¡Hola!"},         {"Adiós", "¡Adiós!"},        {"Vamos a jugar", "¿Vamos a jugar?"},
                           {"Mira eso", "¡Mira eso!"}, {"Tengo hambre", "Tengo hambre."}, {"Ayuda", "¡Ayuda!"},
                           {"Muy bien", "¡Muy bien!"}, {"Gracias", "¡Muchas gracias!"}};

bool WriteTrack(const std::filesystem::path& path, const Track& track, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  return WriteBytes(path, NormalisedWaveFile(track.Samples(), track.Rate(), track.Channels()), error);
}

bool WriteMxvSound(const std::filesystem::path& path, uint32_t version, uint32_t codec, const std::vector<int16_t>& samples,
                   std::string* error) {
  slmxv::AudioSettings audio;
  audio.codec = codec;
  audio.samplesPerSecond = 22050;
  audio.channels = 1;
  audio.vorbisQuality = 0.3f;
  slmxv::MxvWriter writer;
  return writer.Create(path.string(), version, nullptr, &audio, error) &&
         writer.SetAudio(samples.data(), samples.size(), error) && writer.Finish(error);
}

// A song's cover picture, detailed enough to pass 64 KiB as a JPEG.
Canvas SongCover() {
  Canvas c(600, 600);
  cairo_t* cr = c.cr();
  Landscape(cr, 600, 600, 7);
  for (int i = 0; i < 90; ++i)
    Star(cr, 20 + (i * 211) % 560, 20 + (i * 137) % 300, 5 + i % 7, 2 + i % 3, 5 + i % 3, Hex(0xFFFFFF - (i * 0x030507)));
  Text(cr, "Alegre", 300, 470, 90, Hex(0xFFD23F), Align::Center, true, Hex(0x5A189A), 6);
  Text(cr, "Música para tus películas", 300, 540, 32, Hex(0xFFFFFF), Align::Center, true, Hex(0x5A189A), 3);
  DrawIcon(cr, Icon::Music, 300, 230, 200, Hex(0x3A0CA3));
  return c;
}

}  // namespace

bool WriteSounds(Context& context, std::string* error) {
  const std::filesystem::path sfx = context.out / "Sfx";

  // The sound pack: version 2, no key.
  slpack::PackWriter pack(2, 0);
  auto add = [&](const char* name, const std::string& bytes) {
    pack.AddFile(name, std::vector<uint8_t>(bytes.begin(), bytes.end()));
  };
  add("boton_over.wav", ButtonOver());
  add("boton_click.wav", ButtonClick());
  add("tecla_press.wav", KeyPress());
  add("applause.wav", Wave(ApplauseTrack(22050, 1, 3.0, 1977)));
  std::vector<uint8_t> packBytes;
  std::error_code ec;
  std::filesystem::create_directories(sfx, ec);
  if (!pack.Build(&packBytes, error) || !slpack::WriteFile(sfx / "Sfx.DAT", packBytes, error)) return false;

  // The spoken welcome (Vorbis) and the loading music, a seamless loop (PCM).
  std::vector<int16_t> welcome;
  if (!Speak(context, kVoiceWelcome,
             "¡Hola! Bienvenidos al taller de películas. Aquí vas a inventar historias con personajes, "
             "escenarios y sonidos. Pulsa Seguir para empezar.",
             &welcome, error) ||
      !WriteMxvSound(sfx / "Bienvenida.MXV", 2, 2, Normalised(welcome, 22050, 1), error))
    return false;
  SongPlan loop;
  loop.tempo = 100;
  loop.bars = 4;
  loop.key = 65;
  loop.seed = 3;
  loop.lead = Timbre::Marimba;
  Track loading(22050, loop.bars * 4 * 60.0 / loop.tempo, 1, true);
  WriteSong(loading, loop);
  if (!WriteMxvSound(sfx / "Cargando.MXV", 1, 1, Normalised(loading.Samples(), 22050, 1), error)) return false;

  // Voices.
  for (int woman = 0; woman < 2; ++woman) {
    const std::filesystem::path folder = sfx / (woman ? "Voces de Mujer" : "Voces de Hombre");
    for (const Phrase& p : kPhrases) {
      std::vector<int16_t> samples;
      if (!Speak(context, woman ? kVoiceWoman : kVoiceMan, p.text, &samples, error) ||
          !WriteBytes(folder / (std::string(p.file) + ".WAV"), NormalisedWaveFile(samples, 22050, 1), error))
        return false;
    }
  }
  // A recording, as the microphone would have made it.
  std::vector<int16_t> recording;
  if (!Speak(context, kVoiceGirl, "Hola, esta es mi voz. ¡La grabé con el micrófono!", &recording, error) ||
      !WriteBytes(sfx / "Grabadas" / "Mi voz.WAV", NormalisedWaveFile(recording, 22050, 1), error))
    return false;

  // Effects, three of them in other formats: IMA ADPCM, 8-bit 11,025 Hz, 44,100 Hz stereo.
  const std::filesystem::path effects = sfx / "Efectos";
  std::filesystem::create_directories(effects, ec);
  for (const Effect& e : kEffects) {
    Track t(22050, e.seconds, 1);
    e.make(t);
    const std::filesystem::path target = effects / (std::string(e.name) + ".WAV");
    const std::string name = e.name;
    if (name != "Magia" && name != "Zumbido" && name != "Aplausos") {
      if (!WriteTrack(target, t, error)) return false;
      continue;
    }
    const std::filesystem::path plain = Scratch(context, "efecto.wav");
    if (!WriteTrack(plain, t, error)) return false;
    std::vector<std::string> args{"sox", plain.string()};
    if (name == "Magia") args.insert(args.end(), {"-e", "ima-adpcm", target.string()});
    if (name == "Zumbido") args.insert(args.end(), {"-b", "8", "-e", "unsigned-integer", "-r", "11025", target.string()});
    // Two copies of a mono signal are 3 dB louder: take that back.
    if (name == "Aplausos")
      args.insert(args.end(), {"-b", "16", "-c", "2", target.string(), "rate", "44100", "gain", "-3.01"});
    if (!RunDriver(context, args, error)) return false;
  }

  // Songs: 30 to 60 seconds, each in its own kind of MP3.
  const std::filesystem::path music = sfx / "Musica Fondo";
  std::filesystem::create_directories(music, ec);
  // The cover: as large a JPEG as stays under LAME's picture limit.
  const std::filesystem::path coverPpm = Scratch(context, "portada.ppm"), cover = Scratch(context, "portada.jpg");
  if (!WriteBytes(coverPpm, SongCover().Ppm(Hex(0xFFFFFF)), error) ||
      !RunDriver(context, {"jpeg", coverPpm.string(), cover.string(), "97"}, error))
    return false;
  struct Song {
    const char* name;
    uint32_t rate, channels;
    SongPlan plan;
    std::vector<std::string> encoding;  // the driver command and its quality
  };
  const Song songs[] = {
      {"Alegre", 44100, 2, {124, 18, 60, false, 11, Timbre::Pluck, true, 0}, {"mp3cbr", "128"}},
      {"Aventura", 44100, 2, {112, 16, 57, true, 29, Timbre::Pluck, true, 0.2}, {"mp3vbr", "4"}},
      {"Tranquila", 22050, 1, {76, 11, 62, false, 5, Timbre::Bell, false, 0}, {"mp3cbr", "64"}},
  };
  for (const Song& song : songs) {
    const std::filesystem::path wav = Scratch(context, "cancion.wav");
    {  // one song's samples at a time
      Track track(song.rate, song.plan.bars * 4 * 60.0 / song.plan.tempo + 2, song.channels);
      WriteSong(track, song.plan);
      if (!WriteTrack(wav, track, error)) return false;
    }
    std::vector<std::string> args{song.encoding[0], wav.string(), (music / (std::string(song.name) + ".MP3")).string(),
                                  song.encoding[1], song.name};
    if (std::string(song.name) == "Alegre") args.push_back(cover.string());
    if (!RunDriver(context, args, error)) return false;
    std::filesystem::remove(wav, ec);
  }
  return true;
}

}  // namespace contentgen
