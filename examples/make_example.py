#!/usr/bin/env python3
"""Writes the demo scene (room.dxs) and its image textures (Textures/...png).

The scene is a small room in the editor's own file format: a floor of planks, brick walls, a plain
ceiling colour, a crate standing on the floor and a tinted glass pane. Run it from anywhere; the files
land beside this script. The committed files are its output."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def png(path, width, height, pixel):
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def planks(x, y):
    board = (x // 16) % 4
    grain = ((y * 7 + board * 13) % 11) * 3
    edge = 40 if x % 16 == 0 else 0
    return (150 - grain - edge + board * 6, 100 - grain // 2 - edge, 60 - edge // 2)


def bricks(x, y):
    row = y // 8
    offset = 8 if row % 2 else 0
    mortar = y % 8 == 0 or (x + offset) % 16 == 0
    if mortar:
        return (190, 185, 175)
    shade = ((x + offset) // 16 * 17 + row * 29) % 30
    return (150 + shade, 60 + shade // 2, 45)


def crate(x, y):
    border = x < 4 or y < 4 or x > 59 or y > 59 or abs(x - y) < 3 or abs(x + y - 63) < 3
    return (120, 80, 40) if border else (185, 140, 80)


png(os.path.join(HERE, "Textures", "Floors", "planks.png"), 64, 64, planks)
png(os.path.join(HERE, "Textures", "Walls", "bricks.png"), 64, 64, bricks)
png(os.path.join(HERE, "Textures", "Objects", "crate.png"), 64, 64, crate)

MATERIALS = """  <materials highestID="5">
    <category name="Demo">
      <material id="1" name="planks" used="true">
        <layer type="texture" blend="replace">
          <texture file="Floors\\planks.png" />
        </layer>
      </material>
      <material id="2" name="bricks" used="true">
        <layer type="texture" blend="replace">
          <texture file="Walls\\bricks.png" />
        </layer>
      </material>
      <material id="3" name="ceiling" used="true">
        <layer type="color" blend="replace">
          <color r="235" g="230" b="215" a="255" />
        </layer>
      </material>
      <material id="4" name="crate" used="true">
        <layer type="texture" blend="replace">
          <texture file="Objects\\crate.png" />
        </layer>
        <layer type="color" blend="modulate">
          <color r="255" g="240" b="200" a="255" />
        </layer>
      </material>
      <material id="5" name="glass" used="true">
        <layer type="color" blend="alphablend">
          <color r="120" g="180" b="255" a="96" />
        </layer>
      </material>
    </category>
  </materials>
"""


def primitive(pid, name, corners, faces):
    """corners: list of (x, y, z); faces: list of (material id, [corner indices], [(u, v)...])."""
    out = [f'    <primitive id="{pid}" name="{name}" type="cube" visible="true" snap="none" autoUV="false" '
           f'groupID="-1" skeletonID="-1">', "      <vertices>"]
    for i, (x, y, z) in enumerate(corners):
        out.append(f'        <vertex id="{i}" x="{x:g}" y="{y:g}" z="{z:g}" />')
    out += ["      </vertices>", "      <polygons>"]
    for mid, ids, uvs in faces:
        out.append(f'        <poly mid="{mid}">')
        for vid, (u, v) in zip(ids, uvs):
            out.append(f'          <vertex vid="{vid}" u0="{u:g}" v0="{v:g}" />')
        out.append("        </poly>")
    out += ["      </polygons>", "    </primitive>"]
    return "\n".join(out)


def box(x0, y0, z0, x1, y1, z1):
    return [(x0, y0, z0), (x1, y0, z0), (x1, y0, z1), (x0, y0, z1),
            (x0, y1, z0), (x1, y1, z0), (x1, y1, z1), (x0, y1, z1)]


QUAD = [(0, 1), (0, 0), (1, 0), (1, 1)]


def tiled(n):
    return [(u * n, v * n) for u, v in QUAD]


room = box(-256, 0, -256, 256, 256, 256)
# Faces seen from inside the room.
room_faces = [
    (1, [0, 3, 2, 1], tiled(4)),  # floor
    (3, [4, 5, 6, 7], QUAD),      # ceiling
    (2, [0, 1, 5, 4], tiled(3)),  # walls
    (2, [1, 2, 6, 5], tiled(3)),
    (2, [2, 3, 7, 6], tiled(3)),
    (2, [3, 0, 4, 7], tiled(3)),
]
crate_box = box(-64, 0, -64, 64, 128, 64)
# Faces seen from outside the crate.
crate_faces = [
    (4, [4, 7, 6, 5], QUAD),
    (4, [0, 4, 5, 1], QUAD),
    (4, [1, 5, 6, 2], QUAD),
    (4, [2, 6, 7, 3], QUAD),
    (4, [3, 7, 4, 0], QUAD),
]
glass = [(96, 32, 200), (224, 32, 200), (224, 160, 200), (96, 160, 200)]
glass_faces = [(5, [0, 1, 2, 3], QUAD), (5, [3, 2, 1, 0], QUAD)]

scene = "\n".join([
    '<scene version="1.6">',
    '  <settings name="demo room" author="Tessaline" comments="" shadowOpacity="75">',
    '    <ambient r="255" g="255" b="255" />',
    '  </settings>',
    MATERIALS.rstrip("\n"),
    '  <primitives highestID="3">',
    primitive(0, "room", room, room_faces),
    primitive(1, "crate", crate_box, crate_faces),
    primitive(2, "glass", glass, glass_faces),
    '  </primitives>',
    '</scene>',
    "",
])
with open(os.path.join(HERE, "room.dxs"), "w", newline="\n") as f:
    f.write(scene)
