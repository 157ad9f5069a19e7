#!/usr/bin/env python3
"""Turns a packed container into the stored form of a payload resource.

The stored form is the container followed by as many zero bytes (none to three) as it takes to
reach a multiple of four bytes. With --damage-body, one byte in the middle of the compressed body
is inverted first, which makes a setup whose extraction of that payload fails (for tests).

usage: pad_payload.py [--damage-body] CONTAINER OUTPUT
"""
import sys

TRAILER_SIZE = 24  # the three file times behind the body


def main():
    args = sys.argv[1:]
    damage = '--damage-body' in args
    args = [a for a in args if a != '--damage-body']
    if len(args) != 2:
        sys.exit(__doc__)
    data = bytearray(open(args[0], 'rb').read())
    body_size = len(data) - TRAILER_SIZE
    if body_size < 3:
        sys.exit(f'{args[0]}: too short for a container ({len(data)} bytes)')
    if damage:
        # Past the two header bytes, so the stream starts well and breaks inside its data.
        data[max(2, body_size // 2)] ^= 0xFF
    data += b'\0' * (-len(data) % 4)
    with open(args[1], 'wb') as out:
        out.write(data)


if __name__ == '__main__':
    main()
