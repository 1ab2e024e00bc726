#!/usr/bin/env python3
"""Draws the program's pictures, its Windows icon and its desktop icons.

Writes, relative to the resources directory:

    picture/close_icon.png     32x32 RGBA  title-bar close glyph
    picture/minimize_icon.png  32x32 RGBA  title-bar minimise glyph
    picture/wenhao.svg         help (question mark) button, SVG Tiny 1.2
    picture/guidance.png       593x450     how to put a device into DFU mode
    picture/guidance_zh_CN.png             the same in Chinese, which Qt picks
                                           for a Chinese locale
    picture/*@2x.png           the three PNGs above at twice the size, which
                               Qt picks for screens scaled above 100 %
    picture/Q70.jpg            1000x1000   product picture, Ravlo-Q70
    picture/Q75.jpg            1000x1000   product picture, Ravlo-Q75
    app.ico                    Windows icon: 256, 128, 64, 48, 32, 16, 32-bit
    ../packaging/icons/icon-{48,128,256}.png  the same icon for the Linux desktop
    ../packaging/icons/icon.svg               and as SVG 1.1, the scalable one

The outputs are committed and the build only compiles them in; nothing here
runs at build time. After changing this script, redraw everything and commit
the script together with its outputs. On Debian:

    apt-get install python3-pil fonts-dejavu-core fonts-noto-cjk
    /usr/bin/python3 resources/generator/make_pictures.py

Any Python 3 with Pillow 8.2 or newer will do (only Pillow, the DejaVu fonts
and, for the Chinese texts, Noto Sans CJK SC are used). The script can be started from any directory. There is no
randomness, so the same Pillow and fonts give byte-identical files.

Everything is drawn at several times its final size and reduced with a
Lanczos filter, which gives the anti-aliasing. The two products share one
parametrised drawing (`Model`, `draw_device`), which the instructions picture
reuses with the DFU screen and its call-outs.
"""

import io
import math
import struct
import sys
from dataclasses import dataclass
from pathlib import Path

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

RESOURCES = Path(__file__).resolve().parent.parent
PICTURES = RESOURCES / "picture"
ICONS = RESOURCES.parent / "packaging" / "icons"

# Colours taken from the style sheet.
APP_BG = "#1F1F1F"        # main window background
ACCENT = "#35D8F5"        # link hover colour; the call-outs use it
# The title bars are a light grey-blue gradient (#8F98A9 .. #B6BCC7); their
# white glyphs get a soft edge in this dark blue-grey to stand out on it.
GLYPH_SHADOW = (40, 48, 60)


# --------------------------------------------------------------------------
# Colours and small image helpers

def rgba(color, alpha=255):
    """'#RRGGBB' or an (r, g, b[, a]) tuple -> (r, g, b, a)."""
    if isinstance(color, str):
        c = color.lstrip("#")
        return (int(c[0:2], 16), int(c[2:4], 16), int(c[4:6], 16), alpha)
    if len(color) == 3:
        return (*color, alpha)
    return tuple(color)


def mix(c1, c2, t):
    """Linear blend of two colours, t = 0 gives c1."""
    a, b = rgba(c1), rgba(c2)
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(4))


def lighter(color, t):
    return mix(color, "#FFFFFF", t)


def darker(color, t):
    return mix(color, "#000000", t)


def with_alpha(color, alpha):
    return rgba(color)[:3] + (alpha,)


def _color_at(stops, t):
    """Colour of a gradient given as [(position, colour), ...] at t in 0..1."""
    stops = [(p, rgba(c)) for p, c in stops]
    if t <= stops[0][0]:
        return stops[0][1]
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            return mix(c0, c1, (t - p0) / (p1 - p0) if p1 > p0 else 1.0)
    return stops[-1][1]


def linear_gradient(size, stops, vertical=True):
    """RGBA image of the given size filled with a linear gradient."""
    w, h = size
    length = h if vertical else w
    strip = Image.new("RGBA", (1, length) if vertical else (length, 1))
    strip.putdata([_color_at(stops, i / max(1, length - 1)) for i in range(length)])
    return strip.resize((w, h), Image.NEAREST)


def radial_gradient(size, stops, center=(0.5, 0.5), radius=0.5, grid=160):
    """RGBA radial gradient; centre and radius are fractions of the width."""
    w, h = size
    gw, gh = grid, max(2, round(grid * h / w))
    cx, cy = center[0] * w, center[1] * h
    r = radius * w
    lut = [_color_at(stops, i / 255) for i in range(256)]
    field = Image.new("L", (gw, gh))
    field.putdata([
        min(255, round(255 * math.hypot((x + 0.5) * w / gw - cx,
                                        (y + 0.5) * h / gh - cy) / r))
        for y in range(gh) for x in range(gw)])
    field = field.resize((w, h), Image.BICUBIC)
    bands = [field.point([c[i] for c in lut]) for i in range(4)]
    return Image.merge("RGBA", bands)


def rounded_mask(size, box, radius):
    """L mask of `size` with a filled rounded rectangle."""
    m = Image.new("L", size, 0)
    ImageDraw.Draw(m).rounded_rectangle(box, radius=max(0, radius), fill=255)
    return m


def clip(layer, mask):
    """Multiply the layer's alpha by a mask of the same size."""
    layer = layer.copy()
    layer.putalpha(ImageChops.multiply(layer.getchannel("A"), mask))
    return layer


def shifted(mask, dx, dy):
    out = Image.new("L", mask.size, 0)
    out.paste(mask, (round(dx), round(dy)))
    return out


def solid(size, color):
    return Image.new("RGBA", size, rgba(color))


def paste_layer(canvas, layer, pos=(0, 0)):
    """Alpha-composite `layer` onto `canvas` at `pos` (may lie partly outside)."""
    x, y = round(pos[0]), round(pos[1])
    canvas.alpha_composite(layer.crop((max(0, -x), max(0, -y), layer.width, layer.height)),
                           (max(0, x), max(0, y)))


def fill_rrect(canvas, box, radius, fill, vertical=True):
    """Fill a rounded rectangle with a colour or, given a list of stops, a gradient."""
    x0, y0, x1, y1 = [round(v) for v in box]
    size = (x1 - x0, y1 - y0)
    if size[0] <= 0 or size[1] <= 0:
        return
    layer = linear_gradient(size, fill, vertical) if isinstance(fill, list) else solid(size, fill)
    mask = rounded_mask(size, (0, 0, size[0] - 1, size[1] - 1), round(radius))
    paste_layer(canvas, clip(layer, mask), (x0, y0))


def soft_shadow(canvas, box, radius, blur, offset=(0, 0), color=(0, 0, 0), alpha=160,
                ellipse=False):
    """A blurred rounded rectangle or ellipse (black unless told), e.g. a shadow."""
    x0, y0, x1, y1 = box
    pad = round(blur * 3)
    w, h = round(x1 - x0) + 2 * pad, round(y1 - y0) + 2 * pad
    mask = Image.new("L", (w, h), 0)
    d = ImageDraw.Draw(mask)
    inner = (pad, pad, w - pad - 1, h - pad - 1)
    if ellipse:
        d.ellipse(inner, fill=alpha)
    else:
        d.rounded_rectangle(inner, radius=round(radius), fill=alpha)
    mask = mask.filter(ImageFilter.GaussianBlur(blur))
    layer = solid((w, h), color)
    layer.putalpha(mask)
    paste_layer(canvas, layer, (x0 - pad + offset[0], y0 - pad + offset[1]))


def glow(canvas, mask, color, blur, strength=1.0):
    """Add a blurred coloured halo around a full-canvas mask."""
    m = mask.filter(ImageFilter.GaussianBlur(blur))
    if strength != 1.0:
        m = m.point(lambda v: min(255, round(v * strength)))
    layer = solid(canvas.size, color)
    layer.putalpha(m)
    canvas.alpha_composite(layer)


def downsample(img, size):
    return img.resize(size, Image.LANCZOS)


# --------------------------------------------------------------------------
# Fonts (DejaVu ships with Debian; Pillow finds it by file name)

_FONT_FILES = {
    "regular": "DejaVuSans.ttf",
    "bold": "DejaVuSans-Bold.ttf",
}
_FONT_DIRS = ["", "/usr/share/fonts/truetype/dejavu/"]


def font(size, style="regular"):
    for folder in _FONT_DIRS:
        try:
            return ImageFont.truetype(folder + _FONT_FILES[style], round(size))
        except OSError:
            continue
    sys.exit("make_pictures: DejaVu fonts not found (Debian: fonts-dejavu-core)")


# Chinese texts: Noto Sans CJK SC, face 2 of Debian's collections.
_CJK_FONT_FILES = {
    "regular": "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc",
    "bold": "/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc",
}
_CJK_SC_FACE = 2


def cjk_font(size, style="regular"):
    try:
        return ImageFont.truetype(_CJK_FONT_FILES[style], round(size), index=_CJK_SC_FACE)
    except OSError:
        sys.exit("make_pictures: Noto Sans CJK not found (Debian: fonts-noto-cjk)")


def fitted_font(text, max_width, size, style="regular", face=font):
    """The largest font up to `size` in which `text` fits into max_width."""
    while size > 6:
        f = face(size, style)
        if f.getlength(text) <= max_width:
            return f
        size -= 1
    return face(size, style)


# --------------------------------------------------------------------------
# Title-bar glyphs: white, with a soft dark outline so that they read on the
# light grey-blue gradient of the title bars.

ICON_SIZE = 32
ICON_SS = 8


def _glyph_icon(draw_glyph, scale):
    """draw_glyph(draw, unit, colour) draws in 32-unit coordinates; the icon
    is ICON_SIZE times scale pixels square."""
    ss = ICON_SS * scale
    n = ICON_SIZE * ss
    glyph = Image.new("L", (n, n), 0)
    draw_glyph(ImageDraw.Draw(glyph), ss, 255)
    # the edge: the glyph grown by GLYPH_EDGE units, softened, a little lower
    edge = glyph.filter(ImageFilter.MaxFilter(round(2 * GLYPH_EDGE * ss) | 1))
    edge = shifted(edge, 0, GLYPH_EDGE_DY * ss).filter(ImageFilter.GaussianBlur(0.5 * ss))
    img = solid((n, n), GLYPH_SHADOW)
    img.putalpha(edge.point(lambda v: round(v * GLYPH_EDGE_OPACITY)))
    white = solid((n, n), "#FFFFFF")
    white.putalpha(glyph)
    img.alpha_composite(white)
    return downsample(img, (ICON_SIZE * scale, ICON_SIZE * scale))


def _round_line(draw, p0, p1, width, fill):
    draw.line([p0, p1], fill=fill, width=round(width))
    r = width / 2
    for x, y in (p0, p1):
        draw.ellipse((x - r, y - r, x + r, y + r), fill=fill)


GLYPH_STROKE = 2.5        # units of 32
GLYPH_EDGE = 0.8          # width of the dark edge around a glyph
GLYPH_EDGE_DY = 0.5       # the edge sits this much lower (light from above)
GLYPH_EDGE_OPACITY = 0.6


def close_icon(scale=1):
    def glyph(d, u, c):
        a, b = 9.5 * u, 22.5 * u
        _round_line(d, (a, a), (b, b), GLYPH_STROKE * u, c)
        _round_line(d, (a, b), (b, a), GLYPH_STROKE * u, c)
    return _glyph_icon(glyph, scale)


def minimize_icon(scale=1):
    def glyph(d, u, c):
        _round_line(d, (9.5 * u, 16.5 * u), (22.5 * u, 16.5 * u), GLYPH_STROKE * u, c)
    return _glyph_icon(glyph, scale)


def help_icon_svg():
    """Question mark in a ring, in the manner of the two PNG glyphs."""
    def glyph(color, opacity, grow, dy):
        ring = GLYPH_STROKE * 0.88 + 2 * grow
        hook = GLYPH_STROKE + 2 * grow
        return (f'<g transform="translate(0,{dy:g})" fill="none" stroke="{color}" '
                f'stroke-opacity="{opacity:g}" '
                f'stroke-linecap="round" stroke-linejoin="round">\n'
                f'    <circle cx="16" cy="16" r="10.6" stroke-width="{ring:g}"/>\n'
                f'    <path d="M12.8 13.2 C12.8 11.2 14.3 9.9 16 9.9 C17.9 9.9 19.2 11.2 '
                f'19.2 12.9 C19.2 15.1 16 15.5 16 17.7 L16 18.2" stroke-width="{hook:g}"/>\n'
                f'    <circle cx="16" cy="22" r="{1.6 + grow:g}" stroke="none" '
                f'fill="{color}" fill-opacity="{opacity:g}"/>\n'
                f'  </g>')
    shadow = "#%02X%02X%02X" % GLYPH_SHADOW
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<!-- Help button of the title bar: a white question mark in a ring with a soft
     dark edge, like close_icon.png and minimize_icon.png. Generated by
     generator/make_pictures.py; change the script, not this file. -->
<svg xmlns="http://www.w3.org/2000/svg" version="1.2" baseProfile="tiny"
     width="32" height="32" viewBox="0 0 32 32">
  {glyph(shadow, GLYPH_EDGE_OPACITY * 0.6, GLYPH_EDGE, GLYPH_EDGE_DY)}
  {glyph("#FFFFFF", 1, 0, 0)}
</svg>
"""


# --------------------------------------------------------------------------
# The device family. Sizes are millimetres; draw_device scales them.

@dataclass(frozen=True)
class Model:
    name: str            # full product name
    short: str           # model code shown on its screen
    tagline: str         # line under the name in the product picture
    body: str            # colour of the bumper shell
    width: float
    height: float
    corner: float        # corner radius of the shell
    screen_h: float      # height of the display
    func_keys: tuple     # labels of a row of keys above the digits
    antenna: bool        # rubber antenna stub on the top edge
    tilt: float          # degrees, product picture only


Q70 = Model(name="Ravlo-Q70", short="Q70", tagline="Compact rugged handheld",
            body="#F07C1E", width=78, height=150, corner=14, screen_h=40,
            func_keys=(), antenna=False, tilt=-5)
Q75 = Model(name="Ravlo-Q75", short="Q75", tagline="Rugged handheld, large display",
            body="#2D7FD3", width=88, height=172, corner=9, screen_h=54,
            func_keys=("F1", "OK", "F2"), antenna=True, tilt=5)

RUBBER = "#26282C"
KEY_LETTERS = {"2": "ABC", "3": "DEF", "4": "GHI", "5": "JKL", "6": "MNO",
               "7": "PQRS", "8": "TUV", "9": "WXYZ", "*": "", "0": "+", "#": ""}


class Geometry:
    """Where the parts of a model lie, in millimetres from the shell's corner."""

    def __init__(self, m):
        self.side = 6.5                      # bumper width at the sides
        self.face = (self.side, 7.5, m.width - self.side, m.height - 8.5)
        fx0, fy0, fx1, fy1 = self.face
        self.bezel = (fx0 + 3.5, fy0 + 4.5, fx1 - 3.5, fy0 + 4.5 + m.screen_h + 12)
        bx0, by0, bx1, by1 = self.bezel
        self.screen = (bx0 + 3, by0 + 3, bx1 - 3, by0 + 3 + m.screen_h)
        top = by1 + 5
        self.func_row = None
        if m.func_keys:
            self.func_row = (fx0 + 6, top, fx1 - 6, top + 8.5)
            top += 8.5 + 4.5
        self.keypad = (fx0 + 6, top, fx1 - 6, fy1 - 6)
        self.switch = (m.width - 1.2, m.height * 0.2, m.width + 2.0, m.height * 0.2 + 16)
        self.usb = (m.width / 2 - 8, m.height - 6.2, m.width / 2 + 8, m.height - 1.6)

    def key_boxes(self):
        """[(label, box)] of the 3x4 digit keys."""
        x0, y0, x1, y1 = self.keypad
        gap_x, gap_y = 4.0, 3.6
        kw = (x1 - x0 - 2 * gap_x) / 3
        kh = (y1 - y0 - 3 * gap_y) / 4
        labels = "123456789*0#"
        return [(lab, (x0 + (i % 3) * (kw + gap_x), y0 + (i // 3) * (kh + gap_y),
                       x0 + (i % 3) * (kw + gap_x) + kw, y0 + (i // 3) * (kh + gap_y) + kh))
                for i, lab in enumerate(labels)]


def _draw_key(canvas, box, k, face, rim, label, label_color, sub="", sub_color=None,
              label_scale=0.5):
    """One moulded key: drop shadow, lighter rim, face gradient, legend."""
    x0, y0, x1, y1 = box
    r = min(x1 - x0, y1 - y0) * 0.28
    soft_shadow(canvas, box, r, 0.7 * k, offset=(0, 0.9 * k), alpha=200)
    fill_rrect(canvas, box, r, rim)
    inner = (x0 + 0.35 * k, y0 + 0.3 * k, x1 - 0.35 * k, y1 - 0.75 * k)
    fill_rrect(canvas, inner, r * 0.9, [(0, lighter(face, 0.12)), (1, darker(face, 0.08))])
    d = ImageDraw.Draw(canvas)
    h = y1 - y0
    cx = (x0 + x1) / 2
    ly = (inner[1] + inner[3]) / 2 - (0.12 * h if sub else 0)
    d.text((cx, ly), label, font=font(h * label_scale, "bold"), fill=rgba(label_color),
           anchor="mm")
    if sub:
        d.text((cx, ly + 0.34 * h), sub, font=font(h * 0.17, "bold"),
               fill=rgba(sub_color or label_color), anchor="mm")


def _draw_screen(m, size, mode):
    """The display's content: the home screen, or the DFU update screen."""
    w, h = size
    if mode == "dfu":
        img = linear_gradient(size, [(0, "#0C1A26"), (1, "#050A10")])
        d = ImageDraw.Draw(img)
        # download arrow into a tray
        cx, cy, u = w / 2, h * 0.27, h * 0.07
        d.polygon([(cx - 1.2 * u, cy - 2 * u), (cx + 1.2 * u, cy - 2 * u), (cx + 1.2 * u, cy),
                   (cx + 2.4 * u, cy), (cx, cy + 2.2 * u), (cx - 2.4 * u, cy), (cx - 1.2 * u, cy)],
                  fill=rgba(ACCENT))
        d.line([(cx - 3 * u, cy + 3.2 * u), (cx + 3 * u, cy + 3.2 * u)], fill=rgba(ACCENT),
               width=max(1, round(0.6 * u)))
        f = fitted_font("update mode", w * 0.86, h * 0.2, "bold")
        d.text((w / 2, h * 0.6), "DFU FW", font=f, fill=(255, 255, 255, 255), anchor="mm")
        d.text((w / 2, h * 0.82), "update mode", font=f, fill=(255, 255, 255, 255), anchor="mm")
        return img

    img = linear_gradient(size, [(0, "#15406B"), (0.55, "#0B2541"), (1, "#06162A")])
    halo = radial_gradient(size, [(0, with_alpha(m.body, 90)), (1, with_alpha(m.body, 0))],
                           center=(0.5, 0.52), radius=0.45, grid=48)
    img.alpha_composite(halo)
    d = ImageDraw.Draw(img)
    u = h / 40
    white = (255, 255, 255, 235)
    # status bar: signal bars, clock, battery
    for i in range(4):
        bx = 2.5 * u + i * 1.7 * u
        d.rectangle((bx, 6 * u - (i + 1) * 1.05 * u, bx + 1.1 * u, 6 * u), fill=white)
    d.text((w / 2, 4 * u), "10:08", font=font(3.6 * u, "bold"), fill=white, anchor="mm")
    d.rectangle((w - 9 * u, 2.3 * u, w - 3 * u, 5.7 * u), outline=white, width=max(1, round(0.5 * u)))
    d.rectangle((w - 8.1 * u, 3.2 * u, w - 5 * u, 4.8 * u), fill=white)
    d.rectangle((w - 2.9 * u, 3.3 * u, w - 2.3 * u, 4.7 * u), fill=white)
    # brand and model
    d.text((w / 2, h * 0.45), "Ravlo", font=font(h * 0.25, "bold"), fill=(255, 255, 255, 255),
           anchor="mm")
    d.text((w / 2, h * 0.66), m.short, font=font(h * 0.13, "bold"),
           fill=lighter(m.body, 0.25), anchor="mm")
    # soft-key captions
    d.line([(0, h - 7.5 * u), (w, h - 7.5 * u)], fill=(255, 255, 255, 50),
           width=max(1, round(0.3 * u)))
    small = font(3.4 * u, "bold")
    d.text((3 * u, h - 3.7 * u), "Menu", font=small, fill=(200, 215, 230, 255), anchor="lm")
    d.text((w - 3 * u, h - 3.7 * u), "Tools", font=small, fill=(200, 215, 230, 255), anchor="rm")
    return img


class _DeviceDrawing:
    """Draws one model face-on; each part has its own step, back to front."""

    def __init__(self, m, k, screen):
        self.m, self.k, self.screen = m, k, screen
        self.g = Geometry(m)
        self.pad_x, self.pad_top = 6.0, (14.0 if m.antenna else 6.0)
        self.size = (round((m.width + 2 * self.pad_x) * k),
                     round((m.height + self.pad_top + 6.0) * k))
        self.img = Image.new("RGBA", self.size, (0, 0, 0, 0))
        self.body = self.px((0, 0, m.width, m.height))
        self.anchors = {"body": self.body}

    def px(self, box):
        """Millimetres from the shell's corner -> pixels in the image."""
        x0, y0, x1, y1 = box
        k, ox, oy = self.k, self.pad_x, self.pad_top
        return ((x0 + ox) * k, (y0 + oy) * k, (x1 + ox) * k, (y1 + oy) * k)

    def line(self, p0, p1, color, width_mm):
        ImageDraw.Draw(self.img).line([p0, p1], fill=color,
                                      width=max(1, round(width_mm * self.k)))

    def render(self):
        if self.m.antenna:
            self.antenna()
        self.power_switch()
        self.shell()
        self.grip_ribs()
        self.usb_flap()
        self.face_plate()
        self.display()
        self.keys()
        return self.img, self.anchors

    def antenna(self):
        k = self.k
        ant = self.px((9, -11, 22, 4))
        fill_rrect(self.img, ant, 4 * k, [(0, "#4A4E55"), (0.35, "#2E3136"), (1, "#1B1D20")],
                   vertical=False)
        for i in range(3):
            y = ant[1] + (2.5 + 2.2 * i) * k
            self.line((ant[0] + 1.5 * k, y), (ant[2] - 1.5 * k, y), (0, 0, 0, 120), 0.4)

    def power_switch(self):
        """A slider in a housing on the right-hand side, pushed up (on)."""
        k = self.k
        sw = self.px(self.g.switch)
        fill_rrect(self.img, sw, 1.2 * k, [(0, "#3A3D42"), (0.6, "#1E2023"), (1, "#141517")],
                   vertical=False)
        knob = (sw[0], sw[1] + 1.2 * k, sw[2] + 0.6 * k, sw[1] + 8 * k)
        fill_rrect(self.img, knob, 1.2 * k, [(0, "#D9DDE2"), (0.45, "#A9AFB7"), (1, "#6C727A")],
                   vertical=False)
        for i in range(4):
            y = knob[1] + (1.4 + 1.3 * i) * k
            self.line((knob[0] + 1.4 * k, y), (knob[2] - 0.3 * k, y), (40, 44, 50, 200), 0.35)
        self.anchors["switch"] = sw

    def shell(self):
        """Coloured shell: gradient, rounded-side shading, rubber corners, bevel."""
        m, k, size, body = self.m, self.k, self.size, self.body
        mask = rounded_mask(size, body, m.corner * k)
        bw, bh = round(body[2] - body[0]), round(body[3] - body[1])
        at = (round(body[0]), round(body[1]))
        shell = Image.new("RGBA", size, (0, 0, 0, 0))
        shell.paste(linear_gradient((bw, bh), [(0, lighter(m.body, 0.16)), (0.5, m.body),
                                               (1, darker(m.body, 0.22))]), at)
        shell.alpha_composite(linear_gradient(
            (bw, bh), [(0, (0, 0, 0, 70)), (0.03, (0, 0, 0, 0)), (0.05, (255, 255, 255, 80)),
                       (0.12, (255, 255, 255, 0)), (0.9, (0, 0, 0, 0)), (1, (0, 0, 0, 100))],
            vertical=False), at)

        guards = Image.new("L", size, 0)
        r = (m.corner + 2.5) * k
        for cx in (body[0], body[2]):
            for cy in (body[1], body[3]):
                ImageDraw.Draw(guards).rounded_rectangle(
                    (cx - r, cy - r, cx + r, cy + r), radius=round(m.corner * 0.7 * k), fill=255)
        rubber = linear_gradient(size, [(0, lighter(RUBBER, 0.12)), (1, darker(RUBBER, 0.2))])
        shell.alpha_composite(clip(rubber, guards))
        shell = clip(shell, mask)

        # bevel: light along the upper left edge, dark along the lower right
        d = 0.9 * k
        for (dx, dy), color, blur in (((d, d), (255, 255, 255, 150), 0.5),
                                      ((-d, -d), (0, 0, 0, 170), 0.6)):
            edge = ImageChops.subtract(mask, shifted(mask, dx, dy)).filter(
                ImageFilter.GaussianBlur(blur * k))
            shell.alpha_composite(clip(solid(size, color), ImageChops.multiply(edge, mask)))
        self.img.alpha_composite(shell)

    def grip_ribs(self):
        k, body = self.k, self.body
        for i in range(7):
            y = body[1] + (self.m.height * 0.5 + i * 3.2) * k
            for x0, x1 in ((body[0] + 0.9 * k, body[0] + 3.6 * k),
                           (body[2] - 3.6 * k, body[2] - 0.9 * k)):
                self.line((x0, y), (x1, y), (0, 0, 0, 110), 0.6)
                self.line((x0, y + 0.6 * k), (x1, y + 0.6 * k), (255, 255, 255, 55), 0.35)

    def usb_flap(self):
        usb = self.px(self.g.usb)
        fill_rrect(self.img, usb, 1.6 * self.k, [(0, "#3A3D42"), (1, "#1C1E21")])
        ImageDraw.Draw(self.img).text(
            ((usb[0] + usb[2]) / 2, (usb[1] + usb[3]) / 2), "USB",
            font=font(2.3 * self.k, "bold"), fill=(150, 156, 165, 255), anchor="mm")
        self.anchors["usb"] = usb

    def face_plate(self):
        """The dark front, recessed into the shell."""
        k = self.k
        face = self.px(self.g.face)
        r = max(3.0, self.m.corner - 4.5) * k
        soft_shadow(self.img, face, r, 0.8 * k, offset=(0, -0.5 * k), alpha=220)
        fill_rrect(self.img, face, r, [(0, "#3A3E45"), (0.25, "#2A2D32"), (1, "#1A1C1F")])
        fill_rrect(self.img, (face[0], face[1] + 0.4 * k, face[2], face[1] + 2.5 * k), r,
                   [(0, (0, 0, 0, 120)), (1, (0, 0, 0, 0))])

    def display(self):
        """Glass bezel with the screen, the brand, the status LED and a reflection."""
        k, img = self.k, self.img
        bez = self.px(self.g.bezel)
        soft_shadow(img, bez, 2.5 * k, 0.5 * k, offset=(0, 0.5 * k), color=(255, 255, 255),
                    alpha=40)
        fill_rrect(img, bez, 2.5 * k, [(0, "#15171A"), (1, "#08090A")])
        scr = self.px(self.g.screen)
        img.alpha_composite(_draw_screen(self.m, (round(scr[2] - scr[0]), round(scr[3] - scr[1])),
                                         self.screen), (round(scr[0]), round(scr[1])))
        self.anchors["screen"] = scr

        label_y = (scr[3] + bez[3]) / 2
        ImageDraw.Draw(img).text(((bez[0] + bez[2]) / 2, label_y), "RAVLO",
                                 font=font(3.4 * k, "bold"), fill=(170, 176, 186, 255),
                                 anchor="mm")
        lx = bez[2] - 6 * k
        led = Image.new("L", self.size, 0)
        ImageDraw.Draw(led).ellipse((lx - 1.1 * k, label_y - 1.1 * k,
                                     lx + 1.1 * k, label_y + 1.1 * k), fill=255)
        glow(img, led, "#3DFF7A", 1.2 * k, 1.6)
        ImageDraw.Draw(img).ellipse((lx - 0.9 * k, label_y - 0.9 * k,
                                     lx + 0.9 * k, label_y + 0.9 * k), fill=rgba("#7DFFA8"))

        w, h = round(bez[2] - bez[0]), round(bez[3] - bez[1])
        refl = Image.new("RGBA", (w, h), (0, 0, 0, 0))
        rd = ImageDraw.Draw(refl)
        rd.polygon([(w * 0.38, 0), (w * 0.72, 0), (w * 0.30, h), (-w * 0.04, h)],
                   fill=(255, 255, 255, 22))
        rd.polygon([(w * 0.78, 0), (w * 0.84, 0), (w * 0.42, h), (w * 0.36, h)],
                   fill=(255, 255, 255, 14))
        paste_layer(img, clip(refl, rounded_mask((w, h), (0, 0, w - 1, h - 1), round(2.5 * k))),
                    bez[:2])

    def keys(self):
        m, k = self.m, self.k
        if self.g.func_row:
            x0, y0, x1, y1 = self.px(self.g.func_row)
            n, gap = len(m.func_keys), 4 * k
            kw = (x1 - x0 - gap * (n - 1)) / n
            for i, label in enumerate(m.func_keys):
                box = (x0 + i * (kw + gap), y0, x0 + i * (kw + gap) + kw, y1)
                if label == "OK":
                    _draw_key(self.img, box, k, m.body, lighter(m.body, 0.3), label, "#FFFFFF",
                              label_scale=0.48)
                else:
                    _draw_key(self.img, box, k, "#3B3F46", "#5A5F68", label,
                              lighter(m.body, 0.35), label_scale=0.48)
        for label, box in self.g.key_boxes():
            box = self.px(box)
            _draw_key(self.img, box, k, "#DADDE2", "#F4F6F8", label, "#22252A",
                      KEY_LETTERS.get(label, ""), "#5F6670")
            if label == "1":
                self.anchors["key1"] = box


def draw_device(m, k, screen="home"):
    """Renders a model face-on at k pixels per millimetre.

    Returns (image, anchors): an RGBA image with a transparent margin and a
    dict of pixel boxes in that image: 'body', 'key1', 'switch', 'usb',
    'screen'. `screen` is "home" or "dfu".
    """
    return _DeviceDrawing(m, k, screen).render()


# --------------------------------------------------------------------------
# Product pictures

PRODUCT_SIZE = 1000
PRODUCT_SS = 2
PRODUCT_MM = 3.9      # pixels per millimetre in the final picture; one scale for
                      # both models, so that the larger one looks larger


def product_picture(m):
    """Studio shot of a model: spot-lit backdrop, tilted device, name below."""
    n = PRODUCT_SIZE * PRODUCT_SS
    img = radial_gradient((n, n), [(0, "#565C66"), (0.45, "#33373D"), (1, "#17191C")],
                          center=(0.5, 0.40), radius=0.78)
    floor_y = 0.80 * n
    # soft floor band below the horizon
    band = 100 * PRODUCT_SS
    floor = linear_gradient((n, n - round(floor_y) + band),
                            [(0, (255, 255, 255, 0)), (0.3, (255, 255, 255, 10)),
                             (1, (0, 0, 0, 60))])
    img.alpha_composite(floor, (0, round(floor_y) - band))
    # coloured light behind the device
    halo = radial_gradient((n, n), [(0, with_alpha(m.body, 95)), (0.6, with_alpha(m.body, 25)),
                                    (1, with_alpha(m.body, 0))],
                           center=(0.5, 0.43), radius=0.36, grid=96)
    img.alpha_composite(halo)

    dev, _ = draw_device(m, PRODUCT_MM * PRODUCT_SS)
    dev = dev.rotate(m.tilt, resample=Image.BICUBIC, expand=True)
    x = (n - dev.width) / 2
    y = floor_y - dev.height + 8 * PRODUCT_SS
    # contact shadow and a broad soft shadow cast away from the key light
    soft_shadow(img, (n * 0.5 - dev.width * 0.36, floor_y - 14 * PRODUCT_SS,
                      n * 0.5 + dev.width * 0.36, floor_y + 14 * PRODUCT_SS),
                0, 14 * PRODUCT_SS, alpha=190, ellipse=True)
    cast = solid(dev.size, (0, 0, 0))
    cast.putalpha(dev.getchannel("A").point(lambda v: v * 0.5).filter(
        ImageFilter.GaussianBlur(28 * PRODUCT_SS)))
    paste_layer(img, cast, (x + 26 * PRODUCT_SS, y + 30 * PRODUCT_SS))
    paste_layer(img, dev, (x, y))

    # product name: "Ravlo-" in white, the model code in the model's colour
    d = ImageDraw.Draw(img)
    f = font(86 * PRODUCT_SS, "bold")
    brand = m.name[: -len(m.short)]
    total = f.getlength(m.name)
    tx = (n - total) / 2
    ty = 0.878 * n
    d.text((tx, ty), brand, font=f, fill=(255, 255, 255, 255), anchor="lm")
    d.text((tx + f.getlength(brand), ty), m.short, font=f, fill=lighter(m.body, 0.15),
           anchor="lm")
    d.text((n / 2, 0.945 * n), m.tagline, font=font(32 * PRODUCT_SS), fill=(190, 196, 205, 255),
           anchor="mm")
    return downsample(img, (PRODUCT_SIZE, PRODUCT_SIZE)).convert("RGB")


# --------------------------------------------------------------------------
# Instructions picture: how to start a device in DFU mode

GUIDE_W, GUIDE_H = 593, 450
GUIDE_SS = 3


@dataclass(frozen=True)
class GuideTexts:
    """The words of the instructions picture in one language, and its font."""
    suffix: str          # of the file name
    face: object         # font(size, style)
    heading: str
    hold: str            # under the "1" key's badge
    steps: tuple         # (title, note or None) for each of the four steps
    screen_caption: str
    screen: str          # the device's own words, quoted
    reminder: tuple      # two lines


GUIDE_EN = GuideTexts(
    "", font, "How to enter DFU mode", "hold",
    (('Press and hold the "1" key', "Keep it held down"),
     ("Turn on the power switch", 'Still holding the "1" key'),
     ("Wait 2-3 seconds", None),
     ('Release the "1" key', None)),
    "The screen then shows", '"DFU FW update mode"',
    ("Keep the device connected to", "the PC with a USB cable"))

GUIDE_ZH_CN = GuideTexts(
    "_zh_CN", cjk_font, "如何进入 DFU 模式", "按住",
    (("按住“1”键", "保持按住不放"),
     ("打开电源开关", "仍按住“1”键"),
     ("等待 2-3 秒", None),
     ("松开“1”键", None)),
    "屏幕随后显示", "“DFU FW update mode”",
    ("请用 USB 数据线", "让设备保持连接电脑"))


def _badge(d, center, r, text, ss, fill=ACCENT, color="#0D2230"):
    x, y = center
    d.ellipse((x - r, y - r, x + r, y + r), fill=rgba(fill))
    d.text((x, y + 0.5 * ss), text, font=font(r * 1.25, "bold"), fill=rgba(color), anchor="mm")


def guidance_picture(scale=1, texts=GUIDE_EN):
    """The device with its "1" key and power switch marked, the four numbered
    steps, the screen they lead to and the USB reminder. Coordinates are in
    pixels of the picture at scale 1; p() scales them to the drawing."""
    s = GUIDE_SS * scale
    face = texts.face

    def p(v):
        return v * s

    img = linear_gradient((p(GUIDE_W), p(GUIDE_H)), [(0, "#2C2C2C"), (1, APP_BG)])
    d = ImageDraw.Draw(img)
    white, grey = (255, 255, 255, 255), (176, 182, 190, 255)

    # heading
    d.rounded_rectangle((p(20), p(17), p(24), p(41)), radius=p(2), fill=rgba(ACCENT))
    d.text((p(34), p(29)), texts.heading, font=face(p(20), "bold"), fill=white, anchor="lm")
    d.line([(p(20), p(54)), (p(GUIDE_W - 20), p(54))], fill=rgba("#444444"), width=p(1))

    # the device, showing the screen it ends up on, with its USB cable to a PC
    k = p(300) / Q70.height
    dev, a = draw_device(Q70, k, screen="dfu")
    ox, oy = p(78) - a["body"][0], p(68) - a["body"][1]
    soft_shadow(img, (ox + a["body"][0], oy + a["body"][1], ox + a["body"][2], oy + a["body"][3]),
                p(10), p(6), offset=(p(3), p(5)), alpha=170)

    ux = ox + (a["usb"][0] + a["usb"][2]) / 2
    uy = oy + a["usb"][3]
    pc = (p(200), p(392), p(256), p(432))       # monitor screen
    cable = [(ux, uy + p(10)), (ux, p(412)), (ux + p(6), p(418)), (pc[0] - p(4), p(418))]
    d.line(cable, fill=rgba("#9AA1AB"), width=p(3), joint="curve")
    d.rounded_rectangle((ux - p(5), uy - p(2), ux + p(5), uy + p(13)), radius=p(2),
                        fill=rgba("#C9CED5"))
    d.rounded_rectangle(pc, radius=p(3), outline=rgba("#C9CED5"), width=p(3),
                        fill=rgba("#26303B"))
    d.polygon([((pc[0] + pc[2]) / 2 - p(7), pc[3] + p(1)), ((pc[0] + pc[2]) / 2 + p(7), pc[3] + p(1)),
               ((pc[0] + pc[2]) / 2 + p(10), pc[3] + p(8)), ((pc[0] + pc[2]) / 2 - p(10), pc[3] + p(8))],
              fill=rgba("#C9CED5"))
    d.text(((pc[0] + pc[2]) / 2, (pc[1] + pc[3]) / 2), "PC", font=font(p(14), "bold"), fill=white,
           anchor="mm")
    d.text((ux - p(10), p(407)), "USB", font=font(p(11), "bold"), fill=grey, anchor="rm")
    paste_layer(img, dev, (ox, oy))

    # call-outs: the "1" key and the power switch
    d = ImageDraw.Draw(img)
    ring = Image.new("L", img.size, 0)
    rd = ImageDraw.Draw(ring)
    k1 = [v + o for v, o in zip(a["key1"], (ox, oy, ox, oy))]
    sw = [v + o for v, o in zip(a["switch"], (ox, oy, ox, oy))]
    k1_ring = (k1[0] - p(4), k1[1] - p(4), k1[2] + p(4), k1[3] + p(4))
    sw_ring = (sw[0] - p(5), sw[1] - p(5), sw[2] + p(6), sw[3] + p(5))
    for box in (k1_ring, sw_ring):
        rd.rounded_rectangle(box, radius=p(7), outline=255, width=p(3))
    glow(img, ring, ACCENT, p(4), 1.5)
    img.alpha_composite(clip(solid(img.size, ACCENT), ring))
    d = ImageDraw.Draw(img)

    k1_mid = (k1_ring[1] + k1_ring[3]) / 2
    d.line([(p(36), k1_mid), (k1_ring[0], k1_mid)], fill=rgba(ACCENT), width=p(2))
    _badge(d, (p(30), k1_mid), p(12), "1", s)
    d.text((p(30), k1_mid + p(24)), texts.hold, font=face(p(11), "bold"), fill=rgba(ACCENT),
           anchor="mm")

    sw_mid = (sw_ring[1] + sw_ring[3]) / 2
    d.line([(sw_ring[2], sw_mid), (p(254), sw_mid)], fill=rgba(ACCENT), width=p(2))
    _badge(d, (p(260), sw_mid), p(12), "2", s)
    # slide direction: up to ON
    ax = p(260)
    d.line([(ax, sw_mid - p(18)), (ax, sw_mid - p(38))], fill=rgba(ACCENT), width=p(3))
    d.polygon([(ax - p(6), sw_mid - p(36)), (ax + p(6), sw_mid - p(36)), (ax, sw_mid - p(45))],
              fill=rgba(ACCENT))
    d.text((ax, sw_mid - p(54)), "ON", font=font(p(12), "bold"), fill=rgba(ACCENT), anchor="mm")

    # numbered steps
    col_x, text_x, right = p(302), p(326), p(GUIDE_W - 18)
    steps = texts.steps
    y = p(88)
    for i, (title, note) in enumerate(steps, start=1):
        _badge(d, (col_x, y), p(13), str(i), s)
        f = fitted_font(title, right - text_x, p(16), "bold", face)
        if note:
            d.text((text_x, y - p(8)), title, font=f, fill=white, anchor="lm")
            d.text((text_x, y + p(11)), note, font=face(p(12)), fill=grey, anchor="lm")
        else:
            d.text((text_x, y), title, font=f, fill=white, anchor="lm")
        if i < len(steps):
            d.line([(col_x, y + p(16)), (col_x, y + p(36))], fill=rgba("#4A5562"), width=p(2))
        y += p(52)

    # result: the screen the device shows
    box = (p(286), p(296), right, p(352))
    d.rounded_rectangle(box, radius=p(6), fill=rgba("#263240"), outline=rgba("#3E5C73"),
                        width=p(1))
    d.text((p(300), p(311)), texts.screen_caption, font=face(p(12)), fill=grey, anchor="lm")
    f = fitted_font(texts.screen, right - p(300) - p(10), p(17), "bold", face)
    d.text((p(300), p(334)), texts.screen, font=f, fill=rgba(ACCENT), anchor="lm")

    # reminder: the device stays on the USB cable
    ic = (p(286), p(372), p(318), p(404))
    d.rounded_rectangle(ic, radius=p(5), fill=rgba("#3A3A3A"))
    cx, cy = (ic[0] + ic[2]) / 2, (ic[1] + ic[3]) / 2
    # USB plug
    d.rounded_rectangle((cx - p(6), cy - p(10), cx + p(6), cy + p(2)), radius=p(1),
                        outline=white, width=p(2))
    d.rectangle((cx - p(3), cy - p(7), cx - p(1), cy - p(5)), fill=white)
    d.rectangle((cx + p(1), cy - p(7), cx + p(3), cy - p(5)), fill=white)
    d.rectangle((cx - p(4), cy + p(2), cx + p(4), cy + p(6)), fill=white)
    d.line([(cx, cy + p(6)), (cx, cy + p(12))], fill=white, width=p(2))
    f = fitted_font(texts.reminder[0], right - p(328), p(14), "bold", face)
    d.text((p(328), p(380)), texts.reminder[0], font=f, fill=white, anchor="lm")
    d.text((p(328), p(398)), texts.reminder[1], font=f, fill=white, anchor="lm")

    return downsample(img, (GUIDE_W * scale, GUIDE_H * scale)).convert("RGB")


# --------------------------------------------------------------------------
# Application icon: the handheld on a dark tile with a download badge

ICO_SIZES = (256, 128, 64, 48, 32, 16)
ICO_SS = 4
DESKTOP_ICON_SIZES = (48, 128, 256)   # PNG sizes of the Linux desktop icon


@dataclass(frozen=True)
class IconLayout:
    """Where the icon's parts lie, in units of 1/256 of its size."""
    tile: tuple
    body: tuple
    face: tuple
    screen: tuple
    keys: list           # (x0, y0, x1, y1) of the keypad's 3x3 keys, or none
    badge: tuple         # centre x, centre y, radius, width of its dark ring


def icon_layout(detailed):
    """Small sizes drop the keypad and enlarge the badge."""
    margin = 10 if detailed else 4
    tile = (margin, margin, 256 - margin, 256 - margin)
    body = (62, 30, 166, 226) if detailed else (50, 22, 170, 234)
    bx0, by0, bx1, by1 = body
    rim = 10 if detailed else 15
    face = (bx0 + rim, by0 + rim + 2, bx1 - rim, by1 - rim - 4)
    screen_h = 60 if detailed else 80
    screen = (face[0] + 8, face[1] + 8, face[2] - 8, face[1] + 8 + screen_h)
    keys = []
    if detailed:
        kx0, ky0, kx1, ky1 = screen[0], screen[3] + 12, screen[2], face[3] - 10
        kw, kh = (kx1 - kx0 - 2 * 8) / 3, (ky1 - ky0 - 2 * 8) / 3
        for i in range(9):
            x = kx0 + (i % 3) * (kw + 8)
            y = ky0 + (i // 3) * (kh + 8)
            keys.append((x, y, x + kw, y + kh))
    badge = (190, 190, 50, 9) if detailed else (184, 184, 66, 14)
    return IconLayout(tile, body, face, screen, keys, badge)


ICON_TILE = [(0, "#4A505A"), (0.5, "#2E3238"), (1, "#1C1E22")]
ICON_SHEEN = [(0, (255, 255, 255, 40)), (1, (255, 255, 255, 0))]
ICON_BODY = [(0, lighter(Q70.body, 0.2)), (1, darker(Q70.body, 0.15))]
ICON_FACE = "#23262B"
ICON_SCREEN = [(0, "#3FA9E8"), (1, "#155A9A")]
ICON_KEY = "#D5D9DF"
ICON_RING = "#1C1E22"
ICON_ARROW = "#0F2437"


def badge_arrow(cx, cy, r):
    """The download arrow on the badge: shaft, head and base line."""
    a = r / 50
    shaft = (cx - 8 * a, cy - 30 * a, cx + 8 * a, cy + 2 * a)
    head = [(cx - 24 * a, cy - 2 * a), (cx + 24 * a, cy - 2 * a), (cx, cy + 24 * a)]
    base = (cx - 24 * a, cy + 28 * a, cx + 24 * a, cy + 36 * a)
    return shaft, head, base


def app_icon(size):
    """The icon at one size."""
    n = size * ICO_SS
    u = n / 256                                 # drawing unit: 1/256 of the icon
    detailed = size >= 48
    lay = icon_layout(detailed)
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))

    def px(box):
        return tuple(v * u for v in box)

    tile = px(lay.tile)
    if detailed:
        soft_shadow(img, tile, 48 * u, 5 * u, offset=(0, 4 * u), alpha=120)
    fill_rrect(img, tile, 48 * u, ICON_TILE)
    fill_rrect(img, (tile[0], tile[1], tile[2], tile[1] + 60 * u), 48 * u, ICON_SHEEN)
    fill_rrect(img, px(lay.body), 24 * u, ICON_BODY)
    fill_rrect(img, px(lay.face), 14 * u, ICON_FACE)
    fill_rrect(img, px(lay.screen), 7 * u, ICON_SCREEN)
    for key in lay.keys:
        fill_rrect(img, px(key), 4 * u, ICON_KEY)

    cx, cy, r, ring = px(lay.badge)
    d = ImageDraw.Draw(img)
    d.ellipse((cx - r - ring, cy - r - ring, cx + r + ring, cy + r + ring), fill=rgba(ICON_RING))
    d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=rgba(ACCENT))
    shaft, head, base = badge_arrow(cx, cy, r)
    navy = rgba(ICON_ARROW)
    d.rectangle(shaft, fill=navy)
    d.polygon(head, fill=navy)
    d.rectangle(base, fill=navy)
    return downsample(img, (size, size))


def app_icon_svg():
    """The detailed icon as SVG 1.1 for the desktop's scalable icon."""
    lay = icon_layout(True)

    def colour(c):
        r, g, b, a = rgba(c)
        return f'stop-color="#{r:02X}{g:02X}{b:02X}"' + (
            f' stop-opacity="{a / 255:.3g}"' if a < 255 else "")

    def gradient(name, stops):
        inner = "".join(f'\n      <stop offset="{p:g}" {colour(c)}/>' for p, c in stops)
        return (f'    <linearGradient id="{name}" x1="0" y1="0" x2="0" y2="1">'
                f'{inner}\n    </linearGradient>')

    def rect(box, radius, fill, extra=""):
        x0, y0, x1, y1 = box
        radius = min(radius, (x1 - x0) / 2, (y1 - y0) / 2)
        return (f'  <rect x="{x0:.4g}" y="{y0:.4g}" width="{x1 - x0:.4g}" '
                f'height="{y1 - y0:.4g}" rx="{radius:.4g}" fill="{fill}"{extra}/>')

    tile = lay.tile
    cx, cy, r, ring = lay.badge
    shaft, head, base = badge_arrow(cx, cy, r)
    points = " ".join(f"{x:.4g},{y:.4g}" for x, y in head)
    parts = [
        rect(tile, 48, "#000", ' fill-opacity="0.47" filter="url(#shadow)"'
             ' transform="translate(0,4)"'),
        rect(tile, 48, "url(#tile)"),
        rect((tile[0], tile[1], tile[2], tile[1] + 60), 48, "url(#sheen)"),
        rect(lay.body, 24, "url(#body)"),
        rect(lay.face, 14, ICON_FACE),
        rect(lay.screen, 7, "url(#screen)"),
        *[rect(key, 4, ICON_KEY) for key in lay.keys],
        f'  <circle cx="{cx}" cy="{cy}" r="{r + ring}" fill="{ICON_RING}"/>',
        f'  <circle cx="{cx}" cy="{cy}" r="{r}" fill="{ACCENT}"/>',
        rect(shaft, 0, ICON_ARROW),
        f'  <polygon points="{points}" fill="{ICON_ARROW}"/>',
        rect(base, 0, ICON_ARROW),
    ]
    defs = "\n".join([
        gradient("tile", ICON_TILE), gradient("sheen", ICON_SHEEN),
        gradient("body", ICON_BODY), gradient("screen", ICON_SCREEN),
        '    <filter id="shadow" x="-10%" y="-10%" width="120%" height="120%">\n'
        '      <feGaussianBlur stdDeviation="5"/>\n'
        '    </filter>'])
    body = "\n".join(parts)
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<!-- The program's icon: the handheld on a dark tile with a download badge.
     Generated by resources/generator/make_pictures.py; change the script,
     not this file. -->
<svg xmlns="http://www.w3.org/2000/svg" version="1.1"
     width="256" height="256" viewBox="0 0 256 256">
  <defs>
{defs}
  </defs>
{body}
</svg>
"""


def ico_bytes(images):
    """A Windows .ico: 256 as PNG, the others as 32-bit BGRA bitmaps with mask."""
    blobs = []
    for im in images:
        n = im.width
        if n >= 256:
            buf = io.BytesIO()
            im.save(buf, "PNG", optimize=True)
            blobs.append(buf.getvalue())
            continue
        xor = im.transpose(Image.FLIP_TOP_BOTTOM).tobytes("raw", "BGRA")
        row = (n + 31) // 32 * 4
        alpha = im.getchannel("A").transpose(Image.FLIP_TOP_BOTTOM)
        mask = bytearray(row * n)
        for y in range(n):
            for x in range(n):
                if alpha.getpixel((x, y)) == 0:
                    mask[y * row + x // 8] |= 0x80 >> (x % 8)
        header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(xor) + len(mask),
                             0, 0, 0, 0)
        blobs.append(header + xor + bytes(mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for im, blob in zip(images, blobs):
        n = im.width % 256
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


# --------------------------------------------------------------------------

def main():
    PICTURES.mkdir(exist_ok=True)
    for scale, suffix in ((1, ""), (2, "@2x")):
        close_icon(scale).save(PICTURES / f"close_icon{suffix}.png", optimize=True)
        minimize_icon(scale).save(PICTURES / f"minimize_icon{suffix}.png", optimize=True)
        for texts in (GUIDE_EN, GUIDE_ZH_CN):
            guidance_picture(scale, texts).save(
                PICTURES / f"guidance{texts.suffix}{suffix}.png", optimize=True)
    (PICTURES / "wenhao.svg").write_text(help_icon_svg(), encoding="ascii")
    for m in (Q70, Q75):
        product_picture(m).save(PICTURES / f"{m.short}.jpg", quality=92, subsampling=0,
                                optimize=True)
    (RESOURCES / "app.ico").write_bytes(ico_bytes([app_icon(s) for s in ICO_SIZES]))
    ICONS.mkdir(exist_ok=True)
    for size in DESKTOP_ICON_SIZES:
        app_icon(size).save(ICONS / f"icon-{size}.png", optimize=True)
    (ICONS / "icon.svg").write_text(app_icon_svg(), encoding="ascii")
    for path in sorted(PICTURES.iterdir()) + [RESOURCES / "app.ico"] + sorted(ICONS.iterdir()):
        print(path.relative_to(RESOURCES.parent))


if __name__ == "__main__":
    main()
