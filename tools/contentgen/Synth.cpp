#include "tools/contentgen/Synth.h"

#include <algorithm>
#include <cmath>

#include "tools/contentgen/Content.h"

namespace contentgen {

namespace {
constexpr double kTwoPi = 6.283185307179586;
}

uint32_t NextRandom(uint32_t* state) {
  *state ^= *state << 13;
  *state ^= *state >> 17;
  *state ^= *state << 5;
  return *state;
}

double NoteFrequency(double note) { return 440.0 * std::pow(2.0, (note - 69) / 12); }

Track::Track(uint32_t rate, double seconds, uint32_t channels, bool wrap)
    : m_rate(rate), m_channels(channels), m_frames(size_t(std::llround(seconds * rate))), m_wrap(wrap),
      m_left(m_frames), m_right(channels == 2 ? m_frames : 0) {}

void Track::Add(size_t frame, double value, double pan) {
  if (frame >= m_frames) {
    if (!m_wrap) return;
    frame %= m_frames;
  }
  if (m_channels == 2) {
    m_left[frame] += float(value * std::min(1.0, 1 - pan));
    m_right[frame] += float(value * std::min(1.0, 1 + pan));
  } else {
    m_left[frame] += float(value);
  }
}

void Track::Tone(double start, double duration, double frequency, double amplitude, Timbre timbre, double pan,
                 double slide) {
  const size_t first = size_t(std::max(0.0, start) * m_rate);
  // Struck timbres ring on after the note's length.
  const double ring = timbre == Timbre::Bell ? 1.2 : timbre == Timbre::Pluck || timbre == Timbre::Marimba ? 0.4 : 0.05;
  const size_t count = size_t((duration + ring) * m_rate);
  double phase = 0;
  for (size_t i = 0; i < count; ++i) {
    const double t = double(i) / m_rate;
    const double f = slide == 0 ? frequency : frequency * std::pow(2.0, slide * std::min(1.0, t / duration) / 12);
    phase += kTwoPi * f / m_rate;
    double env = 1, v = 0;
    const double release = t > duration ? std::exp(-(t - duration) * 12) : 1;
    switch (timbre) {
      case Timbre::Sine: env = std::min(1.0, t * 200) * release; v = std::sin(phase); break;
      case Timbre::Bell:
        env = std::min(1.0, t * 500) * std::exp(-t * 3);
        v = std::sin(phase) + 0.5 * std::sin(phase * 2.76) * std::exp(-t * 4) + 0.25 * std::sin(phase * 5.4) * std::exp(-t * 8);
        break;
      case Timbre::Pluck:
        env = std::min(1.0, t * 400) * std::exp(-t * 5) * release;
        v = std::sin(phase) + 0.4 * std::sin(2 * phase) * std::exp(-t * 6) + 0.2 * std::sin(3 * phase) * std::exp(-t * 9);
        break;
      case Timbre::Marimba:
        env = std::min(1.0, t * 800) * std::exp(-t * 9);
        v = std::sin(phase) + 0.3 * std::sin(4 * phase) * std::exp(-t * 20);
        break;
      case Timbre::Pad:
        env = std::min(1.0, t * 4) * release;
        v = std::sin(phase) + 0.3 * std::sin(2 * phase + 0.3) + 0.15 * std::sin(3 * phase + 0.7) +
            0.2 * std::sin(phase * 1.003);
        break;
      case Timbre::Bass:
        env = std::min(1.0, t * 300) * std::exp(-t * 2.5) * release;
        v = std::sin(phase) + 0.35 * std::sin(2 * phase);
        break;
      case Timbre::Kick:
        env = std::exp(-t * 18);
        v = std::sin(kTwoPi * (50 * t + 90 * (1 - std::exp(-t * 30)) / 30));
        break;
      case Timbre::Whistle:
        env = std::min(1.0, t * 60) * release;
        v = std::sin(phase + 0.3 * std::sin(kTwoPi * 28 * t));
        break;
      case Timbre::Buzz: {
        env = std::min(1.0, t * 50) * release;
        const double p = std::fmod(phase / kTwoPi, 1.0);
        v = (2 * p - 1) * 0.6 + 0.4 * std::sin(phase);
        break;
      }
      case Timbre::Snare: case Timbre::Hat: env = 0; break;
    }
    Add(first + i, v * env * amplitude, pan);
  }
  if (timbre == Timbre::Snare) Noise(start, 0.02, amplitude * 0.8, 0.7, 0.001, 0.12, uint32_t(first) | 1u, pan);
  if (timbre == Timbre::Hat) Noise(start, 0.01, amplitude * 0.4, 1.0, 0.001, 0.04, uint32_t(first) | 3u, pan);
}

void Track::Noise(double start, double duration, double amplitude, double brightness, double attack, double release,
                  uint32_t seed, double pan) {
  uint32_t state = seed ? seed : 1;
  const size_t first = size_t(std::max(0.0, start) * m_rate);
  const size_t count = size_t((duration + release * 5) * m_rate);
  double low = 0, previous = 0;
  for (size_t i = 0; i < count; ++i) {
    const double t = double(i) / m_rate;
    const double white = (NextRandom(&state) % 20001) / 10000.0 - 1.0;
    low += (white - low) * std::max(0.02, std::min(1.0, brightness));
    // Bright noise keeps its edges: mix in the difference of successive values.
    const double v = brightness >= 1 ? white - previous : low;
    previous = white;
    double env = std::min(1.0, t / std::max(attack, 1e-4));
    if (t > duration) env *= std::exp(-(t - duration) / std::max(release, 1e-4));
    Add(first + i, v * env * amplitude, pan);
  }
}

void Track::Clap(double start, double amplitude, uint32_t seed, double pan) {
  // A clap is three quick bursts and a short tail.
  for (int k = 0; k < 3; ++k) Noise(start + k * 0.006, 0.002, amplitude * (k == 2 ? 1.0 : 0.6), 0.55, 0.0005, 0.004, seed + uint32_t(k), pan);
  Noise(start + 0.018, 0.004, amplitude * 0.5, 0.45, 0.001, 0.03, seed + 7, pan);
}

void Track::Applause(double start, double end, double density, double amplitude, uint32_t seed) {
  uint32_t state = seed;
  const double length = end - start;
  const int claps = int(length * density);
  for (int i = 0; i < claps; ++i) {
    const double t = start + (NextRandom(&state) % 100000) / 100000.0 * length;
    const double x = (t - start) / length;
    const double swell = std::min(1.0, x * 6) * std::min(1.0, (1 - x) * 3);
    const double pan = (NextRandom(&state) % 200) / 100.0 - 1.0;
    Clap(t, amplitude * swell * (0.5 + (NextRandom(&state) % 50) / 100.0), NextRandom(&state), pan * 0.8);
  }
}

void Track::Mix(const std::vector<int16_t>& mono, double start, double gain) {
  const size_t first = size_t(std::max(0.0, start) * m_rate);
  for (size_t i = 0; i < mono.size(); ++i) Add(first + i, mono[i] / 32768.0 * gain, 0);
}

double Track::Scale(double peak) const {
  double loudest = 1e-9;
  for (float v : m_left) loudest = std::max(loudest, double(std::fabs(v)));
  for (float v : m_right) loudest = std::max(loudest, double(std::fabs(v)));
  return peak * 32767 / loudest;
}

std::vector<int16_t> Track::Samples(double peak) const {
  const double scale = Scale(peak);
  std::vector<int16_t> out;
  out.reserve(m_frames * m_channels);
  for (size_t i = 0; i < m_frames; ++i) {
    out.push_back(int16_t(std::lround(m_left[i] * scale)));
    if (m_channels == 2) out.push_back(int16_t(std::lround(m_right[i] * scale)));
  }
  return out;
}

void WriteSong(Track& track, const SongPlan& plan, double start) {
  const double beat = 60.0 / plan.tempo, bar = 4 * beat;
  const int major[7] = {0, 2, 4, 5, 7, 9, 11}, minor[7] = {0, 2, 3, 5, 7, 8, 10};
  const int* scale = plan.minor ? minor : major;
  // Chord roots as scale degrees: I V vi IV, or i VI III VII.
  const int progression[2][4] = {{0, 4, 5, 3}, {0, 5, 2, 6}};
  const int* chords = progression[plan.minor ? 1 : 0];
  auto degree = [&](int d) { return plan.key + 12 * (d >= 0 ? d / 7 : (d - 6) / 7) + scale[((d % 7) + 7) % 7]; };
  // Two melodic phrases (A and B) of one bar each per chord, played A A B A.
  uint32_t state = plan.seed * 2654435761u + 1;
  int phrases[2][4][8];
  for (auto& phrase : phrases)
    for (int c = 0; c < 4; ++c) {
      int step = chords[c] + 2 * int(NextRandom(&state) % 3);
      for (int e = 0; e < 8; ++e) {
        const int r = int(NextRandom(&state) % 10);
        step += r < 3 ? -1 : r < 6 ? 1 : r < 7 ? 2 : r < 8 ? -2 : 0;
        step = std::clamp(step, chords[c] - 2, chords[c] + 9);
        phrase[c][e] = (r == 9 && e % 2) ? -100 : step;  // a rest now and then
      }
    }
  for (int b = 0; b < plan.bars; ++b) {
    const double t0 = start + b * bar;
    const int c = b % 4, section = (b / 4) % 4 == 2 ? 1 : 0;
    const int root = degree(chords[c]) - 12;
    // Bass on beats 1 and 3, chord pad across the bar.
    track.Tone(t0, beat * 1.8, NoteFrequency(root - 12), 0.32, Timbre::Bass, -0.2);
    track.Tone(t0 + 2 * beat, beat * 1.8, NoteFrequency(root - (b % 2 ? 5 : 12)), 0.28, Timbre::Bass, -0.2);
    for (int k = 0; k < 3; ++k)
      track.Tone(t0, bar * 0.98, NoteFrequency(degree(chords[c] + 2 * k)), 0.06, Timbre::Pad, k - 1.0);
    const bool lastBar = b == plan.bars - 1;
    for (int e = 0; e < 8 && !(lastBar && e > 0); ++e) {
      const int step = lastBar ? 7 : phrases[section][c][e];
      if (step < -50) continue;
      const double swing = e % 2 ? plan.swing * beat / 2 : 0;
      track.Tone(t0 + e * beat / 2 + swing, lastBar ? bar * 0.8 : beat * 0.45, NoteFrequency(degree(step) + 12), 0.22,
                 plan.lead, 0.25);
    }
    if (plan.drums) {
      for (int k = 0; k < 4; ++k) {
        if (k % 2 == 0) track.Tone(t0 + k * beat, 0.15, 60, 0.55, Timbre::Kick);
        else track.Tone(t0 + k * beat, 0.1, 0, 0.35, Timbre::Snare, 0.1);
        track.Tone(t0 + k * beat + beat / 2, 0.05, 0, 0.3, Timbre::Hat, 0.4);
      }
    }
  }
}

}  // namespace contentgen
