#!/usr/bin/env python3
"""Writes the sample movie "Paseo en el parque" as a project file, for the sample content
and the project tests. Usage: make_sample_project.py OUT.ZQTR

The layout, every integer a little-endian u32 unless told:
    magic "Película de Zarandulvortequimbaplastelo" in Windows-1252 and 0x1A (40 bytes),
    version 1, scene count, current scene;
    per scene: background identity (20 bytes), current frame, length in frames, then
      characters: identity, first frame, x, y, end frame (0xFFFFFFFF: to the end), actions:
        start, end, key points {x, y, length to next}, path length, path frames,
        direction, keep direction, action index
      objects: identity, x, y, carrier (0 or 1 + its index in the scene), support point
        (only with a carrier), state changes: start, end, key points, path length, path
        frames, state index
      texts: width, style, UTF-16LE text with its 0 unit, variant, start, end, x, y,
        attach kind (1 character, 2 object, else floating), index (kinds 1 and 2)
      sounds: start, end, speed (double), UTF-16LE name with its 0 unit, kind (0 effect,
        1 character, 2 object, 3 background music), index (kinds 1 and 2)
    and the CRC-32 of every byte before it (zlib's), little-endian.
An item's identity is the SHA-1 of the bytes below 0x80 of its name, class and (objects,
characters) initial state in Windows-1252.

The movie: Sofía walks across the park to the lamp on the table and switches it on,
saying so in a balloon, over the background music and the sample recording; then Tomás
waves beside the ball. Frames are sixtieths of a second; a walk takes its path length in
pixels x 60 / 100 frames, an action its duration x 60 / 1000."""
import hashlib
import math
import struct
import sys
import zlib

MAGIC = 'Película de Zarandulvortequimbaplastelo'.encode('cp1252') + b'\x1a'
END = 0xFFFFFFFF

# Action and state indexes in the sample items.
WALK, WAVE, SWITCH = 1, 3, 5
LAMP_ON = 1


def identity(*fields):
    text = ''.join(fields).encode('cp1252')
    return hashlib.sha1(bytes(b for b in text if b < 0x80)).digest()


def u32(*values):
    return b''.join(struct.pack('<I', v & 0xFFFFFFFF) for v in values)


def wide(text):
    return text.encode('utf-16-le') + b'\0\0'


def path(points):
    """Key points with their lengths to the next one, and the whole length."""
    out, total = b'', 0
    for i, (x, y) in enumerate(points):
        length = 0
        if i + 1 < len(points):
            dx, dy = points[i + 1][0] - x, points[i + 1][1] - y
            length = int(math.sqrt(dx * dx + dy * dy))
        total += length
        out += u32(x, y, length)
    return u32(len(points)) + out, total


def action(start, points, direction, keep, index, frames=None):
    keys, length = path(points)
    if frames is None:
        frames = max(1, length * 60 // 100)
    return u32(start, start + frames) + keys + u32(length, frames, direction, keep, index), start + frames


def character(ident, x, y, actions):
    return ident + u32(0, x, y, END, len(actions)) + b''.join(actions)


def obj(ident, x, y, carrier=None, changes=()):
    out = ident + u32(x, y)
    out += u32(0) if carrier is None else u32(1 + carrier[0], carrier[1])
    return out + u32(len(changes)) + b''.join(changes)


def state_change(start, frames, x, y, state):
    keys, length = path([(x, y)])
    return u32(start, start + frames) + keys + u32(length, frames, state)


def text(body, x, y, start, end, width, style, attach=None):
    out = u32(width, style) + wide(body) + u32(0, start, end, x, y)
    return out + (u32(0) if attach is None else u32(*attach))


def sound(name, start, end, kind, index=None):
    out = u32(start, end) + struct.pack('<d', 1.0) + wide(name) + u32(kind)
    return out + (u32(index) if index is not None else b'')


def scene(background, length, characters, objects, texts, sounds):
    out = background + u32(0, length)
    for items in (characters, objects, texts, sounds):
        out += u32(len(items)) + b''.join(items)
    return out


def main():
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__.split('\n')[1] + '\n')
        sys.exit(2)
    park = identity('Parque', 'Exterior')
    sofia = identity('Sofía', 'Niña', 'Parada')
    tomas = identity('Tomás', 'Niño', 'Parada')
    table = identity('Mesa', 'Mueble', 'Normal')
    lamp = identity('Lámpara', 'Pequeño', 'Apagada')
    ball = identity('Pelota', 'Juguete', 'Quieta')

    # Scene 1: the table stands left of the pond, the lamp on its top (support point 0).
    walk, arrived = action(0, [(560, 330), (250, 335)], 6, 0, WALK)
    switch, switched = action(arrived, [(250, 335), (250, 335)], 6, 0, SWITCH, frames=800 * 60 // 1000)
    lamp_on = state_change(switched, 1200 * 60 // 1000, 159, 257, LAMP_ON)
    first = scene(park, 600,
                  [character(sofia, 560, 330, [walk, switch])],
                  [obj(table, 180, 340), obj(lamp, 159, 257, carrier=(0, 0), changes=[lamp_on])],
                  [text('¡Voy a encender la lámpara!', 560, 200, 0, 150, 170, 1, attach=(1, 0)),
                   text('Un paseo en el parque', 332, 40, 0, 180, 220, 2)],
                  [sound('Musica Fondo\\Alegre.MP3', 0, 600, 3),
                   sound('Grabadas\\Mi voz.WAV', 20, 20 + 274, 1, 0)])
    # Scene 2: Tomás waves twice beside the ball.
    wave, _ = action(0, [(300, 320), (300, 320)], 0, 0, WAVE, frames=2 * 1100 * 60 // 1000)
    second = scene(park, 240,
                   [character(tomas, 300, 320, [wave])],
                   [obj(ball, 400, 330)],
                   [text('¡Hola, Sofía!', 300, 150, 0, 132, 140, 1, attach=(1, 0))],
                   [])
    body = MAGIC + u32(1, 2, 0) + first + second
    with open(sys.argv[1], 'wb') as f:
        f.write(body + struct.pack('<I', zlib.crc32(body)))


if __name__ == '__main__':
    main()
