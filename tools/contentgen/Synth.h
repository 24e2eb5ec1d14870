// A small additive synthesiser for the generated music and sound effects: notes of a few
// timbres, noise bursts and claps placed on a track, mixed in floating point and handed
// out as 16-bit samples. A wrapping track folds what rings past its end back to its start,
// so the sound loops without a seam.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace contentgen {

enum class Timbre { Sine, Bell, Pluck, Pad, Bass, Kick, Snare, Hat, Whistle, Buzz, Marimba };

// The frequency of MIDI note `note` (69 = A 440 Hz).
double NoteFrequency(double note);

class Track {
 public:
  Track(uint32_t rate, double seconds, uint32_t channels, bool wrap = false);

  // A note; pan -1 left .. 1 right (stereo tracks). `slide` bends the pitch by that many
  // semitones over the note.
  void Tone(double start, double duration, double frequency, double amplitude, Timbre timbre, double pan = 0,
            double slide = 0);
  // Noise through a one-pole low-pass (`brightness` 0..1), with attack and release times.
  void Noise(double start, double duration, double amplitude, double brightness, double attack, double release,
             uint32_t seed, double pan = 0);
  // One hand clap.
  void Clap(double start, double amplitude, uint32_t seed, double pan);
  // Claps at random times between start and end, `density` per second, swelling and fading.
  void Applause(double start, double end, double density, double amplitude, uint32_t seed);
  // Adds mono 16-bit samples at the track's rate from `start` with `gain`.
  void Mix(const std::vector<int16_t>& mono, double start, double gain);

  // Interleaved samples scaled so the loudest reaches `peak` of full scale.
  std::vector<int16_t> Samples(double peak = 0.89) const;
  uint32_t Rate() const { return m_rate; }
  uint32_t Channels() const { return m_channels; }
  double Seconds() const { return double(m_frames) / m_rate; }

 private:
  void Add(size_t frame, double value, double pan);
  double Scale(double peak) const;

  uint32_t m_rate, m_channels;
  size_t m_frames;
  bool m_wrap;
  std::vector<float> m_left, m_right;
};

// Music: a song of bars over a chord progression with melody, bass, chords and drums.
struct SongPlan {
  double tempo = 120;      // beats per minute, four beats a bar
  int bars = 16;
  int key = 60;            // MIDI note of the tonic
  bool minor = false;
  uint32_t seed = 1;
  Timbre lead = Timbre::Pluck;
  bool drums = true;
  double swing = 0;        // 0..0.3 of an eighth
};
void WriteSong(Track& track, const SongPlan& plan, double start = 0);

uint32_t NextRandom(uint32_t* state);

}  // namespace contentgen
