// A skin for the edit and grid tests, made at test time: every key of "EditBox",
// "Caret_Cursor" and "Grid", the scroll bars, and the monospaced font of the font fixtures
// (every printable ASCII glyph 5 wide, an advance of 7: a word of n letters measures
// 7n - 2). One picture holds every element; its top-left 2 x 2 pixels are transparent, so
// the corner of a frame cut from there hits nothing.
#pragma once

#include <string>

#include "storage/SLMemoryStorage.h"
#include "storage/SLZipFileStorage.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WidgetFixture.h"

inline const char kTextWidgetLayout[] =
    "[Images]\r\nPIC = p.png\r\n"
    "[Fonts]\r\nMONO = mono.fnt\r\n"
    "[EditBox]\r\n"
    "Font = mono\r\n"
    "Normal = pic; (0,0,12,12); (2,2,2,2)\r\n"
    "NormalBackgroundOverride = pic; (16,0,8,8); (0,0,0,0)\r\n"
    "SelectedArea = pic; (24,0,8,8); (0,0,0,0)\r\n"
    "NormalColor = (1,2,3)\r\nOverColor = (4,5,6)\r\nDisabledColor = (7,8,9)\r\nSelectedColor = (10,11,12)\r\n"
    "[Caret_Cursor]\r\nNormal = pic; (40,0,2,16); (0,0,0,0)\r\n"
    "[Grid]\r\n"
    "Font = mono\r\nHeaderFont = mono\r\n"
    "Normal = pic; (0,0,12,12); (2,2,2,2)\r\n"
    "NormalBackgroundOverride = pic; (16,0,8,8); (0,0,0,0)\r\n"
    "SelectedArea = pic; (24,0,8,8); (0,0,0,0)\r\n"
    "HorizontalSeparator = pic; (0,20,16,1); (0,0,0,0)\r\n"
    "VerticalSeparator = pic; (0,24,1,16); (0,0,0,0)\r\n"
    "NormalButton = pic; (16,16,8,8); (1,1,1,1)\r\nNormalButtonBackgroundOverride = pic; (16,16,8,8); (0,0,0,0)\r\n"
    "OverButton = pic; (24,16,8,8); (1,1,1,1)\r\nOverButtonBackgroundOverride = pic; (24,16,8,8); (0,0,0,0)\r\n"
    "ClickButton = pic; (32,16,8,8); (1,1,1,1)\r\nClickButtonBackgroundOverride = pic; (32,16,8,8); (0,0,0,0)\r\n"
    "DisabledButton = pic; (40,16,8,8); (1,1,1,1)\r\n"
    "DisabledButtonBackgroundOverride = pic; (40,16,8,8); (0,0,0,0)\r\n"
    "NormalColor = (1,2,3)\r\nOverColor = (4,5,6)\r\nSelectedColor = (10,11,12)\r\nDisabledColor = (7,8,9)\r\n"
    "NormalButtonColor = (13,14,15)\r\nOverButtonColor = (16,17,18)\r\nClickButtonColor = (19,20,21)\r\n"
    "DisabledButtonColor = (22,23,24)\r\n"
    "[Scrollbar_Horizontal]\r\n"
    "NormalButton = pic; (0,32,16,16); (2,2,2,2)\r\nTrackArea = pic; (16,32,16,16); (1,1,1,1)\r\n"
    "NormalThumb = pic; (32,32,16,16); (3,3,3,3)\r\n"
    "[Scrollbar_Vertical]\r\n"
    "NormalButton = pic; (0,32,16,16); (2,2,2,2)\r\nTrackArea = pic; (16,32,16,16); (1,1,1,1)\r\n"
    "NormalThumb = pic; (32,32,16,16); (3,3,3,3)\r\n";

// Loads the skin into the fixture's manager; 0 on failure.
inline u32 LoadTextWidgetSkin(CSL_GS_GuiManager* manager) {
  // Made once per test program: the tools take longer than the tests.
  static const std::string bytes = [] {
    const TempDir dir;
    SLTestCapture("python3 '" SL_SOURCE_DIR "/tools/fixtures/make_font_fixtures.py' '" + dir.Host() + "'");
    SLTestCapture("convert -size 64x64 xc:white \\( -size 2x2 xc:none \\) -geometry +0+0 -compose copy -composite "
                  "'PNG32:" + dir.Host("p.png") + "'");
    dir.Write("layout.inf", kTextWidgetLayout);
    SLTestRunPython("import zipfile\nz = zipfile.ZipFile('" + dir.Host("skin.zip") + "', 'w')\n" +
                    "for n in ('layout.inf', 'p.png', 'mono.fnt'):\n    z.write('" + dir.Host() + "/' + n, n)\n" +
                    "z.close()\n");
    return dir.Read("skin.zip");
  }();
  std::string copy = bytes;
  CSLMemoryStorage memory;
  memory.AttachBuffer(copy.data(), u32(copy.size()), false);
  CSLZipFileStorage zip;
  if (!zip.AttachContainer(&memory)) return 0;
  const u32 id = manager->LoadSkinFromStorage(&zip);
  zip.AttachContainer(nullptr);
  return id;
}
