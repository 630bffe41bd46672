#!/usr/bin/env python3
"""Draws the program's icons as RGBA PNG files: the application icon and the
tray states at 32x32 (compiled into the program), the tray states again at
the other sizes trays ask for, the application icon at every size of the
desktop's icon theme, and the application icon as a scalable SVG drawn from
the same shapes. Pure Python: shapes are rasterised with 4x4 supersampling
and written with zlib."""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def png(path, size, pixels):
    raw = b"".join(b"\x00" + bytes(pixels[y * size * 4:(y + 1) * size * 4]) for y in range(size))

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def render(shapes, size=32):
    """shapes: list of (inside(x, y) -> bool in 0..32 space, rgba). Later shapes paint over earlier ones."""
    ss = 4
    out = [0] * (size * size * 4)
    scale = 32.0 / size
    for py in range(size):
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(ss):
                for sx in range(ss):
                    x = (px + (sx + 0.5) / ss) * scale
                    y = (py + (sy + 0.5) / ss) * scale
                    col = None
                    for inside, rgba in shapes:
                        if inside(x, y):
                            col = rgba
                    if col:
                        a = col[3] / 255.0
                        acc[0] += col[0] * a
                        acc[1] += col[1] * a
                        acc[2] += col[2] * a
                        acc[3] += a
            n = ss * ss
            alpha = acc[3] / n
            i = (py * size + px) * 4
            if alpha > 0:
                out[i:i + 4] = [int(acc[0] / acc[3]), int(acc[1] / acc[3]), int(acc[2] / acc[3]), int(alpha * 255)]
    return out


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r0, r1):
    return lambda x, y: r0 * r0 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 * r1


def polygon(points):
    def inside(x, y):
        c = False
        n = len(points)
        for i in range(n):
            x1, y1 = points[i]
            x2, y2 = points[(i + 1) % n]
            if (y1 > y) != (y2 > y) and x < (x2 - x1) * (y - y1) / (y2 - y1) + x1:
                c = not c
        return c
    return inside


DARK = (40, 52, 64, 255)
TUBE = (70, 110, 140, 255)
LENS = (150, 220, 255, 255)
WATER = (40, 120, 200, 255)
WAVE = (120, 190, 240, 255)
GREEN = (60, 170, 80, 255)
GREY = (120, 120, 120, 255)


def waves():
    return [(rect(0, 24, 32, 32), WATER),
            (lambda x, y: 23 <= y <= 25.5 and math.sin(x / 2.0) * 1.0 + 24 <= y, WAVE)]


def periscope(head):
    """head: 'front', 'left', 'right'."""
    shapes = waves()
    shapes.insert(0, (rect(13, 10, 19, 26), TUBE))
    shapes.insert(1, (rect(13, 10, 19, 26), TUBE))
    if head == "front":
        shapes += [(rect(10, 3, 22, 12), DARK), (circle(16, 7.5, 3.2), LENS), (circle(16, 7.5, 1.3), DARK)]
    elif head == "left":
        shapes += [(rect(5, 3, 19, 11), DARK), (rect(3, 4, 6, 10), LENS)]
    else:
        shapes += [(rect(13, 3, 27, 11), DARK), (rect(26, 4, 29, 10), LENS)]
    # a little mast light shows the monitor is on
    shapes += [(circle(16, 16, 1.6), GREEN)]
    return shapes


def periscope_lowered():
    shapes = waves()
    shapes = [(rect(13, 20, 19, 26), TUBE), (rect(10, 16, 22, 22), GREY), (rect(13, 18, 19, 20), DARK)] + shapes
    return shapes


def alert():
    tri = [(16, 2), (31, 29), (1, 29)]
    inner = [(16, 5), (28.2, 27.2), (3.8, 27.2)]
    return [(polygon(tri), (90, 60, 0, 255)), (polygon(inner), (255, 210, 0, 255)),
            (rect(14.6, 10, 17.4, 21), (20, 20, 20, 255)), (circle(16, 24.2, 1.7), (20, 20, 20, 255))]


def slow():
    # A clock face: slow reads by its shape, not by its colour alone.
    return [(circle(16, 16, 15), (20, 60, 130, 255)), (circle(16, 16, 12.5), (200, 225, 255, 255)),
            (rect(14.8, 6, 17.2, 17.2), (20, 40, 90, 255)), (polygon([(15, 15), (24.5, 19.5), (23.5, 21.5), (15, 17.4)]),
                                                                (20, 40, 90, 255)),
            (circle(16, 16, 2), (20, 40, 90, 255))]


def app_icon():
    return [(circle(16, 16, 15.5), (30, 70, 120, 255)), (circle(16, 16, 13.5), (235, 245, 255, 255)),
            (ring(16, 16, 9, 10.5), (30, 70, 120, 255)), (ring(16, 16, 4, 5.5), (30, 70, 120, 255)),
            (polygon([(16, 16), (27, 7), (28.5, 9)]), (60, 170, 80, 255)), (circle(16, 16, 1.8), (200, 40, 40, 255))]


ICONS = {128: app_icon(), 138: alert(), 139: periscope("front"), 140: periscope("left"),
         141: periscope("right"), 142: periscope_lowered(), 143: slow()}
TRAY_IDS = (138, 139, 140, 141, 142, 143)
# Trays draw at 16, 22 or 24 pixels, and at twice 24 on a doubled screen.
TRAY_SIZES = (16, 22, 24, 48)
# The sizes of the hicolor icon theme that desktops look for.
THEME_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def hexcolour(rgba):
    return "#%02x%02x%02x" % rgba[:3]


def app_icon_svg():
    """The application icon's shapes as SVG, in the same 32-unit space."""
    navy, paper, sweep, centre = (30, 70, 120), (235, 245, 255), (60, 170, 80), (200, 40, 40)

    def ring_path(r0, r1):
        # An annulus as one path, filled even-odd.
        return ('<path fill="%s" fill-rule="evenodd" d="M %g 16 a %g %g 0 1 0 %g 0 a %g %g 0 1 0 %g 0 Z '
                'M %g 16 a %g %g 0 1 0 %g 0 a %g %g 0 1 0 %g 0 Z"/>'
                % (hexcolour(navy), 16 - r1, r1, r1, 2 * r1, r1, r1, -2 * r1,
                   16 - r0, r0, r0, 2 * r0, r0, r0, -2 * r0))

    return "\n".join([
        '<?xml version="1.0" encoding="UTF-8"?>',
        '<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">',
        '  <title>Vantrel</title>',
        '  <circle cx="16" cy="16" r="15.5" fill="%s"/>' % hexcolour(navy),
        '  <circle cx="16" cy="16" r="13.5" fill="%s"/>' % hexcolour(paper),
        '  ' + ring_path(9, 10.5),
        '  ' + ring_path(4, 5.5),
        '  <polygon points="16,16 27,7 28.5,9" fill="%s"/>' % hexcolour(sweep),
        '  <circle cx="16" cy="16" r="1.8" fill="%s"/>' % hexcolour(centre),
        '</svg>',
        ""])


if __name__ == "__main__":
    icons = os.path.join(HERE, "icons")
    for ident, shapes in ICONS.items():
        png(os.path.join(icons, "%d.png" % ident), 32, render(shapes))
    for ident in TRAY_IDS:
        for size in TRAY_SIZES:
            png(os.path.join(icons, "%d-%d.png" % (ident, size)), size, render(ICONS[ident], size))
    for size in THEME_SIZES:
        png(os.path.join(icons, "vantrel-%d.png" % size), size, render(app_icon(), size))
    with open(os.path.join(icons, "vantrel.svg"), "w") as f:
        f.write(app_icon_svg())
