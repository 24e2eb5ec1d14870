// The help file: a few Spanish pages compiled into a CHM by chmcmd, "contenido.htm" first.
#include "tools/contentgen/Content.h"

namespace contentgen {

namespace {

// Letters beyond ASCII as numeric references, so the pages read the same in any code page.
std::string Html(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = utf8[i];
    if (c < 0x80) {
      out.push_back(char(c));
      ++i;
      continue;
    }
    const int extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : 3;
    unsigned code = c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + size_t(k) < utf8.size(); ++k) code = code << 6 | (utf8[i + size_t(k)] & 0x3F);
    out += "&#" + std::to_string(code) + ";";
    i += size_t(extra) + 1;
  }
  return out;
}

struct Page {
  const char* file;
  const char* title;
  const char* body;  // HTML, UTF-8
};

const Page kPages[] = {
    {"contenido.htm", "Ayuda: contenido",
     "<p>¡Hola! Con este programa puedes inventar tus propias películas: eliges un escenario, "
     "agregas personajes y objetos, les das acciones, escribes lo que dicen y pones música.</p>"
     "<ul>"
     "<li><a href=\"primeros_pasos.htm\">Primeros pasos</a></li>"
     "<li><a href=\"personajes.htm\">Personajes, objetos y globos de diálogo</a></li>"
     "<li><a href=\"sonidos.htm\">Voces, efectos y música</a></li>"
     "<li><a href=\"cine.htm\">Ver tu película en el cine</a></li>"
     "<li><a href=\"construir.htm\">El taller de construcción</a></li>"
     "</ul>"},
    {"primeros_pasos.htm", "Primeros pasos",
     "<p>En el menú principal pulsa <b>Jugar</b>. Elige <b>Empieza un nuevo proyecto</b> para comenzar "
     "una película nueva.</p>"
     "<p>Con el botón de <b>escenas</b> eliges dónde pasa la historia: un parque, una playa o la casa "
     "de la abuela. Puedes tener muchas escenas, una detrás de otra.</p>"
     "<p>No te olvides de <b>guardar</b> tu película con el disquete de la barra de arriba.</p>"
     "<p><a href=\"contenido.htm\">Volver al contenido</a></p>"},
    {"personajes.htm", "Personajes, objetos y globos de diálogo",
     "<p>Pulsa el botón de <b>personajes</b> y elige a quien quieras. Aparece en el escenario y puedes "
     "arrastrarlo con el ratón.</p>"
     "<p>Con el botón derecho le das una <b>acción</b>: caminar, saludar, saltar, hablar o sentarse.</p>"
     "<p>Los <b>objetos</b> se ponen igual. Algunos se pueden abrir o encender.</p>"
     "<p>Para que un personaje hable, escribe su texto: aparece en un globo de diálogo.</p>"
     "<p><a href=\"contenido.htm\">Volver al contenido</a></p>"},
    {"sonidos.htm", "Voces, efectos y música",
     "<p>El botón de <b>sonidos</b> abre la lista de voces de hombre y de mujer, efectos, música de "
     "fondo y tus propias grabaciones.</p>"
     "<p>Con el micrófono puedes grabar tu voz y ponerle un nombre. ¡Así tus personajes dicen lo que "
     "tú quieras!</p>"
     "<p><a href=\"contenido.htm\">Volver al contenido</a></p>"},
    {"cine.htm", "Ver tu película en el cine",
     "<p>Cuando tu película esté lista, pulsa la <b>cámara</b>. Se abre el cine: se corre el telón y "
     "la película empieza. Al final, ¡el público aplaude!</p>"
     "<p>También puedes exportarla como video para mostrarla a tu familia.</p>"
     "<p><a href=\"contenido.htm\">Volver al contenido</a></p>"},
    {"construir.htm", "El taller de construcción",
     "<p>En el menú principal pulsa <b>Construir</b>. Elige una caja y mira sus videos: te enseñan, "
     "paso a paso, a armar una casita o un cohete de cartón.</p>"
     "<p>Pide siempre ayuda a un adulto para usar tijeras y pegamento.</p>"
     "<p><a href=\"contenido.htm\">Volver al contenido</a></p>"},
};

std::string PageText(const Page& page) {
  return "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=us-ascii\">\r\n<title>" +
         Html(page.title) +
         "</title>\r\n<style>body{font-family:sans-serif;background:#FFF8E7;color:#3A0CA3}"
         "h1{color:#D00000}</style>\r\n</head>\r\n<body>\r\n<h1>" +
         Html(page.title) + "</h1>\r\n" + Html(page.body) + "\r\n</body>\r\n</html>\r\n";
}

}  // namespace

// chmcmd stamps the file with the time it ran, twice: big-endian in the "ITSF" header at
// offset 16 and little-endian in the "#SYSTEM" file's entry 10 (code 10, length 4), which
// follows the version word 3 and is stored uncompressed. Both get one fixed time, so two
// runs write the same bytes.
static void FixCompileTime(std::string* chm) {
  constexpr uint32_t kFixedTime = 0x65920080;  // 2024-01-01 00:00 UTC
  if (chm->size() < 20 || chm->compare(0, 4, "ITSF") != 0) return;
  for (int k = 0; k < 4; ++k) (*chm)[16 + k] = char(kFixedTime >> (24 - 8 * k));
  static const char kEntry[] = "\x03\x00\x00\x00\x0a\x00\x04\x00";
  const size_t at = chm->find(std::string(kEntry, 8));
  if (at == std::string::npos || at + 12 > chm->size()) return;
  for (int k = 0; k < 4; ++k) (*chm)[at + 8 + k] = char(kFixedTime >> (8 * k));
}

bool WriteHelp(Context& context, std::string* error) {
  const std::filesystem::path folder = Scratch(context, "ayuda");
  std::string project =
      "[OPTIONS]\r\nCompatibility=1.1 or later\r\nCompiled file=ayuda.chm\r\nContents file=indice.hhc\r\n"
      "Default topic=contenido.htm\r\nDisplay compile progress=No\r\nLanguage=0xc0a\r\nTitle=" +
      Html("Ayuda") + "\r\n\r\n[FILES]\r\n";
  std::string contents =
      "<html><body>\r\n<object type=\"text/site properties\"></object>\r\n<ul>\r\n";
  for (const Page& page : kPages) {
    if (!WriteBytes(folder / page.file, PageText(page), error)) return false;
    project += std::string(page.file) + "\r\n";
    contents += "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"" + Html(page.title) +
                "\"><param name=\"Local\" value=\"" + page.file + "\"></object>\r\n";
  }
  contents += "</ul>\r\n</body></html>\r\n";
  std::string chm;
  if (!WriteBytes(folder / "ayuda.hhp", project, error) || !WriteBytes(folder / "indice.hhc", contents, error) ||
      !RunDriver(context, {"chm", folder.string(), "ayuda.hhp"}, error) || !ReadBytes(folder / "ayuda.chm", &chm)) {
    if (error->empty()) *error = "chmcmd wrote no help file";
    return false;
  }
  FixCompileTime(&chm);
  return WriteBytes(context.out / kHelpFile, chm, error);
}

}  // namespace contentgen
