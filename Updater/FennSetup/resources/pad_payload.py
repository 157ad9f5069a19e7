#!/usr/bin/env python3
"""Turns a packed container into the stored form of a payload resource.

The stored form is the container followed by as many zero bytes (none to three) as it takes to
reach a multiple of four bytes. The output is written whole or not at all, so that a failed run
leaves nothing the resource compiler could embed.

usage: pad_payload.py CONTAINER OUTPUT
"""
import os
import sys

TRAILER_SIZE = 24  # the three file times behind the body


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    source, target = sys.argv[1:]
    data = open(source, 'rb').read()
    if len(data) - TRAILER_SIZE < 3:
        sys.exit(f'{source}: too short for a container ({len(data)} bytes)')
    data += b'\0' * (-len(data) % 4)
    partial = target + '.partial'
    with open(partial, 'wb') as out:
        out.write(data)
    os.replace(partial, target)


if __name__ == '__main__':
    main()
