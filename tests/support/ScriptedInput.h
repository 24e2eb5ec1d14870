// A keyboard and a mouse whose state at each tick comes from a script, one line per tick:
//   "tick 3: key 9 down; mouse 100,40; button 1 down; char 65"
// Advance(n) applies the line of tick n (a tick without a line keeps the state) and sets
// the changed bits against the tick before, as a poll of a real device does.
#pragma once

#include <cstdio>
#include <map>
#include <sstream>
#include <string>

#include "gamesystem/directx/SLKeyboardInput.h"
#include "gamesystem/directx/SLMouseInput.h"

namespace SLTestInput {
// The commands of each tick of a script.
inline std::map<u32, std::string> ParseScript(const std::string& script) {
  std::map<u32, std::string> ticks;
  std::istringstream lines(script);
  std::string line;
  while (std::getline(lines, line)) {
    unsigned tick = 0;
    int used = 0;
    if (sscanf(line.c_str(), " tick %u:%n", &tick, &used) == 1) ticks[tick] += line.substr(size_t(used)) + ";";
  }
  return ticks;
}
// Calls apply(word, rest) for each ";"-separated command of a tick.
template <class Apply>
void ForEachCommand(const std::string& commands, Apply apply) {
  std::istringstream parts(commands);
  std::string part;
  while (std::getline(parts, part, ';')) {
    std::istringstream words(part);
    std::string word, rest;
    if (!(words >> word)) continue;
    std::getline(words, rest);
    apply(word, rest);
  }
}
}  // namespace SLTestInput

class CScriptedKeyboard : public CSL_GS_BaseKeyboardInput {
 public:
  explicit CScriptedKeyboard(const std::string& script) : m_ticks(SLTestInput::ParseScript(script)) {}
  void Advance(u32 tick) {
    for (u8& s : m_state) s &= 1;
    m_char = 0;
    auto it = m_ticks.find(tick);
    if (it == m_ticks.end()) return;
    SLTestInput::ForEachCommand(it->second, [this](const std::string& word, const std::string& rest) {
      unsigned value = 0;
      char how[8] = {};
      if (word == "key" && sscanf(rest.c_str(), "%u %7s", &value, how) == 2 && value < SL_GS_KEY_COUNT) {
        const u8 down = std::string(how) == "down";
        if ((m_state[value] & 1) != down) m_state[value] = u8(down | 2);
      } else if (word == "char" && sscanf(rest.c_str(), "%u", &value) == 1) {
        m_char = SLWChar(value);
      }
    });
  }
  bool Init(HINSTANCE, HWND) override { return SLSucceed(true); }
  void Shutdown() override {}
  bool GetState(u8* buffer, u32 size) override {
    for (u32 i = 0; i < size && i < SL_GS_KEY_COUNT; ++i) buffer[i] = m_state[i];
    return SLSucceed(true);
  }
  u32 IsKeyDown(u32 code) override { return code < SL_GS_KEY_COUNT ? m_state[code] & 1 : 0; }
  u32 HasKeyChanged(u32 code) override { return code < SL_GS_KEY_COUNT ? (m_state[code] >> 1) & 1 : 0; }
  SLWChar GetNextChar() override { return m_char; }

 private:
  std::map<u32, std::string> m_ticks;
  u8 m_state[SL_GS_KEY_COUNT] = {};
  SLWChar m_char = 0;
};

class CScriptedMouse : public CSL_GS_BaseMouseInput {
 public:
  explicit CScriptedMouse(const std::string& script) : m_ticks(SLTestInput::ParseScript(script)) {
    SetArea(0, 0, 800, 600);
  }
  void Advance(u32 tick) {
    m_changed = 0;
    m_dx = m_dy = 0;
    auto it = m_ticks.find(tick);
    if (it == m_ticks.end()) return;
    SLTestInput::ForEachCommand(it->second, [this](const std::string& word, const std::string& rest) {
      int x = 0, y = 0;
      unsigned button = 0;
      char how[8] = {};
      if (word == "mouse" && sscanf(rest.c_str(), "%d,%d", &x, &y) == 2) {
        m_dx = ClampX(x) - m_x, m_dy = ClampY(y) - m_y;
        m_x = ClampX(x), m_y = ClampY(y);
      } else if (word == "button" && sscanf(rest.c_str(), "%u %7s", &button, how) == 2 && button >= 1 &&
                 button <= 4) {
        const u32 bit = 1u << (button - 1);
        const bool down = std::string(how) == "down";
        if (((m_buttons & bit) != 0) != down) m_changed |= bit;
        m_buttons = down ? m_buttons | bit : m_buttons & ~bit;
      }
    });
  }
  bool Init(HINSTANCE, HWND) override { return SLSucceed(true); }
  void Shutdown() override {}
  i32 GetX() override { return m_x; }
  i32 GetY() override { return m_y; }
  i32 GetDeltaX() override { return m_dx; }
  i32 GetDeltaY() override { return m_dy; }
  u32 GetButtonMask() override { return m_buttons; }
  u32 IsButtonDown(u32 b) override { return b >= 1 && b <= 4 ? (m_buttons >> (b - 1)) & 1 : 0; }
  u32 HasButtonChanged(u32 b) override { return b >= 1 && b <= 4 ? (m_changed >> (b - 1)) & 1 : 0; }
  bool SetPosition(i32 x, i32 y) override {
    m_x = ClampX(x), m_y = ClampY(y);
    return SLSucceed(true);
  }

 private:
  std::map<u32, std::string> m_ticks;
  i32 m_x = 0, m_y = 0, m_dx = 0, m_dy = 0;
  u32 m_buttons = 0, m_changed = 0;
};
