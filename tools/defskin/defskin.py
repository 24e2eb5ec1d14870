#!/usr/bin/env python3
"""defskin: writes the toolkit's built-in default skin.

    defskin.py --out skin.zip [--cpp skin.cpp] [--fntwrite PATH] [--fonts DIR]

The skin is a deflate ZIP archive of four members: "defskin.gif" (the 256 x 256 picture
every piece is cut from, magenta where nothing is), "layout.inf" (what the toolkit reads
from the picture), and two bitmap fonts rendered from DejaVu Sans by fntwrite. Dates,
member order and attributes are fixed, so every run gives the same bytes. With --cpp the
archive is also written as the gui library's constexpr byte array.

Standard library only: the GIF is drawn and LZW-coded here.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

SIDE = 256
FONT_DIR = "/usr/share/fonts/truetype/dejavu"
SANS_PIXELS = 11
BOLD_PIXELS = 13

# --- The palette -------------------------------------------------------------------------
# Index 0 is magenta, the colour key: whatever no piece covers is transparent.

PALETTE = [(255, 0, 255)]
EXACT = {(255, 255, 255), (0, 0, 0)}
_index = {}


def colour(rgb):
    # Gradients are drawn in steps of 8 levels per channel, which keeps the picture
    # within one 256-colour table.
    rgb = tuple(max(0, min(255, int(round(c)))) for c in rgb)
    if rgb not in EXACT:
        rgb = tuple(min(255, (c + 4) // 8 * 8) for c in rgb)
    if rgb not in _index:
        if len(PALETTE) >= 256:
            raise SystemExit("defskin: more than 256 colours")
        _index[rgb] = len(PALETTE)
        PALETTE.append(rgb)
    return _index[rgb]


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


class Picture:
    def __init__(self):
        self.pixels = bytearray(SIDE * SIDE)
        self.used = []  # rectangles drawn, to prove that no two pieces overlap

    def claim(self, name, x, y, w, h):
        assert 0 <= x and 0 <= y and x + w <= SIDE and y + h <= SIDE, name
        for other, (ox, oy, ow, oh) in self.used:
            if x < ox + ow and ox < x + w and y < oy + oh and oy < y + h:
                raise SystemExit("defskin: %s overlaps %s" % (name, other))
        self.used.append((name, (x, y, w, h)))

    def put(self, x, y, rgb):
        self.pixels[y * SIDE + x] = colour(rgb)

    def fill(self, x, y, w, h, rgb):
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                self.put(xx, yy, rgb)

    def vgradient(self, x, y, w, h, top, bottom):
        for row in range(h):
            t = row / max(1, h - 1)
            self.fill(x, y + row, w, 1, mix(top, bottom, t))

    def frame(self, x, y, w, h, rgb):
        self.fill(x, y, w, 1, rgb)
        self.fill(x, y + h - 1, w, 1, rgb)
        self.fill(x, y, 1, h, rgb)
        self.fill(x + w - 1, y, 1, h, rgb)

    def clear(self, x, y):
        self.pixels[y * SIDE + x] = 0

    def round_corners(self, x, y, w, h, radius, top=True, bottom=True):
        # Corner pixels outside a quarter circle go back to the colour key.
        for dy in range(radius):
            for dx in range(radius):
                cx, cy = radius - dx - 0.5, radius - dy - 0.5
                if cx * cx + cy * cy > radius * radius:
                    if top:
                        self.clear(x + dx, y + dy)
                        self.clear(x + w - 1 - dx, y + dy)
                    if bottom:
                        self.clear(x + dx, y + h - 1 - dy)
                        self.clear(x + w - 1 - dx, y + h - 1 - dy)


# --- The pieces --------------------------------------------------------------------------

BLUE_TOP, BLUE_BOTTOM = (96, 150, 230), (30, 80, 170)
GREY_TOP, GREY_BOTTOM = (200, 200, 205), (140, 140, 150)
DARK = (20, 30, 60)
FACE = (236, 233, 216)
WHITE = (255, 255, 255)
SHADOW = (128, 128, 128)


def caption(p, name, x, y, top, bottom):
    p.claim(name, x, y, 200, 30)
    p.vgradient(x, y, 200, 30, top, bottom)
    p.frame(x, y, 200, 30, DARK)
    p.fill(x + 1, y + 1, 198, 1, mix(top, WHITE, 0.5))
    p.round_corners(x, y, 200, 30, 6, top=True, bottom=False)


def panel(p, name, x, y, w, h, face, light, dark, radius=0):
    p.claim(name, x, y, w, h)
    p.fill(x, y, w, h, face)
    p.fill(x, y, w, 1, light)
    p.fill(x, y, 1, h, light)
    p.fill(x, y + h - 1, w, 1, dark)
    p.fill(x + w - 1, y, 1, h, dark)
    if radius:
        p.round_corners(x, y, w, h, radius)


def button(p, name, x, y, w, h, top, bottom, edge):
    p.claim(name, x, y, w, h)
    p.vgradient(x, y, w, h, top, bottom)
    p.frame(x, y, w, h, edge)
    p.round_corners(x, y, w, h, 3)


def caption_glyph(p, name, x, y, kind, state):
    p.claim(name, x, y, 20, 20)
    base = {"Normal": (70, 120, 215), "Over": (110, 160, 245), "Click": (30, 70, 160)}[state]
    if kind == "Close":
        base = {"Normal": (200, 70, 50), "Over": (235, 110, 90), "Click": (150, 40, 30)}[state]
    p.vgradient(x, y, 20, 20, mix(base, WHITE, 0.35), base)
    p.frame(x, y, 20, 20, WHITE)
    p.round_corners(x, y, 20, 20, 3)
    if kind == "Close":
        for i in range(10):
            for d in (0, 1):
                p.put(x + 5 + i, y + 5 + i + d if i + d < 10 else y + 5 + i, WHITE)
                p.put(x + 14 - i, y + 5 + i + d if i + d < 10 else y + 5 + i, WHITE)
    elif kind == "Min":
        p.fill(x + 5, y + 13, 8, 2, WHITE)
    elif kind == "Max":
        p.frame(x + 5, y + 5, 10, 10, WHITE)
        p.fill(x + 5, y + 6, 10, 1, WHITE)
    else:  # restore: two overlapping windows
        p.frame(x + 8, y + 4, 8, 8, WHITE)
        p.fill(x + 4, y + 8, 8, 8, base)
        p.frame(x + 4, y + 8, 8, 8, WHITE)


def check_glyph(p, name, x, y, state, checked, radio):
    p.claim(name, x, y, 13, 13)
    edge = SHADOW if state == "Disabled" else (28, 81, 128)
    face = {"Normal": WHITE, "Over": (255, 240, 207), "Click": (200, 200, 190), "Disabled": (240, 240, 234)}[state]
    mark = SHADOW if state == "Disabled" else (33, 161, 33)
    if radio:
        for yy in range(13):
            for xx in range(13):
                d = (xx - 6) ** 2 + (yy - 6) ** 2
                if d <= 36:
                    p.put(x + xx, y + yy, edge if d > 25 else face)
                if checked and d <= 6:
                    p.put(x + xx, y + yy, mark)
    else:
        p.fill(x, y, 13, 13, face)
        p.frame(x, y, 13, 13, edge)
        if checked:
            for i, (xx, yy) in enumerate([(3, 6), (4, 7), (5, 8), (6, 7), (7, 6), (8, 5), (9, 4)]):
                p.fill(x + xx, y + yy - 1, 1, 3, mark)
        elif checked is None:  # the third state
            p.fill(x + 3, y + 3, 7, 7, mark)


def arrow_glyph(p, name, x, y, direction, state):
    p.claim(name, x, y, 9, 9)
    ink = SHADOW if state == "Disabled" else {"Normal": (77, 97, 133), "Over": (40, 60, 110), "Click": DARK}[state]
    for i in range(4):
        for j in range(-i, i + 1):
            if direction == "Up":
                p.put(x + 4 + j, y + 2 + i, ink)
            elif direction == "Down":
                p.put(x + 4 + j, y + 6 - i, ink)
            elif direction == "Left":
                p.put(x + 2 + i, y + 4 + j, ink)
            else:
                p.put(x + 6 - i, y + 4 + j, ink)


def small_glyph(p, name, x, y, kind, state):
    p.claim(name, x, y, 13, 13)
    ink = {"Normal": (0, 0, 0), "Selected": WHITE, "Disabled": SHADOW}[state]
    if kind == "CheckMark":
        for xx, yy in [(3, 6), (4, 7), (5, 8), (6, 7), (7, 6), (8, 5), (9, 4)]:
            p.fill(x + xx, y + yy - 1, 1, 3, ink)
    elif kind in ("CheckedRadioMark", "UncheckedRadioMark"):
        for yy in range(13):
            for xx in range(13):
                d = (xx - 6) ** 2 + (yy - 6) ** 2
                if 9 < d <= 16 or (kind == "CheckedRadioMark" and d <= 4):
                    p.put(x + xx, y + yy, ink)
    elif kind == "Submenu":
        for i in range(4):
            p.fill(x + 5 + i, y + 3 + i, 1, 7 - 2 * i, ink)
    else:
        up = kind == "MoreMenuUp"
        for i in range(4):
            p.fill(x + 3 + i, (y + 8 - i) if up else (y + 4 + i), 7 - 2 * i, 1, ink)


def draw():
    """Draws the picture and returns it with the layout rows that cut it."""
    p = Picture()
    rows = {}

    def row(section, key, value):
        rows.setdefault(section, []).append((key, value))

    def element(section, key, x, y, w, h, insets, words="StretchX, StretchY"):
        row(section, key, "IMAGE1; (%d,%d,%d,%d); (%d,%d,%d,%d); %s" % ((x, y, w, h) + insets + (words,)))

    def glyph(section, key, x, y, w, h):
        row(section, key, "IMAGE1; (%d,%d,%d,%d)" % (x, y, w, h))

    # Windows with a caption: the two caption bars, then the thin borders below them.
    caption(p, "active caption", 0, 0, BLUE_TOP, BLUE_BOTTOM)
    caption(p, "inactive caption", 0, 30, GREY_TOP, GREY_BOTTOM)
    p.claim("frame left", 0, 60, 3, 9)
    p.fill(0, 60, 1, 9, DARK)
    p.fill(1, 60, 2, 9, BLUE_BOTTOM)
    p.claim("frame right", 197, 60, 3, 9)
    p.fill(197, 60, 2, 9, BLUE_BOTTOM)
    p.fill(199, 60, 1, 9, DARK)
    p.claim("frame bottom", 0, 69, 200, 3)
    p.fill(0, 69, 200, 2, BLUE_BOTTOM)
    p.fill(0, 71, 200, 1, DARK)
    p.fill(0, 69, 1, 3, DARK)
    p.fill(199, 69, 1, 3, DARK)
    for state in ("Active", "Inactive"):
        section = "WindowWithCaption_" + state
        element(section, "Top", 0, 0 if state == "Active" else 30, 200, 30, (9, 0, 82, 0))
        element(section, "Bottom", 0, 69, 200, 3, (3, 0, 3, 0))
        element(section, "Left", 0, 60, 3, 9, (0, 0, 0, 0))
        element(section, "Right", 197, 60, 3, 9, (0, 0, 0, 0))
    row("WindowWithCaption_Active", "NormalCaptionColor", "(255,255,255); BorderColor: (0,0,0); BorderSize: (1)")
    row("WindowWithCaption_Active", "DisabledCaptionColor", "(128,128,128); BorderColor: (0,0,0); BorderSize: (1)")
    row("WindowWithCaption_Inactive", "NormalCaptionColor", "(192,192,192); BorderColor: (0,0,0); BorderSize: (1)")
    row("WindowWithCaption_Inactive", "DisabledCaptionColor", "(128,128,128); BorderColor: (0,0,0); BorderSize: (1)")

    common = "WindowWithCaption_Common"
    row(common, "Font", "FNT_SANS10B")
    panel(p, "caption client", 3, 60, 8, 8, FACE, FACE, FACE)
    element(common, "ClientBackground", 3, 60, 8, 8, (0, 0, 0, 0))
    for i, kind in enumerate(("Close", "Min", "Max", "Restore")):
        for j, state in enumerate(("Normal", "Over", "Click")):
            n = i * 3 + j
            x, y = (n % 6) * 20, 84 + (n // 6) * 20
            caption_glyph(p, kind + state, x, y, kind, state)
            glyph(common, "%sButton%s" % (kind, state), x, y, 20, 20)
    row(common, "CaptionInfo", "9; 6; WIDTH-85-9; 20")
    row(common, "CloseButtonInfo", "WIDTH-32; 5")
    row(common, "MaxRestoreButtonInfo", "WIDTH-52; 5")
    row(common, "MinButtonInfo", "WIDTH-72; 5")
    row(common, "BorderSizeOverride", "4; 4; 4; 4")

    # Windows without a caption: a three-pixel border.
    for state, x0, edge in (("Active", 48, BLUE_BOTTOM), ("Inactive", 64, GREY_BOTTOM)):
        section = "WindowWithoutCaption_" + state
        p.claim(section, x0, 150, 16, 16)
        p.fill(x0, 150, 16, 16, edge)
        p.frame(x0, 150, 16, 16, DARK)
        element(section, "Top", x0, 150, 16, 3, (3, 0, 3, 0))
        element(section, "Bottom", x0, 163, 16, 3, (3, 0, 3, 0))
        element(section, "Left", x0, 153, 3, 10, (0, 0, 0, 0))
        element(section, "Right", x0 + 13, 153, 3, 10, (0, 0, 0, 0))
    panel(p, "plain client", 80, 150, 8, 8, FACE, FACE, FACE)
    element("WindowWithoutCaption_Common", "ClientBackground", 80, 150, 8, 8, (0, 0, 0, 0))

    # Push buttons: four states side by side.
    row("PushButton", "Font", "FNT_SANS8")
    looks = {
        "Normal": ((255, 255, 255), (214, 208, 197), (0, 60, 116)),
        "Over": ((255, 255, 255), (236, 226, 190), (0, 60, 116)),
        "Click": ((200, 198, 188), (235, 232, 222), (0, 40, 90)),
        "Disabled": ((245, 244, 234), (245, 244, 234), (201, 199, 186)),
    }
    for i, state in enumerate(("Normal", "Over", "Click", "Disabled")):
        button(p, "button " + state, 38 * i, 217, 38, 22, *looks[state])
        element("PushButton", state, 38 * i, 217, 38, 22, (18, 14, 18, 7))
    for key, value in (("NormalColor", "(0,0,0)"), ("OverColor", "(32,32,32)"), ("ClickColor", "(0,0,0)"),
                       ("DisabledColor", "(153,153,153)")):
        row("PushButton", key, value)

    # Check boxes and radio buttons: 13 x 13 glyphs, unchecked then checked.
    states = ("Normal", "Over", "Click", "Disabled")
    for section, y, radio in (("CheckBox", 189, False), ("RadioButton", 202, True)):
        row(section, "Font", "FNT_SANS8")
        for k, checked in enumerate((False, True)):
            for j, state in enumerate(states):
                x = (k * 4 + j) * 13
                check_glyph(p, "%s %s %s" % (section, state, checked), x, y, state, checked, radio)
                glyph(section, state + ("Checked" if checked else "Unchecked"), x, y, 13, 13)
        for key, value in (("NormalColor", "(0,0,0)"), ("OverColor", "(32,32,32)"), ("ClickColor", "(0,0,0)"),
                           ("DisabledColor", "(153,153,153)")):
            row(section, key, value)
    for j, state in enumerate(states):
        x = (8 + j) * 13
        check_glyph(p, "CheckBox %s third" % state, x, 189, state, None, False)
        glyph("CheckBox", state + "TriState", x, 189, 13, 13)

    # Labels, edit boxes, the caret, menus and the menu bar.
    panel(p, "label", 152, 217, 16, 16, FACE, WHITE, SHADOW)
    row("Label", "Font", "FNT_SANS8")
    element("Label", "Normal", 152, 217, 16, 16, (3, 3, 3, 3))
    row("Label", "NormalColor", "(0,0,0)")
    row("Label", "DisabledColor", "(153,153,153)")
    panel(p, "edit", 168, 217, 16, 16, WHITE, (127, 157, 185), (127, 157, 185))
    p.claim("edit selection", 184, 217, 8, 8)
    p.fill(184, 217, 8, 8, (49, 106, 197))
    row("EditBox", "Font", "FNT_SANS8")
    element("EditBox", "Normal", 168, 217, 16, 16, (2, 2, 2, 2))
    element("EditBox", "SelectedArea", 184, 217, 8, 8, (0, 0, 0, 0))
    for key, value in (("NormalColor", "(0,0,0)"), ("OverColor", "(0,0,0)"), ("DisabledColor", "(153,153,153)"),
                       ("SelectedColor", "(255,255,255)")):
        row("EditBox", key, value)
    p.claim("caret", 192, 217, 2, 16)
    p.fill(192, 217, 2, 16, (0, 0, 0))
    element("Caret_Cursor", "Normal", 192, 217, 2, 16, (0, 0, 0, 0))

    panel(p, "menu", 196, 217, 16, 16, WHITE, (172, 168, 153), (172, 168, 153))
    p.claim("menu selection", 212, 217, 8, 8)
    p.fill(212, 217, 8, 8, (49, 106, 197))
    p.claim("menu separator", 220, 217, 8, 2)
    p.fill(220, 217, 8, 1, (172, 168, 153))
    p.fill(220, 218, 8, 1, WHITE)
    p.claim("menu column", 228, 217, 2, 8)
    p.fill(228, 217, 1, 8, (172, 168, 153))
    p.fill(229, 217, 1, 8, WHITE)
    row("Menu", "Font", "FNT_SANS8")
    element("Menu", "Normal", 196, 217, 16, 16, (2, 2, 2, 2))
    element("Menu", "SelectedArea", 212, 217, 8, 8, (0, 0, 0, 0))
    element("Menu", "HorizontalSeparator", 220, 217, 8, 2, (0, 0, 0, 0), "TileX, StretchY")
    element("Menu", "VerticalSeparator", 228, 217, 2, 8, (0, 0, 0, 0), "StretchX, TileY")
    n = 0
    for kind in ("CheckMark", "CheckedRadioMark", "UncheckedRadioMark", "Submenu", "MoreMenuUp", "MoreMenuDown"):
        for state in ("Normal", "Selected", "Disabled"):
            x, y = (n % 9) * 13, 124 + (n // 9) * 13
            small_glyph(p, kind + state, x, y, kind, state)
            glyph("Menu", "%s%sGlyph" % (state, kind), x, y, 13, 13)
            n += 1
    for key, value in (("NormalColor", "(0,0,0)"), ("SelectedColor", "(255,255,255)"),
                       ("DisabledColor", "(153,153,153)")):
        row("Menu", key, value)

    panel(p, "menu bar", 0, 150, 16, 16, FACE, WHITE, (172, 168, 153))
    panel(p, "menu bar disabled", 16, 150, 16, 16, (240, 240, 234), (240, 240, 234), (201, 199, 186))
    p.claim("menu bar selection", 32, 150, 8, 8)
    p.fill(32, 150, 8, 8, (49, 106, 197))
    row("MenuBar", "Font", "FNT_SANS8")
    element("MenuBar", "Normal", 0, 150, 16, 16, (2, 2, 2, 2))
    element("MenuBar", "Disabled", 16, 150, 16, 16, (2, 2, 2, 2))
    element("MenuBar", "SelectedArea", 32, 150, 8, 8, (0, 0, 0, 0))
    for key, value in (("NormalColor", "(0,0,0)"), ("SelectedColor", "(255,255,255)"),
                       ("DisabledColor", "(153,153,153)")):
        row("MenuBar", key, value)

    # Scroll bars: the buttons of both directions, the track and the arrows.
    blue = ((225, 234, 254), (187, 202, 248), (140, 160, 220))
    for section, x, y, insets in (("Scrollbar_Horizontal", 121, 84, (4, 3, 8, 3)),
                                  ("Scrollbar_Vertical", 121, 101, (8, 3, 4, 3))):
        button(p, section + " Normal", x, y, 17, 17, *blue)
        element(section, "NormalButton", x, y, 17, 17, insets)
    scroll_looks = (("Over", ((240, 245, 255), (200, 215, 255), (120, 140, 210))),
                    ("Click", ((170, 190, 240), (200, 212, 250), (90, 110, 180))),
                    ("Disabled", ((244, 244, 240), (244, 244, 240), (201, 199, 186))))
    for section, x0, insets in (("Scrollbar_Horizontal", 140, (4, 3, 8, 3)), ("Scrollbar_Vertical", 191, (8, 3, 4, 3))):
        for i, (state, look) in enumerate(scroll_looks):
            button(p, "%s %s" % (section, state), x0 + 17 * i, 166, 17, 17, *look)
            element(section, state + "Button", x0 + 17 * i, 166, 17, 17, insets)
    p.claim("track", 190, 84, 17, 17)
    p.fill(190, 84, 17, 17, (244, 243, 238))
    p.frame(190, 84, 17, 17, (226, 225, 218))
    for section in ("Scrollbar_Horizontal", "Scrollbar_Vertical"):
        element(section, "TrackArea", 190, 84, 17, 17, (1, 1, 1, 1))
    n = 0
    for section, directions in (("Scrollbar_Horizontal", ("Left", "Right")), ("Scrollbar_Vertical", ("Up", "Down"))):
        for direction in directions:
            for state in states:
                x, y = 60 + (n % 8) * 9, 166 + (n // 8) * 9
                arrow_glyph(p, "%s %s %s" % (section, direction, state), x, y, direction, state)
                glyph(section, "%s%sArrowGlyph" % (state, direction), x, y, 9, 9)
                n += 1
    for section, x in (("Scrollbar_Horizontal", 105), ("Scrollbar_Vertical", 114)):
        p.claim(section + " thumb glyph", x, 150, 9, 9)
        for k in range(3):
            if section == "Scrollbar_Horizontal":
                p.fill(x + 2 + 2 * k, 152, 1, 5, (140, 160, 220))
            else:
                p.fill(x + 2, 152 + 2 * k, 5, 1, (140, 160, 220))
        glyph(section, "NormalThumbGlyph", x, 150, 9, 9)

    # Sliders: the thumb in four states and the groove.
    slider_faces = {"Normal": (33, 161, 33), "Over": (80, 200, 80), "Click": (20, 110, 20), "Disabled": (170, 170, 170)}
    for i, state in enumerate(states):
        x = 201 + 10 * i if i == 0 else 211 + 10 * (i - 1)
        button(p, "hslider " + state, x, 62, 10, 17, WHITE, (214, 208, 197), slider_faces[state])
        glyph("Slider_Horizontal", state + "Glyph", x, 62, 10, 17)
        button(p, "vslider " + state, 238, 10 * i, 17, 10, WHITE, (214, 208, 197), slider_faces[state])
        glyph("Slider_Vertical", state + "Glyph", 238, 10 * i, 17, 10)
    p.claim("hslider groove", 201, 56, 8, 4)
    p.fill(201, 56, 8, 4, (157, 156, 153))
    p.fill(201, 57, 8, 2, WHITE)
    element("Slider_Horizontal", "Slider", 201, 56, 8, 4, (2, 0, 2, 0))
    p.claim("vslider groove", 210, 53, 4, 8)
    p.fill(210, 53, 4, 8, (157, 156, 153))
    p.fill(211, 53, 2, 8, WHITE)
    element("Slider_Vertical", "Slider", 210, 53, 4, 8, (0, 2, 0, 2))

    # Grids: the cells, the header buttons and the separators.
    row("Grid", "Font", "FNT_SANS8")
    row("Grid", "HeaderFont", "FNT_SANS10B")
    panel(p, "grid", 140, 124, 16, 16, WHITE, (127, 157, 185), (127, 157, 185))
    p.claim("grid selection", 156, 124, 8, 8)
    p.fill(156, 124, 8, 8, (49, 106, 197))
    element("Grid", "Normal", 140, 124, 16, 16, (2, 2, 2, 2))
    element("Grid", "SelectedArea", 156, 124, 8, 8, (0, 0, 0, 0))
    for i, state in enumerate(states):
        button(p, "grid button " + state, 164 + 16 * i, 124, 16, 16, *looks[state])
        element("Grid", state + "Button", 164 + 16 * i, 124, 16, 16, (2, 2, 2, 2))
    p.claim("grid horizontal separator", 208, 80, 36, 1)
    p.fill(208, 80, 36, 1, (172, 168, 153))
    p.claim("grid vertical separator", 249, 82, 1, 36)
    p.fill(249, 82, 1, 36, (172, 168, 153))
    element("Grid", "HorizontalSeparator", 208, 80, 36, 1, (0, 0, 0, 0), "TileX, StretchY")
    element("Grid", "VerticalSeparator", 249, 82, 1, 36, (0, 0, 0, 0), "StretchX, TileY")
    for key, value in (("NormalColor", "(0,0,0)"), ("OverColor", "(0,0,0)"), ("SelectedColor", "(255,255,255)"),
                       ("DisabledColor", "(153,153,153)"), ("NormalButtonColor", "(0,0,0)"),
                       ("OverButtonColor", "(32,32,32)"), ("ClickButtonColor", "(0,0,0)"),
                       ("DisabledButtonColor", "(153,153,153)")):
        row("Grid", key, value)

    # The desktop, and a frame section whose keys frames do not read.
    row("Desktop", "IconFont", "FNT_SANS8")
    row("Desktop", "NormalCaptionColor", "(255,255,255); BorderColor: (0,0,0); BorderSize: (1)")
    row("Desktop", "DisabledCaptionColor", "(128,128,128); BorderColor: (0,0,0); BorderSize: (1)")
    row("Frame", "Font", "FNT_SANS8")
    row("Frame", "Border", "IMAGE1; (152,217,16,16); (3,3,3,3); StretchX, StretchY")
    row("Frame", "NormalColor", "(0,0,0)")
    row("Frame", "DisabledColor", "(153,153,153)")
    return p, rows


SECTION_ORDER = ("Desktop", "WindowWithCaption_Active", "WindowWithCaption_Inactive", "WindowWithCaption_Common",
                 "WindowWithoutCaption_Active", "WindowWithoutCaption_Inactive", "WindowWithoutCaption_Common",
                 "PushButton", "CheckBox", "RadioButton", "EditBox", "Label", "Frame", "Grid", "Menu", "MenuBar",
                 "Scrollbar_Horizontal", "Scrollbar_Vertical", "Caret_Cursor", "Slider_Horizontal",
                 "Slider_Vertical")


def layout_text(rows):
    lines = ["; The built-in default skin, written by tools/defskin/defskin.py.", "",
             "[Images]", 'IMAGE1 = DefSkin.GIF; (255,0,255)', "",
             "[Fonts]", "FNT_SANS8 = Sans8.FNT", "FNT_SANS10B = Sans10B.FNT"]
    for section in SECTION_ORDER:
        lines += ["", "[%s]" % section]
        lines += ["%s = %s" % (key, value) for key, value in rows[section]]
    return "\r\n".join(lines) + "\r\n"


# --- GIF ---------------------------------------------------------------------------------

def lzw(indices, min_code_size):
    """GIF's variable-length LZW: codes grow from min+1 bits to 12, and a clear code
    starts the table over when it is full."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    out = bytearray()
    acc = nbits = 0

    def emit(code, width):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    def reset():
        return {bytes([i]): i for i in range(clear)}, end + 1, min_code_size + 1

    table, next_code, width = reset()
    emit(clear, width)
    prefix = b""
    for value in indices:
        candidate = prefix + bytes([value])
        if candidate in table:
            prefix = candidate
            continue
        emit(table[prefix], width)
        if next_code == 4096:
            emit(clear, width)
            table, next_code, width = reset()
        else:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        prefix = bytes([value])
    if prefix:
        emit(table[prefix], width)
    emit(end, width)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def gif(picture):
    palette = PALETTE + [(0, 0, 0)] * (256 - len(PALETTE))
    data = bytearray(b"GIF89a")
    data += SIDE.to_bytes(2, "little") * 2 + bytes([0xF7, 0, 0])  # global table of 256 colours
    for rgb in palette:
        data += bytes(rgb)
    data += b"," + bytes(4) + SIDE.to_bytes(2, "little") * 2 + b"\x00"
    data.append(8)
    coded = lzw(picture.pixels, 8)
    for i in range(0, len(coded), 255):
        block = coded[i:i + 255]
        data.append(len(block))
        data += block
    data += b"\x00;"
    return bytes(data)


# --- The archive -------------------------------------------------------------------------

def member(name, data):
    info = zipfile.ZipInfo(name, date_time=(2001, 1, 1, 0, 0, 0))
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 0
    info.external_attr = 0x20  # archive bit
    return info, data


def make_fonts(fntwrite, directory):
    fonts = {}
    for name, face, pixels in (("Sans8.FNT", "DejaVuSans.ttf", SANS_PIXELS),
                               ("Sans10B.FNT", "DejaVuSans-Bold.ttf", BOLD_PIXELS)):
        path = os.path.join(directory, name)
        subprocess.run([fntwrite, os.path.join(FONT_DIR, face), str(pixels), path], check=True)
        with open(path, "rb") as f:
            fonts[name] = f.read()
    return fonts


def archive(fonts):
    picture, rows = draw()
    members = [member("defskin.gif", gif(picture)), member("layout.inf", layout_text(rows).encode("ascii"))]
    members += [member(name, data) for name, data in sorted(fonts.items())]
    import io
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        for info, data in members:
            z.writestr(info, data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
    return buffer.getvalue()


def cpp_source(data):
    lines = ["// Written by tools/defskin/defskin.py at build time: the built-in default skin.",
             '#include "gui/SLGuiDefaultSkin.h"', "",
             "alignas(16) extern constexpr u8 kSLGuiDefaultSkin[] = {"]
    for i in range(0, len(data), 24):
        lines.append("    " + ",".join(str(b) for b in data[i:i + 24]) + ",")
    lines += ["};", "extern constexpr u32 kSLGuiDefaultSkinSize = %d;" % len(data), ""]
    return "\n".join(lines)


def write_if_changed(path, data):
    if os.path.exists(path):
        with open(path, "rb") as f:
            if f.read() == data:
                return
    with open(path, "wb") as f:
        f.write(data)


def main():
    parser = argparse.ArgumentParser(description="Writes the built-in default skin.")
    parser.add_argument("--out", required=True, help="the ZIP archive to write")
    parser.add_argument("--cpp", help="also write the archive as a C++ byte array")
    parser.add_argument("--fntwrite", default=shutil.which("fntwrite") or "fntwrite", help="the font writer")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as directory:
        fonts = make_fonts(args.fntwrite, directory)
    data = archive(fonts)
    write_if_changed(args.out, data)
    if args.cpp:
        write_if_changed(args.cpp, cpp_source(data).encode("ascii"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
