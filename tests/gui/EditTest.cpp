// The edit control on a skin with the monospaced font (a word of n letters advances 7n with
// the spacing after its last glyph, a space advances 7, a line is 10 high): line breaking, key scripts with the text and
// caret they leave, the maximum length and the character filter, the application's hooks,
// the scroll bars, the mouse and its auto-scroll, the blinking caret and the failures.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "gui/SLGuiEdit.h"
#include "tests/support/TextWidgetSkin.h"

namespace {

constexpr u32 kMulti = SL_GUI_ES_MULTILINE;
constexpr u32 kWrap = SL_GUI_ES_MULTILINE | SL_GUI_ES_WORDWRAP;

// What the application's name fields do: digits never reach the edit.
class CDigitlessEdit : public CSL_GS_GuiEdit {
  SL_DECLARE_CLASS(CDigitlessEdit)
 public:
  void OnChar(u32 code) override {
    if (code < '0' || code > '9') CSL_GS_GuiEdit::OnChar(code);
  }
};
SL_IMPLEMENT_CLASS_CREATABLE(CDigitlessEdit, CSL_GS_GuiEdit)

// A filter that edits the string in place: every 'a' becomes 'A', typed or set.
class CUpperEdit : public CSL_GS_GuiEdit {
  SL_DECLARE_CLASS(CUpperEdit)
 public:
  void OnTextChanged(CSLStringAnsi* text) override {
    if (char* buffer = text->GetBufferTerminated())
      for (char* p = buffer; *p; ++p)
        if (*p == 'a') *p = 'A';
    CSL_GS_GuiEdit::OnTextChanged(text);
  }
};
SL_IMPLEMENT_CLASS_CREATABLE(CUpperEdit, CSL_GS_GuiEdit)

// An edit whose line table cannot grow.
class CNoMemoryEdit : public CSL_GS_GuiEdit {
  SL_DECLARE_CLASS(CNoMemoryEdit)
 public:
  static void* Refuse(u32) { return nullptr; }
  void Starve() { m_lines.SetAllocator(&Refuse, nullptr); }
};
SL_IMPLEMENT_CLASS_CREATABLE(CNoMemoryEdit, CSL_GS_GuiEdit)

class EditTest : public WidgetFixture {
 protected:
  void SetUp() override {
    WidgetFixture::SetUp();
    skin = LoadTextWidgetSkin(&m);
    ASSERT_NE(skin, 0u);
  }
  template <class Edit = CSL_GS_GuiEdit>
  Edit* MakeEdit(const char* text, u32 style, SLGuiRect r = {10, 10, 104, 34}) {
    auto* e = static_cast<Edit*>(m.CreateWindow(Edit::GetClassRecord(), text, r.x, r.y, r.width, r.height,
                                                kChild | style, skin, 1, dialog));
    EXPECT_NE(e, nullptr);
    return e;
  }
  // Plays keys on an edit: literal bytes are typed; "{Name}" presses a key, "{S+Name}" with
  // Shift held and "{C+Name}" with Ctrl.
  void Keys(CSL_GS_GuiEdit* e, const std::string& script) {
    static const std::map<std::string, u32> codes = {
        {"Del", SL_GUI_KEY_DELETE}, {"Home", SL_GUI_KEY_HOME},   {"End", SL_GUI_KEY_END},
        {"PgUp", SL_GUI_KEY_PAGEUP}, {"PgDn", SL_GUI_KEY_PAGEDOWN}, {"Left", SL_GUI_KEY_LEFT},
        {"Right", SL_GUI_KEY_RIGHT}, {"Up", SL_GUI_KEY_UP},       {"Down", SL_GUI_KEY_DOWN}};
    u8* keys = m.GetState()->keyState;
    for (size_t i = 0; i < script.size();) {
      if (script[i] != '{') {
        e->OnChar(u8(script[i++]));
        continue;
      }
      const size_t close = script.find('}', i);
      std::string name = script.substr(i + 1, close - i - 1);
      i = close + 1;
      for (; name.size() > 2 && name[1] == '+'; name = name.substr(2))
        keys[name[0] == 'S' ? SL_GUI_KEY_LSHIFT : SL_GUI_KEY_RCTRL] = SL_GUI_KEYF_DOWN;
      if (name == "BS")
        e->OnChar(8);
      else if (name == "Enter")
        e->OnChar(13);
      else
        e->OnKeyDown(codes.at(name));
      keys[SL_GUI_KEY_LSHIFT] = keys[SL_GUI_KEY_RCTRL] = 0;
    }
  }
  static std::vector<u32> Starts(CSL_GS_GuiEdit* e) {
    std::vector<u32> starts;
    for (u32 i = 0; i < e->GetLineCount(); ++i) starts.push_back(e->GetLine(i).start);
    return starts;
  }
  u32 skin = 0;
};

TEST_F(EditTest, MeasuresWithTheSkinFont) {
  CSL_GS_GuiEdit* e = MakeEdit("", kMulti);
  EXPECT_EQ(e->GetSpaceAdvance(), 7u);
  EXPECT_EQ(e->GetPasswordAdvance(), 7u);
  EXPECT_EQ(e->GetLineHeight(), 10u);
  // The frame's borders of 2 leave a 100 x 30 client area: three lines.
  EXPECT_EQ(e->GetVisibleLines(), 3u);
  EXPECT_EQ(Starts(e), std::vector<u32>{0});  // an empty text is one empty line
  // The built-in skin's font widens a lone space (for speech balloons) and kerns every
  // glyph before a space back as far: a space steps what it adds between two words.
  auto* plain = static_cast<CSL_GS_GuiEdit*>(
      m.CreateWindow(CSL_GS_GuiEdit::GetClassRecord(), "", 10, 50, 104, 34, kChild | kMulti, 0, 2, dialog));
  ASSERT_NE(plain, nullptr);
  SL_GS_Font* font = m.GetSkinFont(0, "EditBox", "Font");
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(plain->GetSpaceAdvance(), u32(gfx.GetTextWidth(font, u"n a", 3) - gfx.GetTextWidth(font, u"na", 2)));
}

// Line starts of texts in a 100-pixel-wide text area (a 104-wide bordered edit).
TEST_F(EditTest, BreaksLines) {
  struct Case {
    const char* name;
    u32 style;
    const char* text;
    std::vector<u32> starts;
  } cases[] = {
      {"two words fit", kWrap, "hola mundo", {0}},
      {"the word that does not fit starts the next line", kWrap, "hola mundo ok adios", {0, 14}},
      {"a word wider than the edit is split between characters", kWrap, "abcdefghijklmnopq", {0, 14}},
      {"the space that reaches the edge starts the next line", kWrap, "abcdefghijklm  x", {0, 14}},
      {"a space right after a word at the edge ends the line", kWrap, "abcdefghijklmn x", {0, 15}},
      {"a line break ends a line", kMulti, "ab\r\ncd", {0, 4}},
      {"a break at the end opens an empty last line", kMulti, "ab\r\n", {0, 4}},
      {"lone CR and LF break a multi-line edit", kMulti, "a\rb\nc", {0, 2, 4}},
      {"without wrap only breaks end lines", kMulti, "hola mundo ok adios", {0}},
      {"a single line has no breaks", 0, "ab\r\ncd", {0}},
  };
  for (const Case& c : cases) {
    CSL_GS_GuiEdit* e = MakeEdit(c.text, c.style);
    EXPECT_EQ(Starts(e), c.starts) << c.name;
    m.DestroyWindow(e);
  }
}

// Key scripts on an edit: the text, caret and selection they leave.
TEST_F(EditTest, KeyScripts) {
  struct Case {
    const char* name;
    u32 style;
    const char* text;
    const char* keys;
    const char* expected;
    u32 caret, anchor, end;
  } cases[] = {
      {"typing", 0, "", "Hola", "Hola", 4, 4, 4},
      {"backspace at 0 and delete at the end change nothing", 0, "ab", "{BS}{End}{Del}", "ab", 2, 2, 2},
      {"backspace after a line break takes both bytes", kMulti, "ab\r\ncd", "{Down}{Home}{BS}", "abcd", 2, 2, 2},
      {"left and right step over a line break", kMulti, "ab\r\ncd", "{Right}{Right}{Right}", "ab\r\ncd", 4, 4, 4},
      {"delete before a line break takes both bytes", kMulti, "ab\r\ncd", "{Right}{Right}{Del}", "abcd", 2, 2, 2},
      {"enter does nothing on a single line", 0, "ab", "{End}{Enter}", "ab", 2, 2, 2},
      {"enter breaks a multi-line edit", kMulti, "ab", "{End}{Enter}c", "ab\r\nc", 5, 5, 5},
      {"shift+right twice selects two letters", 0, "abc", "{S+Right}{S+Right}", "abc", 2, 0, 2},
      {"no selection with style bit 4", SL_GUI_ES_NOSELECT, "abc", "{S+Right}{S+Right}", "abc", 2, 2, 2},
      {"a typed character replaces the selection", 0, "abc", "{S+Right}{S+Right}x", "xc", 1, 1, 1},
      {"backspace deletes the selection", 0, "abc", "{End}{S+Left}{S+Left}{BS}", "a", 1, 1, 1},
      {"ctrl+left lands on the last character of the previous word", 0, "uno dos", "{End}{Left}{Left}{C+Left}",
       "uno dos", 2, 2, 2},
      {"ctrl+right goes to the next word", 0, "uno  dos", "{C+Right}", "uno  dos", 5, 5, 5},
      {"home and end of a line", kMulti, "uno\r\ndos\r\ntres", "{Down}{End}", "uno\r\ndos\r\ntres", 8, 8, 8},
      {"ctrl+end goes to the text's end", kMulti, "uno\r\ndos", "{C+End}", "uno\r\ndos", 8, 8, 8},
      {"down keeps the x offset", kMulti, "abcdef\r\nabcdef", "{Right}{Right}{Right}{Down}", "abcdef\r\nabcdef", 11,
       11, 11},
      {"up to a shorter line goes to its end", kMulti, "ab\r\nabcdef", "{Down}{End}{Up}", "ab\r\nabcdef", 2, 2, 2},
      {"page down stops at the last line", kMulti, "1\r\n2\r\n3\r\n4\r\n5", "{PgDn}{PgDn}", "1\r\n2\r\n3\r\n4\r\n5", 12,
       12, 12},
      {"read-only refuses characters and deletion", SL_GUI_ES_READONLY, "ab", "x{Del}{End}{BS}", "ab", 2, 2, 2},
      {"spanish letters are typed, DEL is not", 0, "", "\xF1\xE1\x7F", "\xF1\xE1", 2, 2, 2},
  };
  for (const Case& c : cases) {
    CSL_GS_GuiEdit* e = MakeEdit(c.text, c.style);
    Keys(e, c.keys);
    EXPECT_EQ(std::string(e->GetText()), c.expected) << c.name;
    EXPECT_EQ(e->GetCaret(), c.caret) << c.name;
    EXPECT_EQ(e->GetAnchor(), c.anchor) << c.name;
    EXPECT_EQ(e->GetSelectionEnd(), c.end) << c.name;
    m.DestroyWindow(e);
  }
}

TEST_F(EditTest, FullEditRefusesTypingAndKeepsItsText) {
  CSL_GS_GuiEdit* e = MakeEdit("abc", 0);
  ASSERT_TRUE(e->SetMaxLength(3));
  Keys(e, "{End}d");
  EXPECT_STREQ(e->GetText(), "abc");
  EXPECT_EQ(e->GetCaret(), 3u);
  // In the middle too: the last letter is not pushed out.
  Keys(e, "{Home}{Right}x");
  EXPECT_STREQ(e->GetText(), "abc");
  EXPECT_EQ(e->GetCaret(), 1u);
  // A selection is still replaced.
  Keys(e, "{S+Right}x");
  EXPECT_STREQ(e->GetText(), "axc");
  // Text set by the program is still cut.
  ASSERT_TRUE(e->SetText("uvwxyz"));
  EXPECT_STREQ(e->GetText(), "uvw");
  ASSERT_TRUE(e->SetMaxLength(2));
  EXPECT_STREQ(e->GetText(), "uv");
  EXPECT_LE(e->GetCaret(), 2u);
  // A line break needs two bytes: one free byte refuses it rather than leave a lone CR.
  CSL_GS_GuiEdit* multi = MakeEdit("ab", kMulti, {10, 50, 104, 34});
  ASSERT_TRUE(multi->SetMaxLength(3));
  Keys(multi, "{End}{Enter}");
  EXPECT_STREQ(multi->GetText(), "ab");
  Keys(multi, "c");
  EXPECT_STREQ(multi->GetText(), "abc");
}

TEST_F(EditTest, DropsCodesTheTextCannotHold) {
  CSL_GS_GuiEdit* e = MakeEdit("ab", 0);
  e->OnChar(0x20AC);  // the euro sign's UTF-16 code would be cut to 0xAC
  e->OnChar(0x1F1);
  EXPECT_STREQ(e->GetText(), "ab");
  ASSERT_TRUE(e->SetText("a\x01" "b\tc\r\nd\x1b"));
  EXPECT_STREQ(e->GetText(), "ab\tc\r\nd");
  ASSERT_TRUE(e->ReplaceSelection("\x02x\x03"));
  EXPECT_STREQ(e->GetText(), "xab\tc\r\nd");
}

TEST_F(EditTest, HooksFilterTypedAndProgramText) {
  auto* digitless = MakeEdit<CDigitlessEdit>("", 0);
  Keys(digitless, "a1b2");
  EXPECT_STREQ(digitless->GetText(), "ab");
  auto* upper = MakeEdit<CUpperEdit>("casa", 0, {10, 50, 104, 34});
  EXPECT_STREQ(upper->GetText(), "cAsA");  // the caption passes the filter too
  Keys(upper, "{End}a");
  EXPECT_STREQ(upper->GetText(), "cAsAA");
  ASSERT_TRUE(upper->SetText("papa"));
  EXPECT_STREQ(upper->GetText(), "pApA");
}

TEST_F(EditTest, ScrollBarsFollowThePolicy) {
  struct Case {
    const char* name;
    u32 style, policy;
    const char* text;
    bool horizontal, vertical;
  } cases[] = {
      {"fits", kMulti, 0, "a\r\nb", false, false},
      {"more lines than fit", kWrap, 0, "1\r\n2\r\n3\r\n4\r\n5", false, true},
      {"vertical never", kWrap, 0x10, "1\r\n2\r\n3\r\n4\r\n5", false, false},
      {"vertical always", kMulti, 0x20, "a", false, true},
      {"a long unwrapped line", kMulti, 0, "abcdefghijklmnopqrstuvwxyz", true, false},
      {"horizontal never", kMulti, 0x01, "abcdefghijklmnopqrstuvwxyz", false, false},
      {"a single line shows none", 0, 0, "abcdefghijklmnopqrstuvwxyz", false, false},
  };
  for (const Case& c : cases) {
    CSL_GS_GuiEdit* e = MakeEdit("", c.style, {10, 10, 104, 44});
    ASSERT_TRUE(e->SetScrollBarPolicy(c.policy));
    ASSERT_TRUE(e->SetText(c.text));
    EXPECT_EQ((e->GetStyle() & SL_GUI_WS_HSCROLL) != 0, c.horizontal) << c.name;
    EXPECT_EQ((e->GetStyle() & SL_GUI_WS_VSCROLL) != 0, c.vertical) << c.name;
    m.DestroyWindow(e);
  }
  // The vertical bar narrows the text: the second pass wraps at the narrower width.
  CSL_GS_GuiEdit* e = MakeEdit("", kWrap, {10, 10, 104, 24});
  ASSERT_TRUE(e->SetText("aaaa bbbb cccc\r\nx\r\ny"));  // the first line is 98 pixels: 100 fit, 84 do not
  EXPECT_EQ(Starts(e), (std::vector<u32>{0, 10, 16, 19}));
  EXPECT_NE(e->GetStyle() & SL_GUI_WS_VSCROLL, 0u);
  EXPECT_EQ(e->GetVScrollRange(), 2u);
}

TEST_F(EditTest, PasswordModeDrawsOnlyThePasswordCharacter) {
  CSL_GS_GuiEdit* e = MakeEdit("clave ok", SL_GUI_ES_PASSWORD);
  gfx.m_log.clear();
  ASSERT_TRUE(m.Draw());
  EXPECT_EQ(gfx.m_log.find("clave"), std::string::npos);
  EXPECT_NE(gfx.m_log.find("text '********'"), std::string::npos) << gfx.m_log;
  Keys(e, "{End}");
  EXPECT_EQ(e->GetCaretX(), 8u * 7);
}

TEST_F(EditTest, CharFromPoint) {
  CSL_GS_GuiEdit* e = MakeEdit("abc\r\nd", kMulti, {10, 10, 104, 64});
  struct Case {
    i32 x, y;
    u32 line, position, flags;
  } cases[] = {
      {1, 1, 0, 0, 0},                                   // left half of "a"
      {4, 1, 0, 1, 0},                                   // right half: past it
      {-3, 12, 1, 5, SL_GUI_EDIT_LEFT},                  // left of the second line
      {60, 1, 0, 3, SL_GUI_EDIT_RIGHT},                  // right of "abc": before the break
      {2, 55, 1, 5, SL_GUI_EDIT_BELOW},                  // below the text: the last line
  };
  for (const Case& c : cases) {
    u32 line = 99, position = 99, flags = 99;
    ASSERT_TRUE(e->CharFromPoint(c.x, c.y, &line, &position, &flags));
    EXPECT_EQ(line, c.line) << c.x << "," << c.y;
    EXPECT_EQ(position, c.position) << c.x << "," << c.y;
    EXPECT_EQ(flags, c.flags) << c.x << "," << c.y;
  }
  // A single line placed at the bottom: a point above it is flagged.
  CSL_GS_GuiEdit* single = MakeEdit("ab", 0, {10, 80, 104, 44});
  ASSERT_TRUE(single->SetTextFormat(4));
  u32 line = 0, position = 0, flags = 0;
  ASSERT_TRUE(single->CharFromPoint(1, 0, &line, &position, &flags));
  EXPECT_EQ(flags, u32(SL_GUI_EDIT_ABOVE));
}

TEST_F(EditTest, MouseSelectionScrollsOneLinePerTick) {
  CSL_GS_GuiEdit* e = MakeEdit("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8", kWrap);
  // Client area at (12, 12), 3 lines visible; press on line 0, drag below the edit.
  Play("tick 1: mouse 14,14\ntick 2: button 1 down\ntick 3: mouse 14,80\n", 3);
  EXPECT_NE(e->GetFlags() & SL_GUI_EF_SELECTING, 0u);
  const u32 before = e->GetVScrollPos();
  // Ticks of 50 ms: the 150 ms timer scrolls one line every third tick.
  Play("tick 1: mouse 14,80; button 1 down\n", 6, 50);
  EXPECT_EQ(e->GetVScrollPos(), before + 2);
  EXPECT_EQ(e->GetAnchor(), 0u);
  EXPECT_EQ(e->GetCaretLine(), e->GetVScrollPos() + 2);  // the selection follows to the last visible line
  Play("tick 1: mouse 14,80; button 1 down\ntick 2: button 1 up\n", 2);
  EXPECT_EQ(e->GetFlags() & SL_GUI_EF_SELECTING, 0u);
  const u32 after = e->GetVScrollPos();
  Play("tick 1: mouse 14,80\n", 6, 50);
  EXPECT_EQ(e->GetVScrollPos(), after);  // no timer once the button is up
}

TEST_F(EditTest, CaretBlinksOnlyWithTheFocus) {
  CSL_GS_GuiEdit* e = MakeEdit("ab", 0);
  const auto drawnAt = [&](u64 ms) {
    Clock(ms);
    gfx.m_log.clear();
    EXPECT_TRUE(m.Draw());
    return gfx.m_log;
  };
  const std::string unfocused = drawnAt(100);
  m.SetFocus(e);
  ASSERT_NE(e->GetFlags() & SL_GUI_EF_FOCUSED, 0u);
  const std::string on = drawnAt(100), off = drawnAt(300), onAgain = drawnAt(740);
  EXPECT_NE(on, off);
  EXPECT_EQ(on, onAgain);
  EXPECT_GT(on.size(), off.size());
  EXPECT_EQ(unfocused, off);
}

TEST_F(EditTest, FrameCornerHitsNothing) {
  CSL_GS_GuiEdit* e = MakeEdit("", 0);
  EXPECT_EQ(e->HitTest(10, 10), u32(SL_GUI_HIT_NOWHERE));  // the transparent corner
  EXPECT_EQ(e->HitTest(13, 10), u32(SL_GUI_HIT_FRAME));
  EXPECT_EQ(e->HitTest(20, 20), u32(SL_GUI_HIT_CLIENT));
  CSL_GS_GuiEdit* bare = MakeEdit("", SL_GUI_ES_BORDERLESS, {10, 60, 50, 20});
  EXPECT_EQ(bare->HitTest(10, 60), u32(SL_GUI_HIT_CLIENT));
}

TEST_F(EditTest, FailedLineTableLeavesNoLinesAndKeysFallThrough) {
  auto* e = MakeEdit<CNoMemoryEdit>("abc", kMulti);
  e->Starve();
  std::string many;
  for (int i = 0; i < 200; ++i) many += "x\r\n";
  ASSERT_TRUE(e->SetText(many.c_str()));
  EXPECT_EQ(e->GetLineCount(), 0u);
  EXPECT_EQ(SLGetLastError(), SL_OK);
  Keys(e, "{C+End}");
  EXPECT_EQ(e->GetCaret(), 0u);
  EXPECT_EQ(std::string(e->GetText()), many);  // the text itself is kept
}

}  // namespace
