#!/usr/bin/env python3
"""Splits an .ico file into the pieces of an icon resource with chosen image ids.

The resource compiler numbers the images of an ICON statement itself; the executable's icon group
must use fixed image ids instead. This writes each image to its own file (an RT_ICON resource) and
the group directory that names them by id (the RT_GROUP_ICON resource).

usage: split_icon.py ICO GROUP_OUT FIRST_ID IMAGE_OUT...   (one IMAGE_OUT per image, in .ico order)
"""
import struct
import sys


def main():
    ico_path, group_path, first_id, image_paths = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]
    data = open(ico_path, 'rb').read()
    reserved, kind, count = struct.unpack_from('<HHH', data, 0)
    if reserved != 0 or kind != 1 or count != len(image_paths):
        sys.exit(f'{ico_path}: expected an icon file with {len(image_paths)} images')
    group = struct.pack('<HHH', 0, 1, count)
    for index in range(count):
        width, height, colours, _, planes, bits, size, offset = struct.unpack_from(
            '<BBBBHHII', data, 6 + 16 * index)
        with open(image_paths[index], 'wb') as out:
            out.write(data[offset:offset + size])
        group += struct.pack('<BBBBHHIH', width, height, colours, 0, planes, bits, size,
                             first_id + index)
    with open(group_path, 'wb') as out:
        out.write(group)


if __name__ == '__main__':
    main()
