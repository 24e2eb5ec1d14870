// The videos: the intro, the cinema's curtains and the building-box steps. Frames are drawn
// here and streamed as raw BGRA to ffmpeg, which muxes them with a sound made here.
#include <algorithm>
#include <cmath>
#include <functional>
#include <thread>

#include "tools/contentgen/Content.h"
#include "tools/contentgen/Craft.h"
#include "tools/contentgen/Loudness.h"
#include "tools/contentgen/Screens.h"
#include "tools/contentgen/Drawing.h"
#include "tools/contentgen/Speech.h"
#include "tools/contentgen/Synth.h"

namespace contentgen {

namespace {

constexpr double kPi = 3.14159265358979323846;

double Ease(double x) {
  x = std::clamp(x, 0.0, 1.0);
  return x * x * (3 - 2 * x);
}

using FrameFunction = std::function<void(cairo_t*, double seconds)>;

bool EncodeVideo(Context& context, const std::filesystem::path& target, int width, int height, int fps, double seconds,
                 const char* codec, const Track& sound, const FrameFunction& draw, std::string* error) {
  const std::filesystem::path wav = Scratch(context, "pista.wav");
  if (!WriteBytes(wav, NormalisedWaveFile(sound.Samples(), sound.Rate(), sound.Channels()), error)) return false;
  std::error_code ec;
  std::filesystem::create_directories(target.parent_path(), ec);
  Child ffmpeg(context, {"sh", context.driver, "avi", std::to_string(width), std::to_string(height), std::to_string(fps),
                         codec, wav.string(), target.string()});
  if (!ffmpeg.Start(error)) return false;
  const int frames = int(std::lround(seconds * fps));
  Canvas canvas(width, height);
  bool written = true;
  for (int f = 0; f < frames && written; ++f) {
    cairo_t* cr = canvas.cr();
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_save(cr);
    draw(cr, double(f) / fps);
    cairo_restore(cr);
    for (int y = 0; y < height && written; ++y) written = ffmpeg.Write(canvas.Row(y), size_t(width) * 4);
  }
  if (!ffmpeg.Finish(error)) return false;
  if (!written) *error = "ffmpeg stopped reading frames for " + target.string();
  return written;
}

// The intro: the clapper comes in, the title bounces letter by letter, stars sparkle.
void IntroFrame(cairo_t* cr, double t) {
  Landscape(cr, 640, 480, 19);
  const double in = Ease(t / 1.2);
  DrawIcon(cr, Icon::Clapper, -80 + 200 * in, 300, 150, Hex(0x1D1E2C));
  DrawIcon(cr, Icon::Camera, 720 - 220 * in, 300, 150, Hex(0x4361EE));
  const std::string title[3] = {"¡Luces,", "cámara,", "acción!"};
  for (int w = 0; w < 3; ++w) {
    const double start = 1.0 + w * 0.8, k = Ease((t - start) / 0.5);
    if (k <= 0) continue;
    const double bounce = std::sin(std::min(1.0, (t - start) / 0.5) * kPi) * 18;
    cairo_save(cr);
    cairo_translate(cr, 320, 110 + w * 70 - bounce);
    cairo_scale(cr, k, k);
    Text(cr, title[w], 0, 0, 62, Hex(0xFFD23F), Align::Center, true, Hex(0x5A189A), 5);
    cairo_restore(cr);
  }
  if (t > 3.8)
    Text(cr, "Un taller de películas para niñas y niños", 320, 440, 24, Hex(0xFFFFFF), Align::Center, true,
         Hex(0x2D6A4F), 3);
  for (int i = 0; i < 12; ++i) {
    const double phase = t * 2 + i * 0.7;
    const double size = 6 + 5 * std::sin(phase);
    if (size > 3) Star(cr, 40 + (i * 173) % 560, 30 + (i * 97) % 220, size, size * 0.45, 5, Hex(0xFFF3B0));
  }
  const double fade = std::clamp((t - 7.3) / 0.7, 0.0, 1.0);
  if (fade > 0) {
    cairo_set_source_rgba(cr, 0, 0, 0, fade);
    cairo_paint(cr);
  }
}

// The cinema's stage with curtains open by `open` (0 closed, 1 open).
// The width of each curtain of the 664-wide stage when it is `open` (0 closed, 1 open).
double CurtainWidth(double open) { return 332 * (1 - 0.92 * Ease(open)); }

void CurtainScene(cairo_t* cr, double open, const std::function<void(cairo_t*)>& behind) {
  FillVertical(cr, 0, 0, 664, 372, Hex(0x03045E), Hex(0x0077B6));
  behind(cr);
  const double half = CurtainWidth(open);
  for (int side = 0; side < 2; ++side) {
    const double x0 = side ? 664 - half : 0;
    for (int fold = 0; fold < 10; ++fold) {
      const double fw = half / 10;
      FillVertical(cr, x0 + fold * fw, 0, fw + 1, 372, Hex(fold % 2 ? 0xD00000 : 0x9D0208), Hex(0x6A040F));
    }
  }
  FillVertical(cr, 0, 0, 664, 34, Hex(0xC1121F), Hex(0x780000));
  for (int i = 0; i < 14; ++i) {
    cairo_arc(cr, 24 + i * 48, 32, 24, 0, kPi);
    SetColor(cr, Hex(0x9D0208));
    cairo_fill(cr);
  }
}

}  // namespace

// The cinema's opening: the caption grows with the gap between the curtains, always
// 12 px inside it, and shows once it can be read.
void CinemaIntroFrame(cairo_t* cr, double t) {
  const double open = (t - 0.5) / 2.5;
  CurtainScene(cr, open, [&](cairo_t* c) {
    const char* caption = "¡Comienza la función!";
    const double size = 44, outline = 4;
    const double room = 664 - 2 * CurtainWidth(open) - 2 * 12;
    const double full = TextWidth(c, caption, size) + 2 * outline;
    const double scale = std::min(1.0, room / full);
    if (scale < 0.4) return;
    cairo_save(c);
    cairo_translate(c, 332, 200);
    cairo_scale(c, scale, scale);
    Text(c, caption, 0, 0, size, Hex(0xFFD23F), Align::Center, true, Hex(0x5A189A), outline);
    cairo_restore(c);
  });
}

std::vector<std::pair<std::string, std::vector<LayoutBox>>> CinemaIntroLayouts() {
  std::vector<std::pair<std::string, std::vector<LayoutBox>>> out;
  for (int f = 0; f < 60; ++f) {  // 4 s at 15 frames a second
    const double t = f / 15.0, half = CurtainWidth((t - 0.5) / 2.5);
    std::vector<LayoutBox> boxes;
    std::vector<LayoutBox>* outer = RecordLayout(&boxes);
    {
      Canvas c(664, 372);
      CinemaIntroFrame(c.cr(), t);
    }
    RecordLayout(outer);
    LayoutBox gap;
    gap.label = "apertura";
    gap.x = half;
    gap.w = 664 - 2 * half;
    gap.h = 372;
    boxes.push_back(gap);
    out.emplace_back("Videos/Cine/Intro.AVI@" + std::to_string(f), std::move(boxes));
  }
  return out;
}

namespace {

struct BoxVideo {
  int box, step;
  const char* codec;
  int fps;
  const char* name;     // at most 12 characters
  const char* caption;  // shown
  const char* spoken;
};

const BoxVideo kBoxVideos[] = {
    {1, 1, "msvideo1", 15, "1 Materiales", "Paso 1: los materiales",
     "Paso uno. Junta una caja de cartón, tijeras, pegamento y lápices de colores. Pide ayuda a un adulto."},
    {1, 2, "msvideo1", 15, "2 Paredes", "Paso 2: puerta y ventanas",
     "Paso dos. Dibuja la puerta y las ventanas, y recórtalas con mucho cuidado."},
    {1, 3, "msvideo1", 15, "3 Techo", "Paso 3: el techo",
     "Paso tres. Dobla un cartón por la mitad y pégalo arriba como techo. ¡Tu casita está lista!"},
    {2, 1, "cinepak", 4, "1 Cuerpo", "Paso 1: el cuerpo del cohete",
     "Paso uno. Enrolla una hoja de cartulina como un tubo y pega el borde."},
    {2, 2, "msvideo1", 10, "2 Alas", "Paso 2: las alas y la punta",
     "Paso dos. Recorta tres alas y una punta, y pégalas al tubo. ¡Listo para despegar!"},
};

// A building-box step: the spoken step over a bell, the model growing as it is told.
bool WriteBoxVideo(Context& context, const BoxVideo& v, std::string* error) {
  std::vector<int16_t> voice;
  if (!Speak(context, kVoiceWoman, v.spoken, &voice, error)) return false;
  const double seconds = std::ceil(voice.size() / 22050.0 + 1.5);
  Track sound(22050, seconds, 2);
  sound.Tone(0, 0.3, NoteFrequency(84), 0.15, Timbre::Bell);
  sound.Mix(voice, 0.6, 1.0);
  char folder[16];
  std::snprintf(folder, sizeof folder, "%05d", v.box);
  auto frame = [&v, seconds](cairo_t* cr, double t) { CraftStepFrame(cr, v.box, v.step, t, seconds, v.caption); };
  return EncodeVideo(context, context.out / "Videos" / "Cajas" / folder / (std::string(v.name) + ".AVI"), 432, 324,
                     v.fps, seconds, v.codec, sound, frame, error);
}

std::thread g_slow;
std::string g_slowError;
bool g_slowDone = false;

}  // namespace

void StartSlowVideos(Context& context) {
  g_slow = std::thread([&context] {
    std::string error;
    bool ok = true;
    for (const BoxVideo& v : kBoxVideos)
      if (ok && std::string(v.codec) == "cinepak") ok = WriteBoxVideo(context, v, &error);
    g_slowError = ok ? "" : error;
    g_slowDone = ok;
  });
}

bool FinishSlowVideos(Context&, std::string* error) {
  if (g_slow.joinable()) g_slow.join();
  if (!g_slowDone) *error = g_slowError.empty() ? "the slow videos did not run" : g_slowError;
  return g_slowDone;
}

bool WriteVideos(Context& context, std::string* error) {
  const std::filesystem::path videos = context.out / "Videos";

  // The intro: 640 x 480, a jingle and the spoken title.
  {
    Track sound(22050, 8.0, 2);
    SongPlan jingle;
    jingle.tempo = 120;
    jingle.bars = 4;
    jingle.key = 60;
    jingle.seed = 17;
    jingle.lead = Timbre::Bell;
    WriteSong(sound, jingle);
    std::vector<int16_t> voice;
    if (!Speak(context, kVoiceWelcome, "¡Luces, cámara, acción!", &voice, error)) return false;
    sound.Mix(voice, 1.0, 1.6);
    if (!EncodeVideo(context, videos / "Intro.AVI", 640, 480, 15, 8.0, "mjpeg", sound, IntroFrame, error)) return false;
  }

  // The cinema: curtains open on the show; at the end they close on "FIN" and applause.
  {
    Track sound(22050, 4.0, 2);
    for (int i = 0; i < 3; ++i) sound.Tone(0.3 + i * 0.25, 0.22, NoteFrequency(67 + 5 * i), 0.4, Timbre::Pluck);
    sound.Tone(1.05, 1.8, NoteFrequency(79), 0.4, Timbre::Bell);
    sound.Tone(1.05, 1.8, NoteFrequency(72), 0.3, Timbre::Pad);
    if (!EncodeVideo(context, videos / "Cine" / "Intro.AVI", 664, 372, 15, 4.0, "mjpeg", sound, CinemaIntroFrame, error))
      return false;
  }
  {
    Track sound(22050, 6.0, 2);
    sound.Applause(0.2, 5.8, 55, 0.8, 4242);
    sound.Tone(0.0, 1.2, NoteFrequency(72), 0.25, Timbre::Bell);
    sound.Tone(0.0, 1.2, NoteFrequency(76), 0.25, Timbre::Bell);
    sound.Tone(0.0, 1.2, NoteFrequency(79), 0.25, Timbre::Bell);
    auto frame = [](cairo_t* cr, double t) {
      FillVertical(cr, 0, 0, 664, 372, Hex(0x03045E), Hex(0x0077B6));
      CurtainScene(cr, 1 - t / 2.0, [](cairo_t*) {});
      if (t > 1.6) {
        const double k = Ease((t - 1.6) / 0.8);
        cairo_save(cr);
        cairo_translate(cr, 332, 230);
        cairo_scale(cr, k, k);
        Text(cr, "FIN", 0, 0, 140, Hex(0xFFD23F), Align::Center, true, Hex(0x3D0C11), 8);
        cairo_restore(cr);
        for (int i = 0; i < 8; ++i)
          Star(cr, 332 + std::cos(i * kPi / 4 + t) * 200 * k, 186 + std::sin(i * kPi / 4 + t) * 120 * k, 14, 6, 5,
               Hex(0xFFF3B0));
      }
    };
    if (!EncodeVideo(context, videos / "Cine" / "Final.AVI", 664, 372, 15, 6.0, "mjpeg", sound, frame, error)) return false;
  }

  for (const BoxVideo& v : kBoxVideos)
    if (std::string(v.codec) != "cinepak" && !WriteBoxVideo(context, v, error)) return false;
  return true;
}

}  // namespace contentgen
