#!/usr/bin/env python3
"""Writes Reeldeck's button faces as SVG strips (run from this folder after changing the look).

A strip holds five frames side by side, each as wide as the button: normal, hovered, toggled,
toggled + hovered, and the disabled face last. Vector faces stay sharp at every device pixel ratio.
"""

FRAMES = [  # (fill, border, glyph)
    ("#3a3f48", "#4b515c", "#e8eaed"),  # normal
    ("#4a5261", "#7aa7ff", "#ffffff"),  # hovered
    ("#2f6fd0", "#2f6fd0", "#ffffff"),  # toggled
    ("#3f82e8", "#a9c6ff", "#ffffff"),  # toggled + hovered
    ("#2a2d32", "#33373d", "#62666d"),  # disabled
]

S = 22  # square face size (logical pixels)

GLYPHS = {
    "play": lambda c: f'<path d="M8 6 L16.5 11 L8 16 Z" fill="{c}"/>',
    "pause": lambda c: f'<rect x="7" y="6" width="3" height="10" rx="0.8" fill="{c}"/>'
                       f'<rect x="12" y="6" width="3" height="10" rx="0.8" fill="{c}"/>',
    "stop": lambda c: f'<rect x="7" y="7" width="8" height="8" rx="1" fill="{c}"/>',
    "capture": lambda c: f'<path d="M5 8.5 h3 l1.3-2 h3.4 l1.3 2 h3 v7.5 h-12 z" fill="none" stroke="{c}"'
                         f' stroke-width="1.4" stroke-linejoin="round"/>'
                         f'<circle cx="11" cy="12" r="2.3" fill="none" stroke="{c}" stroke-width="1.4"/>',
    "open": lambda c: f'<path d="M11 5.5 L16.5 11.5 H5.5 Z" fill="{c}"/>'
                      f'<rect x="5.5" y="13.5" width="11" height="2.5" rx="0.8" fill="{c}"/>',
    "info": lambda c: f'<circle cx="11" cy="11" r="6.2" fill="none" stroke="{c}" stroke-width="1.4"/>'
                      f'<rect x="10.2" y="10" width="1.6" height="4.6" rx="0.5" fill="{c}"/>'
                      f'<circle cx="11" cy="7.9" r="1" fill="{c}"/>',
}


def speaker(c, on):
    body = f'<path d="M5 9 h2.6 l3.6-3 v10 l-3.6-3 h-2.6 z" fill="{c}"/>'
    if on:
        return body + (f'<path d="M13.5 8.5 q1.6 2.5 0 5" fill="none" stroke="{c}" stroke-width="1.3"'
                       f' stroke-linecap="round"/><path d="M15.5 6.8 q3 4.2 0 8.4" fill="none" stroke="{c}"'
                       f' stroke-width="1.3" stroke-linecap="round"/>')
    return body + (f'<path d="M13.5 9 l4 4 M17.5 9 l-4 4" stroke="{c}" stroke-width="1.4"'
                   f' stroke-linecap="round"/>')


def face(x, w, h, fill, border):
    return (f'<rect x="{x + 0.5}" y="0.5" width="{w - 1}" height="{h - 1}" rx="4.5" fill="{fill}"'
            f' stroke="{border}" stroke-width="1"/>')


def strip(name, glyph_for_frame, w=S, h=S):
    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{w * len(FRAMES)}" height="{h}"'
             f' viewBox="0 0 {w * len(FRAMES)} {h}">']
    for i, (fill, border, glyph) in enumerate(FRAMES):
        parts.append(face(i * w, w, h, fill, border))
        parts.append(f'<g transform="translate({i * w} 0)">{glyph_for_frame(i, glyph)}</g>')
    parts.append('</svg>\n')
    with open(f"button_{name}.svg", "w") as f:
        f.write("".join(parts))


def text_glyph(label, w, h):
    return lambda i, c: (f'<text x="{w / 2}" y="{h / 2 + 4}" text-anchor="middle" font-family="sans-serif"'
                         f' font-size="11" font-weight="600" fill="{c}">{label}</text>')


for key, draw in GLYPHS.items():
    strip(key, lambda i, c, d=draw: d(c))
# Mute: the toggled frames mean sound on.
strip("mute", lambda i, c: speaker(c, i in (2, 3)))
strip("save", text_glyph("Save", 57, 22), 57, 22)
strip("cancel", text_glyph("Cancel", 57, 22), 57, 22)
