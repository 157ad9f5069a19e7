#!/usr/bin/env python3
"""Interoperability of libcomplib.so with other zlib producers and consumers.

Streams written by Python's zlib, `pigz -z` and `zopfli --zlib`, with a trailer appended, decode
through DecompVXFormat2NomFile; the bodies that Comp2VXFormatFile writes decode with Python's zlib.
Usage: interop_test.py path/to/libcomplib.so
"""
import ctypes
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

LIBRARY = None
TIMES = (125_000_000_000_000_000, 125_000_000_100_000_000, 125_000_000_200_000_000)  # FILETIMEs
EPOCH_DIFF = 11_644_473_600


def content(size, seed):
    rnd = random.Random(seed)
    words = [b"codec ", b"payload ", b"Tolvarine ", b"trailer ", b"\r\n", b"zlib "]
    out = bytearray()
    while len(out) < size:
        if rnd.random() < 0.6:
            out += b"".join(rnd.choice(words) for _ in range(200))
        else:
            out += rnd.randbytes(3000)
    return bytes(out[:size])


def trailer(times=TIMES):
    return struct.pack("<3Q", *times)


class Interop(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="codec-interop-")
        self.data = content(2_000_000, 7)
        self.plain = os.path.join(self.dir, "plain")
        with open(self.plain, "wb") as f:
            f.write(self.data)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def unpack(self, body, times=TIMES):
        vx, out = self.path("in.vx"), self.path("out")
        with open(vx, "wb") as f:
            f.write(body + trailer(times))
        status = LIBRARY.DecompVXFormat2NomFile(vx.encode(), out.encode())
        self.assertEqual(0, status)
        st = os.stat(out)
        self.assertEqual(times[1], st.st_atime_ns // 100 + EPOCH_DIFF * 10_000_000)
        self.assertEqual(times[2], st.st_mtime_ns // 100 + EPOCH_DIFF * 10_000_000)
        with open(out, "rb") as f:
            return f.read()

    def tool_stream(self, argv):
        if shutil.which(argv[0]) is None:
            self.fail(f"{argv[0]} is not installed (scripts/install-deps installs it)")
        # The tools are not under test: under AddressSanitizer only this process needs its
        # runtime preloaded (for the library), and zopfli's allocations through it took 18 s.
        env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
        return subprocess.run(argv + [self.plain], check=True, stdout=subprocess.PIPE,
                              env=env).stdout

    def test_python_zlib_streams_decode(self):
        for level in (0, 1, 6, 9):
            with self.subTest(level=level):
                self.assertEqual(self.data, self.unpack(zlib.compress(self.data, level)))
        # A stream written with full flushes in between is still one stream.
        c = zlib.compressobj(6)
        body = b"".join(c.compress(self.data[i:i + 70000]) + c.flush(zlib.Z_FULL_FLUSH)
                        for i in range(0, len(self.data), 70000)) + c.flush()
        self.assertEqual(self.data, self.unpack(body))

    def test_pigz_stream_decodes(self):
        body = self.tool_stream(["pigz", "-z", "-c", "-9"])
        self.assertEqual(0x78, body[0])
        self.assertEqual(self.data, self.unpack(body))

    def test_zopfli_stream_decodes(self):
        body = self.tool_stream(["zopfli", "--zlib", "-c", "--i1"])
        self.assertEqual(0x78, body[0])
        self.assertEqual(self.data, self.unpack(body))

    def test_our_bodies_decode_with_python_zlib(self):
        vx = self.path("ours.vx")
        for level in range(-1, 10):
            with self.subTest(level=level):
                self.assertEqual(0, LIBRARY.Comp2VXFormatFile(self.plain.encode(), vx.encode(), level))
                with open(vx, "rb") as f:
                    data = f.read()
                d = zlib.decompressobj()
                self.assertEqual(self.data, d.decompress(data))
                self.assertTrue(d.eof)
                self.assertEqual(24, len(d.unused_data))  # exactly the trailer follows the stream
                _, _, write = struct.unpack("<3Q", d.unused_data)
                self.assertEqual(os.stat(self.plain).st_mtime_ns // 100 + EPOCH_DIFF * 10_000_000,
                                 write)


def main():
    global LIBRARY
    LIBRARY = ctypes.CDLL(sys.argv.pop(1))
    LIBRARY.Comp2VXFormatFile.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int32]
    LIBRARY.Comp2VXFormatFile.restype = ctypes.c_int32
    LIBRARY.DecompVXFormat2NomFile.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    LIBRARY.DecompVXFormat2NomFile.restype = ctypes.c_int32
    unittest.main(verbosity=2)


if __name__ == "__main__":
    main()
