// One programme loudness for every sound the generator writes, so that no effect jumps
// out next to a voice and no song is louder than another. Loudness is measured as
// broadcasters do (ITU-R BS.1770: K-weighted mean square over 400 ms blocks every 100 ms,
// gated at -70 LUFS and again 10 LU below the mean of what passed); a sound shorter
// than one block is measured as one block of its own length, which is its K-weighted RMS.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace contentgen {

inline constexpr double kTargetLoudness = -18.0;  // LUFS
inline constexpr double kPeakCeiling = -3.0;      // dBFS: room for the peaks between samples (-1 dBTP)

// Interleaved 16-bit samples; -inf for silence.
double Loudness(const std::vector<int16_t>& samples, uint32_t rate, uint32_t channels);

// The samples brought to kTargetLoudness; peaks that would pass the ceiling are rounded
// off by a soft limiter rather than clipped, and the gain is raised again for what the
// limiter took, so loud-peaked effects still reach the target.
std::vector<int16_t> Normalised(const std::vector<int16_t>& samples, uint32_t rate, uint32_t channels);

// The normalised samples as a 16-bit PCM WAVE file.
std::string NormalisedWaveFile(const std::vector<int16_t>& samples, uint32_t rate, uint32_t channels);

}  // namespace contentgen
