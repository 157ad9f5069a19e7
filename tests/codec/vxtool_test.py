#!/usr/bin/env python3
"""vxtool's command line: exit codes, one-line errors naming the cause and the status, `info` of a
known container, no crash on any input, inputs that cannot be reopened (pipes, /dev/stdin), reads
that fail, no file lost (existing, appearing during the run, same file, interrupt, size limit) and
progress only on a terminal.

Usage: vxtool_test.py [--emulator PROGRAM] [--project-version VERSION] path/to/vxtool
"""
import ctypes
import glob
import os
import random
import resource
import signal
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

VXTOOL = None
EMULATOR = []  # the program that runs vxtool when it is built for another machine (qemu)
LARGE = False  # run only the large-content case (--large)
VERSION = None  # the project's version, which --version prints (--project-version)
EPOCH_DIFF = 11_644_473_600


def filetime(y, mo, d, h, mi, s, ticks=0):
    import calendar
    return (calendar.timegm((y, mo, d, h, mi, s)) + EPOCH_DIFF) * 10_000_000 + ticks


# The recorded times of the shipped payload 101.
TIMES_101 = (filetime(2000, 6, 16, 6, 25, 32, 8_100_000), filetime(2000, 6, 15, 15, 0, 0),
             filetime(2000, 5, 28, 9, 52, 46))


class LowMemory:
    """Maps `content` at address 0 of this (native) process, so that its /proc/PID/mem reads it from
    offset 0 and then fails with EIO at the first unmapped byte: a file whose read fails part-way,
    for vxtool's emulated builds too (they read a native process's file). Needs CAP_SYS_RAWIO;
    `mapped` says whether it worked."""

    def __init__(self, content):
        self.size = len(content)
        libc = ctypes.CDLL(None, use_errno=True)
        libc.mmap.restype = ctypes.c_void_p
        libc.mmap.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int, ctypes.c_int,
                              ctypes.c_int, ctypes.c_long]
        libc.munmap.argtypes = [ctypes.c_void_p, ctypes.c_size_t]
        self.libc = libc
        # PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED
        self.mapped = libc.mmap(0, self.size, 3, 0x02 | 0x20 | 0x10, -1, 0) in (0, None)
        if self.mapped:
            ctypes.memmove(0, content, self.size)
            self.mapped = self.reads_part_way(content)
            if not self.mapped:
                libc.munmap(0, self.size)

    def reads_part_way(self, content):
        with open(f"/proc/{os.getpid()}/mem", "rb", buffering=0) as mem:
            if mem.read(self.size) != content:
                return False
            try:
                mem.read(1)
            except OSError:
                return True
        return False

    def close(self):
        if self.mapped:
            self.libc.munmap(0, self.size)
            self.mapped = False


def content(path):
    with open(path, "rb") as f:
        return f.read()


def run(*args, **kwargs):
    kwargs.setdefault("stderr", subprocess.PIPE)
    return subprocess.run([*EMULATOR, VXTOOL, *args], stdout=subprocess.PIPE, text=True,
                          errors="replace", **kwargs)


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

    def finish(self, process):
        """Waits for a vxtool reading a FIFO and returns its stderr; one that hangs (reopening the
        FIFO) fails the test."""
        try:
            process.wait(timeout=120)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            self.fail("vxtool never ended after its FIFO input was closed")
        finally:
            errors = process.stderr.read()
            process.stderr.close()
        return errors

    def assertFails(self, result, code, message):
        self.assertEqual(code, result.returncode, result.stderr)
        lines = result.stderr.strip().splitlines()
        self.assertEqual(1, len(lines), result.stderr)
        self.assertIn(message, lines[0])
        self.assertTrue(lines[0].startswith("vxtool: "), lines[0])

    def test_help_version_and_usage_errors(self):
        r = run("--help")
        self.assertEqual(0, r.returncode)
        for text in ("pack [-l LEVEL] [-f] [-q] [--times C,A,W] IN OUT", "unpack [-f] [-q] IN OUT",
                     "info FILE", "verify [-q] FILE", "vxtool --version"):
            self.assertIn(text, r.stdout)
        # Every exit code once, in order, each with its meaning; the cases below hold vxtool to it.
        codes = [line[:5] for line in r.stdout.split("Exit codes:\n")[1].splitlines()
                 if line[:3] != "   "]
        self.assertEqual(["  0  ", "  1  ", "  2  ", "  3  "], codes)
        self.assertIn("  1  the container is not valid", r.stdout)
        self.assertIn("  3  a file cannot be opened", r.stdout)
        r = run("--version")
        self.assertEqual((0, f"vxtool {VERSION}\n"), (r.returncode, r.stdout))
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
            r = run("pack", "-f", "-l", level, src, self.path("p.vx"))
            self.assertEqual(0, r.returncode, r.stderr)
            with open(self.path("p.vx"), "rb") as f:
                self.assertEqual(hint, f.read(2)[1] >> 6)
            self.assertEqual(0, run("verify", self.path("p.vx")).returncode)
            r = run("unpack", "--force", self.path("p.vx"), self.path("out"))
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
        # The operation, the file, the system's reason and the status.
        self.assertFails(run("unpack", missing, self.path("o")), 3,
                         f"unpack: cannot read {missing}: No such file or directory (0x80000001)")
        self.assertFalse(os.path.exists(self.path("o")))
        self.assertFails(run("pack", missing, self.path("o")), 3,
                         f"pack: cannot read {missing}: No such file or directory (0x80000002)")
        self.assertFails(run("info", missing), 3, "No such file or directory")
        self.assertFails(run("verify", missing), 3, "No such file or directory")
        no_folder = self.path("no-folder/o.vx")
        self.assertFails(run("pack", self.write("f", b"x"), no_folder), 3,
                         f"pack: cannot create a file beside {no_folder}: No such file or directory")
        # Not a container: 1, as verify and info say (it was 3, as if the file could not be read).
        self.assertFails(run("unpack", self.write("short", b"\x78\xda\x03"), self.path("o")), 1,
                         "not a VX container: shorter than 24 bytes (0x80000001)")
        self.assertFalse(os.path.exists(self.path("o")))
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

        # A read that fails is no end of the input: exit 3 naming IN and the system's reason, and no
        # OUT. vxtool's own /proc/self/mem fails at its first read (offset 0 is unmapped); this
        # process's, with 1 MiB mapped at address 0, fails after that 1 MiB where it may be mapped.
        out = self.path("mem.vx")
        self.assertFails(run("pack", "/proc/self/mem", out), 3,
                         "pack: cannot read /proc/self/mem: Input/output error (-1)")
        low = LowMemory(random.Random(5).randbytes(1 << 20))
        try:
            if low.mapped:
                mem = f"/proc/{os.getpid()}/mem"
                self.assertFails(run("pack", "-l", "1", mem, out), 3,
                                 f"pack: cannot read {mem}: Input/output error (-1)")
            else:
                print("note: no part-way read failure here (address 0 cannot be mapped)",
                      file=sys.stderr)
        finally:
            low.close()
        self.assertFalse(os.path.exists(out))
        self.assertEqual([], glob.glob(self.path(".vxtool-*")))

    def test_packs_from_a_fifo_and_from_stdin(self):
        # The trailer's times come from the open input: a FIFO cannot be opened a second time
        # without a second writer, and /dev/stdin reopened may be another file.
        data = b"piped content\n" * 20000 + random.Random(6).randbytes(30000)
        fifo = self.path("fifo")
        os.mkfifo(fifo)
        out = self.path("fifo.vx")
        p = subprocess.Popen([*EMULATOR, VXTOOL, "pack", fifo, out], stderr=subprocess.PIPE)
        with open(fifo, "wb") as feed:
            feed.write(data)
        errors = self.finish(p)
        self.assertEqual(0, p.returncode, errors)
        with open(out, "rb") as f:
            trailer = struct.unpack("<3Q", f.read()[-24:])
        self.assertEqual(os.stat(fifo).st_mtime_ns // 100 + EPOCH_DIFF * 10_000_000, trailer[2])
        self.assertEqual(0, run("unpack", out, self.path("fifo.out")).returncode)
        self.assertEqual(data, content(self.path("fifo.out")))

        # /dev/stdin as a pipe and as a file.
        stdin_file = self.write("stdin.txt", data[:50000])
        for name, expected in (("pipe", data), ("file", data[:50000])):
            vx, back = self.path(f"stdin-{name}.vx"), self.path(f"stdin-{name}.out")
            with open(stdin_file, "rb") as stdin:
                feed = {"input": data} if name == "pipe" else {"stdin": stdin}
                r = subprocess.run([*EMULATOR, VXTOOL, "pack", "/dev/stdin", vx],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120,
                                   **feed)
            self.assertEqual(0, r.returncode, r.stderr)
            self.assertEqual(0, run("unpack", vx, back).returncode)
            self.assertEqual(expected, content(back), name)
        self.assertEqual([], glob.glob(self.path(".vxtool-*")))

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
            for args in (("info", f), ("verify", f), ("unpack", "-f", f, self.path("o"))):
                r = run(*args)
                self.assertIn(r.returncode, (0, 1, 3), f"{args}: {r.returncode} {r.stderr}")

    def test_never_destroys_a_file_it_was_not_asked_to_replace(self):
        src = self.write("in.txt", b"the input " * 500)
        out = self.write("out.vx", b"an older output")
        self.assertFails(run("pack", src, out), 3, f"{out} exists; use -f to replace it")
        self.assertFails(run("pack", out, src), 3, f"{src} exists")  # swapped arguments
        self.assertFails(run("unpack", out, src), 3, f"{src} exists")
        self.assertEqual(b"an older output", content(out))
        self.assertEqual(0, run("pack", "-f", src, out).returncode)
        self.assertEqual(0, run("unpack", "-f", out, src).returncode)
        self.assertEqual(b"the input " * 500, content(src))

        # One file as IN and OUT, however named: refused even with -f, and left as it was.
        os.symlink(src, self.path("soft"))
        os.link(src, self.path("hard"))
        for other in (src, self.path("./in.txt"), self.path("soft"), self.path("hard")):
            for command in ("pack", "unpack"):
                self.assertFails(run(command, "-f", src, other), 3, "are the same file")
        self.assertEqual(b"the input " * 500, content(src))

        # An OUT that another program creates while the pack runs is kept without -f, and replaced
        # with it. IN is a FIFO: once this test's open of it returns, vxtool has checked OUT and is
        # reading; OUT is made then, and the pack ends only when the FIFO is closed.
        for force, kept in ((False, True), (True, False)):
            fifo, late = self.path(f"slow-{force}"), self.path(f"late-{force}.vx")
            os.mkfifo(fifo)
            force_flag = ["-f"] if force else []
            p = subprocess.Popen([*EMULATOR, VXTOOL, "pack", *force_flag, fifo, late],
                                 stderr=subprocess.PIPE, text=True)
            with open(fifo, "wb") as feed:
                feed.write(b"first part " * 10000)
                feed.flush()
                with open(late, "wb") as other:
                    other.write(b"made by another program")
                feed.write(b"the rest " * 10000)
            errors = self.finish(p)
            if kept:
                self.assertEqual(3, p.returncode, errors)
                self.assertIn(f"{late} appeared during the run and is kept; use -f to replace it",
                              errors)
                self.assertEqual(b"made by another program", content(late))
            else:
                self.assertEqual(0, p.returncode, errors)
                self.assertEqual(0, run("verify", late).returncode)
        self.assertEqual([], glob.glob(self.path(".vxtool-*")))

    def test_interrupt_or_size_limit_mid_pack_leaves_out_as_it_was(self):
        # IN is a pipe that this test feeds, so the pack is still running when it is killed.
        fifo = self.path("fifo")
        os.mkfifo(fifo)
        out = self.write("out.vx", b"keep me")
        p = subprocess.Popen([*EMULATOR, VXTOOL, "pack", "-f", "-l", "1", fifo, out],
                             stderr=subprocess.PIPE)
        rnd = random.Random(7)
        deadline = time.monotonic() + 30
        with open(fifo, "wb") as feed:
            while not any(os.path.getsize(t) for t in glob.glob(self.path(".vxtool-*"))):
                self.assertLess(time.monotonic(), deadline, "no output appeared")
                feed.write(rnd.randbytes(256 * 1024))
                feed.flush()
            p.send_signal(signal.SIGTERM)
            p.wait(timeout=30)
        with p.stderr:
            self.assertEqual(-signal.SIGTERM, p.returncode, p.stderr.read())
        self.assertEqual(b"keep me", content(out))
        self.assertEqual([], glob.glob(self.path(".vxtool-*")))

        # Past a file-size limit (ulimit -f) the write fails (EFBIG) instead of SIGXFSZ ending
        # vxtool: exit 3 naming OUT, OUT as it was, the temporary file removed.
        big = self.write("big.in", random.Random(8).randbytes(2 << 20))

        def limit_file_size():
            resource.setrlimit(resource.RLIMIT_FSIZE, (256 * 1024, 256 * 1024))

        r = run("pack", "-f", "-l", "1", big, out, preexec_fn=limit_file_size)
        self.assertFails(r, 3, f"pack: cannot write {out}: File too large (-1)")
        self.assertEqual(b"keep me", content(out))
        self.assertEqual([], glob.glob(self.path(".vxtool-*")))

    def test_progress_only_on_a_terminal_and_not_with_q(self):
        big = self.path("big")
        with open(big, "wb") as f:
            f.truncate(65 * 1024 * 1024)  # zeros, sparse: above the 64 MiB threshold
        for args, shown in ((["-l", "1"], True), (["-q", "-l", "1"], False)):
            leader, follower = os.openpty()
            r = run("pack", "-f", *args, big, self.path("big.vx"), stderr=follower)
            os.close(follower)
            seen = b""
            try:
                while chunk := os.read(leader, 4096):
                    seen += chunk
            except OSError:  # the terminal closed
                pass
            os.close(leader)
            self.assertEqual(0, r.returncode)
            self.assertEqual(shown, b"% " in seen and b"MB/s" in seen, seen)
        r = run("pack", "-f", "-l", "1", big, self.path("big.vx"))  # stderr is a pipe
        self.assertEqual((0, ""), (r.returncode, r.stderr))


@unittest.skipUnless(LARGE or "--large" in sys.argv, "large content: only with --large")
class LargeContent(unittest.TestCase):
    """Content past 4 GiB, where 32-bit sizes, counters and file offsets would wrap."""

    def test_content_past_4_gib(self):
        # Zeros, 1 MiB per block after a full flush: every such block is the same bytes, so the
        # 4.3 GB of content take 4 MB of stream, made without compressing them.
        mib, blocks, tail = 1 << 20, 4100, 12345
        size = blocks * mib + tail
        c = zlib.compressobj(9)
        first = c.compress(bytes(mib)) + c.flush(zlib.Z_FULL_FLUSH)
        block = c.compress(bytes(mib)) + c.flush(zlib.Z_FULL_FLUSH)
        last = c.compress(bytes(tail)) + c.flush(zlib.Z_FULL_FLUSH)
        adler = ((size % 65521) << 16) | 1  # of zeros: a stays 1, b counts the bytes
        work = tempfile.mkdtemp(prefix="vxtool-large-", dir=os.path.dirname(VXTOOL))
        try:
            vx, out = os.path.join(work, "large.vx"), os.path.join(work, "large.out")
            with open(vx, "wb") as f:
                f.write(first)
                for _ in range(blocks - 1):
                    f.write(block)
                f.write(last + b"\x03\x00" + adler.to_bytes(4, "big"))
                f.write(struct.pack("<3Q", *TIMES_101))
            r = run("info", vx)
            self.assertEqual(0, r.returncode, r.stderr)
            self.assertIn(f"content:                {size} bytes, Adler-32 0x{adler:08x}", r.stdout)
            r = run("unpack", "-q", vx, out)
            self.assertEqual(0, r.returncode, r.stderr)  # zlib checked the Adler-32 of all of it
            self.assertEqual(size, os.path.getsize(out))
            self.assertEqual(TIMES_101[2] - EPOCH_DIFF * 10_000_000,
                             os.stat(out).st_mtime_ns // 100)
        finally:
            shutil.rmtree(work)


def main():
    global VXTOOL, EMULATOR, LARGE, VERSION
    args = sys.argv[1:]
    if "--large" in args:
        args.remove("--large")
        LARGE = True
    if "--project-version" in args:
        at = args.index("--project-version")
        VERSION = args[at + 1]
        del args[at:at + 2]
    if "--emulator" in args:
        at = args.index("--emulator")
        EMULATOR = shlex.split(args[at + 1])
        del args[at:at + 2]
    VXTOOL = args.pop(0)
    unittest.main(argv=[sys.argv[0], *args, *(["LargeContent"] if LARGE else [])], verbosity=2)


if __name__ == "__main__":
    main()
