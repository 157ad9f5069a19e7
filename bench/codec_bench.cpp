// Codec benchmark (native Linux): the library's compress (levels 6 and 9) and decompress, file to
// file, and vxtool's pack and unpack (the program itself, 256 KiB pieces), against plain zlib file
// to file with 256 KiB buffers, on mixed data (text-like and incompressible). Every case runs in a
// child process of its own (fork), so that its peak memory (ru_maxrss from wait4, less the child's
// size when it started) is its own; the best of --reps runs counts. The library's decompress
// includes its temporary copy of the VX file; the engine's decode is also measured on its own.
//
// The machine may be shared: each case reports wall-clock and CPU time (user + system of the
// child); with other load on the cores, the CPU-time ratio is the steadier one.
//
//   codec_bench [--size MiB] [--small MiB] [--reps N] [--dir DIR]
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "codec_engine.h"
#include "complib.h"

extern char** environ;

namespace {

constexpr size_t kMiB = 1024 * 1024;
constexpr size_t kRawBuffer = 256 * 1024;

// ---- Data --------------------------------------------------------------------------------------

uint64_t g_state = 0x9E3779B97F4A7C15ull;
uint64_t next() {  // xorshift64*
  g_state ^= g_state >> 12;
  g_state ^= g_state << 25;
  g_state ^= g_state >> 27;
  return g_state * 2685821657736338717ull;
}

// Alternating 1 MiB pieces: text-like (words, numbers, line breaks) and incompressible bytes.
bool makeInput(const std::string& path, size_t size) {
  static const char* const kWords[] = {
      "the ",     "setup ",   "installs ", "payload ",  "codec ",     "library ",
      "window ",  "message ", "folder ",   "product ",  "Tolvarine ", "updater ",
      "of ",      "and ",     "a ",        "file ",     "times ",     "stream ",
      "trailer ", "zlib ",    "deflate ",  "registry ", "drive ",     "search "};
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::vector<unsigned char> piece(kMiB);
  for (size_t done = 0, index = 0; done < size; done += kMiB, ++index) {
    if (index % 2 == 0) {
      size_t i = 0;
      while (i < piece.size()) {
        const uint64_t r = next();
        const char* word = kWords[r % 24];
        if (r % 97 == 0) {
          char number[24];
          std::snprintf(number, sizeof number, "%" PRIu64 " ", (r >> 8) % 100000);
          word = number;
          for (const char* p = word; *p != '\0' && i < piece.size(); ++p) piece[i++] = *p;
          continue;
        }
        for (const char* p = word; *p != '\0' && i < piece.size(); ++p) piece[i++] = *p;
        if (r % 13 == 0 && i < piece.size()) piece[i++] = '\n';
      }
    } else {
      for (size_t i = 0; i < piece.size(); i += 8) {
        const uint64_t r = next();
        std::memcpy(&piece[i], &r, 8);
      }
    }
    const size_t n = std::min(kMiB, size - done);
    if (std::fwrite(piece.data(), 1, n, f) != n) return false;
  }
  return std::fclose(f) == 0;
}

uint64_t fileSize(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return 0;
  fseeko(f, 0, SEEK_END);
  const uint64_t size = static_cast<uint64_t>(ftello(f));
  std::fclose(f);
  return size;
}

// ---- Plain zlib, file to file, 256 KiB buffers
// ---------------------------------------------------

int rawCompress(const std::string& in, const std::string& out, int level) {
  std::FILE* src = std::fopen(in.c_str(), "rb");
  std::FILE* dst = std::fopen(out.c_str(), "wb");
  if (src == nullptr || dst == nullptr) return -1;
  std::vector<unsigned char> ibuf(kRawBuffer), obuf(kRawBuffer);
  z_stream s{};
  if (deflateInit(&s, level) != Z_OK) return -2;
  int flush;
  do {
    s.avail_in = static_cast<uInt>(std::fread(ibuf.data(), 1, ibuf.size(), src));
    s.next_in = ibuf.data();
    flush = std::feof(src) ? Z_FINISH : Z_NO_FLUSH;
    do {
      s.next_out = obuf.data();
      s.avail_out = static_cast<uInt>(obuf.size());
      deflate(&s, flush);
      const size_t n = obuf.size() - s.avail_out;
      if (std::fwrite(obuf.data(), 1, n, dst) != n) return -1;
    } while (s.avail_out == 0);
  } while (flush != Z_FINISH);
  deflateEnd(&s);
  std::fclose(src);
  return std::fclose(dst) == 0 ? 0 : -1;
}

int rawDecompress(const std::string& in, const std::string& out) {
  std::FILE* src = std::fopen(in.c_str(), "rb");
  std::FILE* dst = std::fopen(out.c_str(), "wb");
  if (src == nullptr || dst == nullptr) return -1;
  std::vector<unsigned char> ibuf(kRawBuffer), obuf(kRawBuffer);
  z_stream s{};
  if (inflateInit(&s) != Z_OK) return -2;
  int status = Z_OK;
  do {
    s.avail_in = static_cast<uInt>(std::fread(ibuf.data(), 1, ibuf.size(), src));
    if (s.avail_in == 0) break;
    s.next_in = ibuf.data();
    do {
      s.next_out = obuf.data();
      s.avail_out = static_cast<uInt>(obuf.size());
      status = inflate(&s, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END) return status;
      const size_t n = obuf.size() - s.avail_out;
      if (std::fwrite(obuf.data(), 1, n, dst) != n) return -1;
    } while (s.avail_out == 0);
  } while (status != Z_STREAM_END);
  inflateEnd(&s);
  std::fclose(src);
  return (std::fclose(dst) == 0 && status == Z_STREAM_END) ? 0 : -3;
}

// ---- vxtool, run as a program of its own --------------------------------------------------------

// Runs vxtool with `args` and waits for it; its CPU time counts towards the child that waited.
int runVxtool(std::vector<std::string> args) {
  args.insert(args.begin(), VXTOOL_PATH);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// ---- Measuring in a child process --------------------------------------------------------------

struct Measure {
  double seconds = 0;     // wall clock
  double cpuSeconds = 0;  // user + system time of the child
  long peakGrowthKiB = 0;
  int status = 0;
};

Measure runInChild(const std::function<int()>& work) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    rusage start{};
    getrusage(RUSAGE_SELF, &start);
    const auto t0 = std::chrono::steady_clock::now();
    const int status = work();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    struct {
      double seconds;
      long startKiB;
      int status;
    } report{seconds, start.ru_maxrss, status};
    if (write(fds[1], &report, sizeof report) != sizeof report) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  struct {
    double seconds;
    long startKiB;
    int status;
  } report{};
  const bool got = read(fds[0], &report, sizeof report) == sizeof report;
  close(fds[0]);
  int wstatus = 0;
  rusage usage{};
  wait4(pid, &wstatus, 0, &usage);
  Measure m;
  m.seconds = report.seconds;
  m.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  m.peakGrowthKiB = usage.ru_maxrss - report.startKiB;
  m.status = got && WIFEXITED(wstatus) ? report.status : -99;
  return m;
}

// Best time of `reps` runs, largest memory growth of them.
Measure best(int reps, const std::function<int()>& work) {
  Measure result;
  for (int i = 0; i < reps; ++i) {
    const Measure m = runInChild(work);
    if (m.status != 0) return m;
    if (i == 0 || m.seconds < result.seconds) result.seconds = m.seconds;
    if (i == 0 || m.cpuSeconds < result.cpuSeconds) result.cpuSeconds = m.cpuSeconds;
    result.peakGrowthKiB = std::max(result.peakGrowthKiB, m.peakGrowthKiB);
  }
  return result;
}

// The best of `reps` runs of each of two cases, run by turns, so that both meet the same moments
// of a shared machine (for the short decoding cases, where a burst of other load weighs most).
std::pair<Measure, Measure> bestByTurns(int reps, const std::function<int()>& first,
                                        const std::function<int()>& second) {
  Measure a, b;
  for (int i = 0; i < reps; ++i) {
    const Measure x = best(1, first), y = best(1, second);
    if (x.status != 0 || y.status != 0) return {x, y};
    if (i == 0 || x.cpuSeconds < a.cpuSeconds) a.cpuSeconds = x.cpuSeconds;
    if (i == 0 || x.seconds < a.seconds) a.seconds = x.seconds;
    if (i == 0 || y.cpuSeconds < b.cpuSeconds) b.cpuSeconds = y.cpuSeconds;
    if (i == 0 || y.seconds < b.seconds) b.seconds = y.seconds;
    a.peakGrowthKiB = std::max(a.peakGrowthKiB, x.peakGrowthKiB);
    b.peakGrowthKiB = std::max(b.peakGrowthKiB, y.peakGrowthKiB);
  }
  return {a, b};
}

double loadAverage() {
  double load[1] = {0};
  return getloadavg(load, 1) == 1 ? load[0] : -1;
}

}  // namespace

int main(int argc, char** argv) {
  size_t sizeMiB = 256, smallMiB = 16;
  int reps = 3;
  std::string dir = "/tmp";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    if (opt == "--size")
      sizeMiB = std::strtoul(argv[i + 1], nullptr, 10);
    else if (opt == "--small")
      smallMiB = std::strtoul(argv[i + 1], nullptr, 10);
    else if (opt == "--reps")
      reps = std::atoi(argv[i + 1]);
    else if (opt == "--dir")
      dir = argv[i + 1];
  }
  std::string work = dir + "/codec-bench-XXXXXX";
  if (mkdtemp(work.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  setenv("TMPDIR", work.c_str(), 1);  // the library's temporary copy goes there too
  auto path = [&](const char* name) { return work + "/" + name; };

  std::printf(
      "codec benchmark: %zu MiB mixed input (1 MiB text-like / 1 MiB random), best of %d,"
      " %ld cores, load %.2f, zlib %s, folder %s\n",
      sizeMiB, reps, sysconf(_SC_NPROCESSORS_ONLN), loadAverage(), zlibVersion(), work.c_str());
  std::fflush(stdout);

  int failures = 0;
  auto report = [&](const char* name, const Measure& ours, const Measure& raw, uint64_t bytes,
                    double target) {
    if (ours.status != 0 || raw.status != 0) {
      std::printf("%-19s FAILED (ours %d, raw %d)\n", name, ours.status, raw.status);
      ++failures;
      return;
    }
    const double mb = static_cast<double>(bytes) / 1e6;
    const double ratio = raw.seconds / ours.seconds;
    const double cpuRatio = raw.cpuSeconds / ours.cpuSeconds;
    std::printf(
        "%-19s | %7.1f %7.1f %6.3f | %7.1f %7.1f %6.3f | >= %.2f: wall %-6s cpu %-6s |"
        " %5ld %5ld\n",
        name, mb / ours.seconds, mb / raw.seconds, ratio, mb / ours.cpuSeconds, mb / raw.cpuSeconds,
        cpuRatio, target, ratio >= target ? "met" : "MISSED", cpuRatio >= target ? "met" : "MISSED",
        ours.peakGrowthKiB, raw.peakGrowthKiB);
    std::fflush(stdout);
  };

  auto runSize = [&](size_t mib, int runs, bool speed) {
    const std::string in = path("input.bin");
    if (!makeInput(in, mib * kMiB)) {
      std::printf("cannot write %s\n", in.c_str());
      std::exit(1);
    }
    const uint64_t bytes = fileSize(in);
    std::printf("-- %zu MiB\n", mib);
    if (speed) {
      std::printf("%-19s | %-22s | %-22s | %-29s | %s\n", "case", "wall MB/s ours/raw/ratio",
                  "cpu MB/s ours/raw/ratio", "target for the ratio", "peak KiB ours/raw");
    }
    Measure peakOurs, peakRaw;
    for (int level : {6, 9}) {
      const std::string vx = path("ours.vx"), z = path("raw.z");
      Measure ours, raw;
      // Interleaved, so that both meet the same machine.
      ours = best(runs, [&] {
        unlink(vx.c_str());
        return Comp2VXFormatFile(in.c_str(), vx.c_str(), level);
      });
      raw = best(runs, [&] {
        unlink(z.c_str());
        return rawCompress(in, z, level);
      });
      char name[64];
      std::snprintf(name, sizeof name, "compress level %d", level);
      if (speed) report(name, ours, raw, bytes, 0.95);
      if (speed) {
        const std::string packed = path("vxtool.vx");
        const Measure tool = best(runs, [&] {
          return runVxtool({"pack", "-f", "-q", "-l", std::to_string(level), in, packed});
        });
        std::snprintf(name, sizeof name, "vxtool pack -l %d", level);
        report(name, tool, raw, bytes, 0.95);
      }
      peakOurs.peakGrowthKiB = std::max(peakOurs.peakGrowthKiB, ours.peakGrowthKiB);
      peakRaw.peakGrowthKiB = std::max(peakRaw.peakGrowthKiB, raw.peakGrowthKiB);
      if (speed) {
        std::printf("%-19s | compressed/input: ours %.4f (with trailer), raw %.4f\n", "",
                    static_cast<double>(fileSize(vx)) / bytes,
                    static_cast<double>(fileSize(z)) / bytes);
      }
    }
    // Decompress the level-9 outputs.
    const std::string vx = path("ours.vx"), z = path("raw.z"), out = path("out.bin");
    const Measure ours = best(runs, [&] {
      unlink(out.c_str());
      return DecompVXFormat2NomFile(vx.c_str(), out.c_str());
    });
    const Measure raw = best(runs, [&] {
      unlink(out.c_str());
      return rawDecompress(z, out);
    });
    if (speed) {
      report("decompress + copy", ours, raw, bytes, 0.85);
      // The engine's decode on its own (two 4096-byte buffers, no copy).
      const Measure engine = best(runs, [&] {
        unlink(out.c_str());
        complib::CodecEngine e;
        return e.expandFile(vx.c_str(), out.c_str());
      });
      std::printf(
          "%-19s | engine decode alone: wall %.3f s, cpu %.3f s; raw: wall %.3f s, cpu %.3f s\n",
          "", engine.seconds, engine.cpuSeconds, raw.seconds, raw.cpuSeconds);
      const auto [tool, rawByTurns] = bestByTurns(
          3 * runs,
          [&] {
            unlink(path("vxtool.out").c_str());
            return runVxtool({"unpack", "-q", vx, path("vxtool.out")});
          },
          [&] {
            unlink(out.c_str());
            return rawDecompress(z, out);
          });
      report("vxtool unpack", tool, rawByTurns, bytes, 0.95);
    }
    peakOurs.peakGrowthKiB = std::max(peakOurs.peakGrowthKiB, ours.peakGrowthKiB);
    peakRaw.peakGrowthKiB = std::max(peakRaw.peakGrowthKiB, raw.peakGrowthKiB);
    std::printf("%-19s | ours %ld KiB (target < 4096: %s), raw %ld KiB (largest of all cases)\n",
                "peak memory growth", peakOurs.peakGrowthKiB,
                peakOurs.peakGrowthKiB < 4096 ? "met" : "MISSED", peakRaw.peakGrowthKiB);
    for (const char* name : {"input.bin", "ours.vx", "raw.z", "out.bin", "vxtool.vx", "vxtool.out"})
      unlink(path(name).c_str());
  };

  runSize(sizeMiB, reps, true);
  runSize(smallMiB, 1, false);
  std::printf("load at the end %.2f\n", loadAverage());
  rmdir(work.c_str());
  return failures == 0 ? 0 : 1;
}
