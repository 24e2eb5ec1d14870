#!/usr/bin/env python3
"""The export soundtrack computed on its own, to check the program's mixer against.

    export_mix_reference.py SCENE.json OUT.wav    writes the expected 16-bit soundtrack
    export_mix_reference.py --crossings IN.wav    prints the left channel's zero crossings
                                                  per tenth of a second, one count a line

SCENE.json: {"frames": total movie frames,
             "elements": [{"wav": path, "loop": 0|1,
                           "segments": [[first, last, segmentStart], ...]}],
             "items": [{"wav": path, "start": frame, "end": frame}]}
An element sounds at frame f when f lies in [first, last] of one of its segments (the
frames where its current action or state carries this sound); it reads from
(f - segmentStart) x rate / 60.

The chain for one movie frame, n output frames at 22,050 Hz stereo:
- element: two movie frames of sound from the segment's position (wrapped when looping,
  cut at the end otherwise), at most rate x n / 22050 + 220 frames, copied into a block of
  that many frames that is zero past what was copied, and the whole block mixed;
- item: the frames a reader gives from (f - start) x rate / 60 to (f - start + 2) x rate
  / 60, nothing past the file's end (music is not looped);
- mixing: PCM to doubles (8-bit unsigned over 127, 16-bit over 32767, the lowest value
  raised by one), channels mapped to two (channel c mod channels at min(200 / channels,
  100) percent, clamped), linear resampling to 22,050 Hz with the position accumulated
  by 1 / ratio (interpolation upward, the mean of the spanned frames downward), the first
  22,050 frames added; the sum clamped to [-1, 1], times 32767, truncated.
The export calls the mix once per movie frame into a one-second buffer at k x 22050 / 60
for (k + 1) x 22050 / 60 - k x 22050 / 60 + 220 frames, each call overwriting the
overlap of the one before, and writes the first (last k + 1) x 22050 / 60 frames.
"""
import json
import math
import struct
import sys
import wave

RATE = 22050


def read_wav(path):
    with wave.open(path, "rb") as w:
        channels, width, rate, count = w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes()
        data = w.readframes(count)
    if width == 1:
        values = [(b - 128 if b != 0 else -127) / 127.0 for b in data]
    elif width == 2:
        values = [(v if v != -32768 else -32767) / 32767.0 for v in struct.unpack("<%dh" % (len(data) // 2), data)]
    else:
        raise SystemExit("unsupported sample width %d in %s" % (width, path))
    frames = [values[i * channels:(i + 1) * channels] for i in range(count)]
    return {"rate": rate, "channels": channels, "frames": frames}


def clamp(v):
    return -1.0 if v < -1.0 else 1.0 if v > 1.0 else v


def to_stereo(frames, channels):
    if channels == 2:
        return [list(f) for f in frames]
    gain = min(200.0 / channels, 100.0) / 100.0
    return [[clamp(f[c % channels] * gain) for c in range(2)] for f in frames]


def resample_linear(frames, rate):
    if rate == RATE:
        return frames
    ratio = RATE / rate
    count = int(math.trunc(len(frames) * ratio))
    if count == len(frames):
        return frames
    step = 1.0 / ratio
    out, t, last = [], 0.0, len(frames) - 1
    for _ in range(count):
        i0 = min(int(t), last)
        nxt = t + step
        i1 = last if nxt >= float(last) else int(nxt)
        if ratio >= 1.0:
            f = t - float(int(t))
            out.append([clamp((1.0 - f) * frames[i0][c] + f * frames[i1][c]) for c in range(2)])
        else:
            hi = max(i1, i0)
            weight = 1.0 / float(hi - i0 + 1)
            out.append([clamp(sum(frames[i][c] for i in range(i0, hi + 1)) * weight) for c in range(2)])
        t += step
    return out


def mix_into(mix, frames, sound):
    stereo = resample_linear(to_stereo(frames, sound["channels"]), sound["rate"])
    for i in range(min(len(stereo), RATE, len(mix))):
        mix[i][0] += stereo[i][0]
        mix[i][1] += stereo[i][1]


def element_block(element, sound, frame, n):
    for first, last, segment_start in element["segments"]:
        if first <= frame <= last:
            break
    else:
        return None
    length, rate = len(sound["frames"]), sound["rate"]
    if length == 0:
        return None
    t = frame - segment_start
    start = t * rate // 60
    count = (t + 2) * rate // 60 - start
    if element["loop"]:
        start %= length
    elif start >= length:
        count = 0
    elif start + count > length:
        count = length - start
    window = rate * n // RATE + 220
    count = min(count, window, length)  # a lock hands out at most the whole sound
    if count == 0:
        return None
    silence = [0.0] * sound["channels"]
    return [sound["frames"][(start + i) % length] for i in range(count)] + [silence] * (window - count)


def mix_frame(scene, sounds, frame, n):
    mix = [[0.0, 0.0] for _ in range(n)]  # only the first n frames are written
    for element in scene["elements"]:
        sound = sounds[element["wav"]]
        block = element_block(element, sound, frame, n)
        if block:
            mix_into(mix, block, sound)
    for item in scene["items"]:
        if item["start"] <= frame < item["end"]:
            sound = sounds[item["wav"]]
            rate, t = sound["rate"], frame - item["start"]
            got = sound["frames"][t * rate // 60:(t + 2) * rate // 60]
            if got:
                mix_into(mix, got, sound)
    out = []
    for i in range(n):
        for c in range(2):
            out.append(int(clamp(mix[i][c]) * 32767.0))
    return out


def soundtrack(scene):
    sounds = {}
    for source in scene["elements"] + scene["items"]:
        if source["wav"] not in sounds:
            sounds[source["wav"]] = read_wav(source["wav"])
    total, samples = scene["frames"], []
    for second in range(0, total, 60):
        buffer = [0] * ((RATE + 220) * 2)
        end = 0
        for k in range(60):
            if second + k >= total:
                break
            start, end = k * RATE // 60, (k + 1) * RATE // 60
            n = end - start + 220
            buffer[start * 2:(start + n) * 2] = mix_frame(scene, sounds, second + k, n)
        samples.extend(buffer[:end * 2])
    return samples


def write_wav(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(struct.pack("<%dh" % len(samples), *samples))


def crossings(path):
    sound = read_wav(path)
    tenth = sound["rate"] // 10
    left = [f[0] for f in sound["frames"]]
    counts = []
    for at in range(0, len(left) - tenth + 1, tenth):
        part = left[at:at + tenth]
        counts.append(sum(1 for a, b in zip(part, part[1:]) if (a < 0.0) != (b < 0.0) and (a != 0.0 or b != 0.0)))
    return counts


def main(argv):
    if len(argv) == 3 and argv[1] == "--crossings":
        for count in crossings(argv[2]):
            print(count)
        return 0
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[1]) as f:
        scene = json.load(f)
    write_wav(argv[2], soundtrack(scene))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
