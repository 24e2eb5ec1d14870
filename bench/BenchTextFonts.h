// The two sides' fonts of the text benchmarks: DejaVu Sans at the same pixel size, ours
// made by the font writer (SL_FNTWRITE, the target's compile definition) and loaded into a
// device, Pango's through its FreeType back end at 96 dpi. Include after the project's
// headers: glib defines TRUE and FALSE as macros.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "gamesystem/SLBaseGfx.h"

#include <pango/pangoft2.h>

// The font writer's DejaVu Sans at `pixels`, loaded into `device`; null when the writer or
// the font is missing.
inline SL_GS_Font* SLBenchDejaVuFont(CSL_GS_BaseGfx* device, int pixels) {
  char folder[] = "/tmp/sltextbenchXXXXXX";
  if (!mkdtemp(folder)) return nullptr;
  const std::string fnt = std::string(folder) + "/dejavu" + std::to_string(pixels) + ".fnt";
  const std::string command = std::string("'") + SL_FNTWRITE + "' \"$(fc-match -f '%{file}' 'DejaVu Sans')\" " +
                              std::to_string(pixels) + " '" + fnt + "'";
  SL_GS_Font* font = system(command.c_str()) == 0 ? device->LoadFontFromFile(fnt.c_str()) : nullptr;
  remove(fnt.c_str());
  rmdir(folder);
  return font;
}

// A new Pango layout with DejaVu Sans at `pixels` pixels.
inline PangoLayout* SLBenchPangoLayout(int pixels) {
  PangoFontMap* map = pango_ft2_font_map_new();
  pango_ft2_font_map_set_resolution(PANGO_FT2_FONT_MAP(map), 96, 96);
  PangoContext* context = pango_font_map_create_context(map);
  PangoLayout* made = pango_layout_new(context);
  PangoFontDescription* description = pango_font_description_from_string("DejaVu Sans");
  pango_font_description_set_absolute_size(description, pixels * PANGO_SCALE);
  pango_layout_set_font_description(made, description);
  pango_font_description_free(description);
  return made;
}
