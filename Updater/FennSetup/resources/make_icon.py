#!/usr/bin/env python3
"""Draws the program icon and writes it as FennSetup.ico: two 256-colour images, 16x16 and 32x32.

The picture: a blue rounded box with a white arrow pointing down into a light tray, the usual sign
for "install". Run it again after changing the drawing; the .ico is kept in the repository.
"""
import struct
import sys

# Palette indices; the rest of the 256 entries stay black.
TRANSPARENT, OUTLINE, BOX, BOX_LIGHT, ARROW, TRAY, TRAY_EDGE = range(7)
PALETTE = {
    TRANSPARENT: (0, 0, 0),
    OUTLINE: (16, 48, 112),
    BOX: (40, 96, 200),
    BOX_LIGHT: (88, 144, 232),
    ARROW: (255, 255, 255),
    TRAY: (232, 232, 224),
    TRAY_EDGE: (120, 120, 112),
}


def draw(size):
    """Returns rows (top first) of palette indices for an icon of size x size pixels."""
    s = size / 32.0
    pixels = [[TRANSPARENT] * size for _ in range(size)]

    def inside_box(x, y):
        left, top, right, bottom, radius = 1 * s, 1 * s, 31 * s, 31 * s, 6 * s
        cx = min(max(x, left + radius), right - radius)
        cy = min(max(y, top + radius), bottom - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and left <= x <= right and top <= y <= bottom

    for row in range(size):
        for col in range(size):
            x, y = col + 0.5, row + 0.5
            if not inside_box(x, y):
                continue
            edge = not (inside_box(x - 1, y) and inside_box(x + 1, y) and
                        inside_box(x, y - 1) and inside_box(x, y + 1))
            if edge:
                pixels[row][col] = OUTLINE
            else:
                pixels[row][col] = BOX_LIGHT if y < 11 * s else BOX
            # The tray along the bottom.
            if 22 * s <= y <= 27 * s and 6 * s <= x <= 26 * s:
                pixels[row][col] = TRAY_EDGE if y > 25.5 * s or x < 7.5 * s or x > 24.5 * s else TRAY
            # The arrow: a shaft and a head pointing down into the tray.
            if 13.5 * s <= x <= 18.5 * s and 4 * s <= y <= 14 * s:
                pixels[row][col] = ARROW
            if 12 * s <= y <= 21 * s and abs(x - 16 * s) <= (21 * s - y) * 0.9:
                pixels[row][col] = ARROW
    return pixels


def bmp_image(pixels):
    """The icon image as stored in an .ico or an RT_ICON resource: header, palette, XOR and AND."""
    size = len(pixels)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    palette = b''.join(struct.pack('BBBB', *reversed(PALETTE.get(i, (0, 0, 0))), 0)
                       for i in range(256))
    xor_stride = (size + 3) & ~3
    and_stride = ((size + 31) // 32) * 4
    xor_rows, and_rows = [], []
    for row in reversed(pixels):  # bottom-up
        xor_rows.append(bytes(row) + b'\0' * (xor_stride - size))
        mask = bytearray(and_stride)
        for col, index in enumerate(row):
            if index == TRANSPARENT:
                mask[col // 8] |= 0x80 >> (col % 8)
        and_rows.append(bytes(mask))
    return header + palette + b''.join(xor_rows) + b''.join(and_rows)


def ico_file(images):
    directory = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b'', b''
    for size, image in images:
        entries += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 8, len(image), offset + len(data))
        data += image
    return directory + entries + data


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else 'FennSetup.ico'
    images = [(size, bmp_image(draw(size))) for size in (16, 32)]
    with open(target, 'wb') as out:
        out.write(ico_file(images))


if __name__ == '__main__':
    main()
