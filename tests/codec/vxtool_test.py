#!/usr/bin/env python3
"""vxtool's command line: exit codes, one-line errors naming the status, `info` of a known
container, and no crash on any input.

Usage: vxtool_test.py path/to/vxtool
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

VXTOOL = None
EPOCH_DIFF = 11_644_473_600


def filetime(y, mo, d, h, mi, s, ticks=0):
    import calendar
    return (calendar.timegm((y, mo, d, h, mi, s)) + EPOCH_DIFF) * 10_000_000 + ticks


# The recorded times of the shipped payload 101.
TIMES_101 = (filetime(2000, 6, 16, 6, 25, 32, 8_100_000), filetime(2000, 6, 15, 15, 0, 0),
             filetime(2000, 5, 28, 9, 52, 46))


def run(*args):
    return subprocess.run([VXTOOL, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True, errors="replace")


class VxTool(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vxtool-test-")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def assertFails(self, result, code, message):
        self.assertEqual(code, result.returncode, result.stderr)
        lines = result.stderr.strip().splitlines()
        self.assertEqual(1, len(lines), result.stderr)
        self.assertIn(message, lines[0])
        self.assertTrue(lines[0].startswith("vxtool: "), lines[0])

    def test_help_and_usage_errors(self):
        r = run("--help")
        self.assertEqual(0, r.returncode)
        for text in ("pack [-l LEVEL] [-f] [-q] [--times C,A,W] IN OUT", "unpack [-f] [-q] IN OUT",
                     "info FILE", "verify [-q] FILE",
                     "Exit codes:", "  3  a file cannot be opened"):
            self.assertIn(text, r.stdout)
        self.assertEqual(2, run().returncode)
        self.assertEqual(2, run("explode").returncode)
        self.assertEqual(2, run("pack", "only-one").returncode)
        self.assertEqual(2, run("unpack", "a", "b", "c").returncode)
        self.assertEqual(2, run("info").returncode)
        for level in ("10", "-2", "x", "", "9x"):
            r = run("pack", "-l", level, "a", "b")
            self.assertEqual(2, r.returncode, level)
            self.assertIn("level must be a number from -1 to 9", r.stderr)
        self.assertEqual(2, run("pack", "-l").returncode)

    def test_round_trip_and_levels(self):
        data = b"text line\n" * 5000 + os.urandom(5000)
        src = self.write("src", data)
        os.utime(src, ns=(1_000_000_000_000_000_000, 950_000_000_123_456_700))
        for level, hint in (("0", 0), ("1", 0), ("5", 1), ("-1", 2), ("6", 2), ("9", 3)):
            r = run("pack", "-l", level, src, self.path("p.vx"))
            self.assertEqual(0, r.returncode, r.stderr)
            with open(self.path("p.vx"), "rb") as f:
                self.assertEqual(hint, f.read(2)[1] >> 6)
            self.assertEqual(0, run("verify", self.path("p.vx")).returncode)
            r = run("unpack", self.path("p.vx"), self.path("out"))
            self.assertEqual(0, r.returncode, r.stderr)
            self.assertEqual(950_000_000_123_456_700, os.stat(self.path("out")).st_mtime_ns)
            with open(self.path("out"), "rb") as f:
                self.assertEqual(data, f.read())
        r = run("pack", src, self.path("default.vx"))  # default level 9
        self.assertEqual(0, r.returncode)
        with open(self.path("default.vx"), "rb") as f:
            self.assertEqual(b"\x78\xda", f.read(2))

    def test_pack_records_the_given_times(self):
        src = self.write("src", b"content " * 1000)
        out = self.path("t.vx")
        # Date-times (one to seven fractional digits) and raw FILETIMEs, as info prints them back.
        r = run("pack", "-f", "-q", "-l", "9", "--times",
                "2000-06-16T06:25:32.81Z,2000-06-15T15:00:00Z,126039811660000000", src, out)
        self.assertEqual(0, r.returncode, r.stderr)
        with open(out, "rb") as f:
            self.assertEqual(struct.pack("<3Q", *TIMES_101), f.read()[-24:])
        r = run("unpack", out, self.path("back"))
        self.assertEqual(0, r.returncode, r.stderr)
        self.assertEqual(TIMES_101[2] - EPOCH_DIFF * 10_000_000,
                         os.stat(self.path("back")).st_mtime_ns // 100)
        # A bad value is a usage error naming the field, and OUT stays as it was.
        for times, field in (("2000-06-16T06:25:32Z,x,0", "last-access"),
                             ("1600-01-01T00:00:00Z,0,0", "creation"),
                             ("0,0,99999999999999999999", "last-write"),
                             ("0,0", "C,A,W"), ("0,0,0,0", "C,A,W")):
            r = run("pack", "-f", "--times", times, src, out)
            self.assertEqual(2, r.returncode, times)
            self.assertIn(field, r.stderr.splitlines()[0])
            with open(out, "rb") as f:
                self.assertEqual(struct.pack("<3Q", *TIMES_101), f.read()[-24:])
        self.assertEqual(2, run("pack", "--times", "0,0,x", src, self.path("new.vx")).returncode)
        self.assertFalse(os.path.exists(self.path("new.vx")))

    def test_info_of_a_known_padded_container(self):
        # Payload-like: the 8-byte stream of an empty file at level 9, the trailer of resource 101,
        # one zero byte of padding.
        body = bytes.fromhex("78DA030000000001")
        vx = self.write("known.vx", body + struct.pack("<3Q", *TIMES_101) + b"\0")
        r = run("info", vx)
        self.assertEqual(0, r.returncode, r.stderr)
        expected = [
            f"file:                   {vx}",
            "size:                   33 bytes",
            "level hint:             3, maximum compression (levels 7-9)",
            "body:                   8 bytes up to the stream's end",
            "content:                0 bytes, Adler-32 0x00000001",
            "between stream/trailer: 0 bytes",
            "trailer:                at offset 8, followed by 1 zero byte(s) of padding",
            "creation time:          2000-06-16T06:25:32.8100000Z",
            "last-access time:       2000-06-15T15:00:00.0000000Z",
            "last-write time:        2000-05-28T09:52:46.0000000Z",
        ]
        self.assertEqual(expected, r.stdout.splitlines())

    def test_info_counts_bytes_between_stream_and_trailer(self):
        body = zlib.compress(b"hello " * 100, 6)
        vx = self.write("gap.vx", body + b"GAP!!" + struct.pack("<3Q", *TIMES_101))
        r = run("info", vx)
        self.assertEqual(0, r.returncode, r.stderr)
        self.assertIn(f"body:                   {len(body)} bytes up to the stream's end", r.stdout)
        self.assertIn("between stream/trailer: 5 bytes", r.stdout)
        self.assertIn("level hint:             2, default compression (level 6)", r.stdout)
        self.assertIn("last-write time:        2000-05-28T09:52:46.0000000Z", r.stdout)
        self.assertEqual(0, run("verify", vx).returncode)

    def test_bad_inputs_give_one_line_errors_and_exit_codes(self):
        missing = self.path("missing.vx")
        self.assertFails(run("unpack", missing, self.path("o")), 3, "(0x80000001)")
        self.assertFalse(os.path.exists(self.path("o")))
        self.assertFails(run("pack", missing, self.path("o")), 3,
                         "cannot open the normal file (0x80000002)")
        self.assertFails(run("info", missing), 3, "cannot open the file")
        self.assertFails(run("verify", missing), 3, "cannot open the file")
        self.assertFails(run("unpack", self.write("short", b"\x78\xda\x03"), self.path("o")), 3,
                         "shorter than 24 bytes (0x80000001)")
        self.assertFails(run("verify", self.path("short")), 1, "shorter than the 24-byte trailer")

        good = zlib.compress(os.urandom(20000), 9) + struct.pack("<3Q", *TIMES_101)
        truncated = self.write("trunc.vx", good[:100] )
        self.assertFails(run("unpack", truncated, self.path("o")), 1,
                         "compressed data ends too early (-5)")
        self.assertFails(run("verify", truncated), 1, "compressed data ends too early (-5)")
        garbage = self.write("garbage.vx", b"GARBAGE!" * 10)
        self.assertFails(run("unpack", garbage, self.path("o")), 1, "corrupt compressed data (-3)")
        self.assertFails(run("verify", garbage), 1, "corrupt compressed data (-3)")
        r = run("info", garbage)
        self.assertEqual(1, r.returncode)
        self.assertIn("level hint:             none (no valid zlib header)", r.stdout)
        self.assertIn("corrupt compressed data (-3)", r.stderr)
        dictionary = self.write("dict.vx", b"\x78\xbb\x00\x00\x00\x01" + b"\0" * 30)
        self.assertFails(run("verify", dictionary), 1, "(-2)")
        bad_adler = bytearray(good)
        bad_adler[-25] ^= 1
        self.assertFails(run("verify", self.write("adler.vx", bytes(bad_adler))), 1,
                         "corrupt compressed data (-3)")

    def test_no_crash_on_any_input(self):
        rnd = random.Random(1234)
        good = zlib.compress(b"abc" * 3000, 9) + struct.pack("<3Q", *TIMES_101)
        samples = [b"", b"\x78", b"\x78\xda", bytes(24), b"\xff" * 24, b"\xff" * 27, good]
        samples += [rnd.randbytes(rnd.randrange(0, 200)) for _ in range(30)]
        for _ in range(30):
            mutated = bytearray(good)
            for _ in range(rnd.randrange(1, 4)):
                mutated[rnd.randrange(len(mutated))] = rnd.randrange(256)
            samples.append(bytes(mutated[:rnd.randrange(len(mutated) + 1)]))
        for i, data in enumerate(samples):
            f = self.write(f"s{i}", data)
            for args in (("info", f), ("verify", f), ("unpack", f, self.path("o"))):
                r = run(*args)
                self.assertIn(r.returncode, (0, 1, 3), f"{args}: {r.returncode} {r.stderr}")


def main():
    global VXTOOL
    VXTOOL = sys.argv.pop(1)
    unittest.main(verbosity=2)


if __name__ == "__main__":
    main()
