#include "bench/InProcessPeers.h"

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "codecs/GraphicColor.h"

namespace peers {

TPixels BitmapPixels(const TBitmap& b, int channels) {
  TPixels p;
  p.Width = b.Width(), p.Height = b.Height(), p.Channels = channels;
  p.Data.resize(static_cast<size_t>(p.Width) * p.Height * channels);
  const TPixelFormat pf = b.PixelFormat();
  for (int y = 0; y < p.Height; ++y) {
    const uint8_t* s = b.ScanLine(y);
    uint8_t* o = &p.Data[static_cast<size_t>(y) * p.Width * channels];
    for (int x = 0; x < p.Width; ++x, o += channels) {
      uint8_t a = 255;
      if (pf == TPixelFormat::pf24bit || pf == TPixelFormat::pf32bit) {
        const uint8_t* q = s + x * (pf == TPixelFormat::pf24bit ? 3 : 4);
        o[0] = q[2], o[1] = q[1], o[2] = q[0];
        if (pf == TPixelFormat::pf32bit) a = q[3];
      } else {
        const TColor c = b.Pixel(x, y);
        o[0] = static_cast<uint8_t>(c), o[1] = static_cast<uint8_t>(c >> 8), o[2] = static_cast<uint8_t>(c >> 16);
      }
      if (channels == 4) o[3] = a;
    }
  }
  return p;
}

TSide OursWith(std::function<std::shared_ptr<TBitmap>(const uint8_t*, size_t)> decode) {
  TSide s;
  s.Name = "ours";
  s.Decode = [decode](const uint8_t* d, size_t n) -> std::shared_ptr<void> { return decode(d, n); };
  s.Pixels = [](const std::shared_ptr<void>& r, int channels) {
    return BitmapPixels(*static_cast<const TBitmap*>(r.get()), channels);
  };
  return s;
}

TSide CopyFloor(const TPixels& picture) {
  // The finished bitmap is made once, outside the timing; each decode copies it into a new one.
  auto done = std::make_shared<TBitmap>(picture.Width, picture.Height, TPixelFormat::pf24bit);
  for (int y = 0; y < picture.Height; ++y)
    SwapRGB8(&picture.Data[static_cast<size_t>(y) * picture.Width * 3], done->ScanLine(y), picture.Width);
  TSide side = OursWith([done](const uint8_t*, size_t) {
    auto b = std::make_shared<TBitmap>(TBitmap::Uncleared(done->Width(), done->Height(), TPixelFormat::pf24bit));
    for (int y = 0; y < b->Height(); ++y) std::memcpy(b->ScanLine(y), done->ScanLine(y), done->RowBytes());
    return b;
  });
  side.Name = "copy floor";
  return side;
}

const TPixels& Picture(const std::string& name, int size, int channels) {
  static const std::map<std::string, std::string> real = {
      {"texture", "/usr/share/assimp/models/glTF/CesiumMilkTruck/CesiumMilkTruck.png"},
      {"skin", "/usr/share/assimp/models/IQM/Body.jpg"},
      {"photo", "/usr/share/assimp/models/LWO/LWO2/MappingModes/earthSpherical.jpg"},
  };
  static std::map<std::tuple<std::string, int, int>, TPixels> cache;
  const auto file = real.find(name);
  if (file != real.end()) {
    if (channels != 3) throw std::runtime_error("the real pictures are RGB");
    size = 0;
  }
  TPixels& p = cache[{name, size, channels}];
  if (p.Data.empty())
    p = file != real.end() ? PictureFile(file->second)
        : name == "plasma" ? Plasma(size, channels)
                           : NoisyGradient(size, channels);
  return p;
}

namespace {

using TClock = std::chrono::steady_clock;

struct TOptions {
  std::regex Filter{""};
  int Reps = 0;
  std::vector<int> Sizes{256, 1024, 4096};
  std::string WriteFiles;
};

TOptions Parse(int argc, char** argv) {
  TOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--filter" && more) {
      o.Filter = std::regex(argv[++i]);
    } else if (a == "--reps" && more) {
      o.Reps = std::atoi(argv[++i]);
    } else if (a == "--write-files" && more) {
      o.WriteFiles = argv[++i];
    } else if (a == "--sizes" && more) {
      o.Sizes.clear();
      std::stringstream ss(argv[++i]);
      for (std::string s; std::getline(ss, s, ',');) o.Sizes.push_back(std::atoi(s.c_str()));
    } else {
      std::fprintf(stderr, "usage: %s [--filter REGEX] [--reps N] [--sizes 256,1024,4096] [--write-files DIR]\n",
                   argv[0]);
      std::exit(2);
    }
  }
  return o;
}

double Ms(TClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Where two decodes differ first, or "" when they agree.
std::string Difference(const TPixels& a, const TPixels& b) {
  if (a.Width != b.Width || a.Height != b.Height)
    return "size " + std::to_string(b.Width) + "x" + std::to_string(b.Height) + " against " + std::to_string(a.Width) +
           "x" + std::to_string(a.Height);
  const auto m = std::mismatch(a.Data.begin(), a.Data.end(), b.Data.begin());
  if (m.first == a.Data.end()) return "";
  const size_t at = static_cast<size_t>(m.first - a.Data.begin());
  const size_t pixel = at / static_cast<size_t>(a.Channels);
  char text[160];
  std::snprintf(text, sizeof text, "pixel (%zu, %zu) sample %zu: %d against ours %d", pixel % a.Width, pixel / a.Width,
                at % a.Channels, *m.second, *m.first);
  return text;
}

struct TRow {
  TSide* Side;
  long long Peak = 0;
  std::vector<double> Times, CpuTimes;
};

// The calling thread's processor time (its own and the kernel's on its behalf, page faults
// included): unlike the wall time it does not grow with what else a shared machine runs.
double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// One case: check, peak, then the interleaved repetitions. False when a peer's pixels differ.
bool RunCase(const std::string& title, TCase& c, int reps) {
  std::vector<TRow> rows;
  rows.push_back({&c.Ours, 0, {}, {}});
  for (TSide& p : c.Peers) rows.push_back({&p, 0, {}, {}});
  TPixels ours;
  bool same = true;
  double once = 0;
  std::vector<std::string> notes;
  for (size_t i = 0; i < rows.size();) {
    TRow& r = rows[i];
    std::shared_ptr<void> result;
    ResetAllocationPeak();
    const auto t0 = TClock::now();
    try {
      result = r.Side->Decode(c.File.data(), c.File.size());
    } catch (const std::exception& e) {
      notes.push_back(r.Side->Name + " failed: " + e.what());
      if (i == 0) {
        std::printf("%s\n  %s\n\n", title.c_str(), notes.back().c_str());
        return false;
      }
      rows.erase(rows.begin() + static_cast<long>(i));
      same = false;
      continue;
    }
    once += Ms(TClock::now() - t0);
    r.Peak = AllocationPeak();
    TPixels px = r.Side->Pixels(result, c.Channels);
    if (i == 0) {
      ours = std::move(px);
    } else if (const std::string d = Difference(ours, px); !d.empty()) {
      notes.push_back(r.Side->Name + "'s pixels differ from ours at " + d + "; not timed");
      rows.erase(rows.begin() + static_cast<long>(i));
      same = false;
      continue;
    }
    ++i;
  }
  if (reps <= 0) reps = std::clamp(static_cast<int>(2000.0 / std::max(once, 0.001)), 5, 51);
  for (int k = 0; k < reps; ++k)
    for (size_t j = 0; j < rows.size(); ++j) {
      // Each repetition starts with the next side, so no side always runs after the same one.
      TRow& r = rows[(j + static_cast<size_t>(k)) % rows.size()];
      const double c0 = ThreadCpuMs();
      const auto t0 = TClock::now();
      std::shared_ptr<void> result = r.Side->Decode(c.File.data(), c.File.size());
      const auto t1 = TClock::now();
      r.CpuTimes.push_back(ThreadCpuMs() - c0);
      r.Times.push_back(Ms(t1 - t0));
    }
  const double pixels = static_cast<double>(ours.Width) * ours.Height;
  const double mib = 1024.0 * 1024.0;
  const double bitmapBytes = pixels * c.Channels;
  std::printf(
      "%s  (file %.2f MiB, %dx%d x%d, %d repetitions; peak = heap bytes allocated, /bitmap = "
      "over %.1f MiB)\n",
      title.c_str(), static_cast<double>(c.File.size()) / mib, ours.Width, ours.Height, c.Channels, reps,
      bitmapBytes / mib);
  std::printf("  %-12s %10s %10s %9s %9s %10s %8s %9s %9s %9s\n", "side", "min ms", "median ms", "ours/min", "ours/med",
              "peak MiB", "/bitmap", "ns/pixel", "cpu ms", "ours/cpu");
  const double oursMin = *std::min_element(rows[0].Times.begin(), rows[0].Times.end());
  const double oursMed = Median(rows[0].Times);
  const double oursCpu = *std::min_element(rows[0].CpuTimes.begin(), rows[0].CpuTimes.end());
  for (const TRow& r : rows) {
    const double mn = *std::min_element(r.Times.begin(), r.Times.end()), md = Median(r.Times);
    const double cpu = *std::min_element(r.CpuTimes.begin(), r.CpuTimes.end());
    char ratioMin[16] = "", ratioMed[16] = "", ratioCpu[16] = "";
    if (&r != &rows[0]) {
      std::snprintf(ratioMin, sizeof ratioMin, "%.2f", oursMin / mn);
      std::snprintf(ratioMed, sizeof ratioMed, "%.2f", oursMed / md);
      std::snprintf(ratioCpu, sizeof ratioCpu, "%.2f", oursCpu / cpu);
    }
    std::printf("  %-12s %10.2f %10.2f %9s %9s %10.1f %8.2f %9.2f %9.3f %9s\n", r.Side->Name.c_str(), mn, md, ratioMin,
                ratioMed, static_cast<double>(r.Peak) / mib, static_cast<double>(r.Peak) / bitmapBytes,
                mn * 1e6 / pixels, cpu, ratioCpu);
  }
  for (const std::string& n : notes) std::printf("  %s\n", n.c_str());
  std::printf("\n");
  std::fflush(stdout);
  return same;
}

}  // namespace

int Main(int argc, char** argv, const std::vector<TMaker>& makers) {
  const TOptions o = Parse(argc, argv);
  // One core for every side: the one this process started on.
  const int cpu = sched_getcpu();
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu < 0 ? 0 : cpu, &set);
  const bool pinned = sched_setaffinity(0, sizeof set, &set) == 0;
  StartMagick();
  std::printf("in-process decoding, ours against the peer libraries; %s, ImageMagick threads %d\n\n",
              pinned ? ("pinned to cpu " + std::to_string(cpu)).c_str() : "not pinned", MagickThreads());
  int status = 0;
  // The generated pictures at every size, then the real ones at their own (size 0).
  std::vector<std::tuple<const TMaker*, std::string, int>> cases;
  for (int size : o.Sizes)
    for (const TMaker& m : makers)
      for (const std::string& picture : m.Pictures) cases.emplace_back(&m, picture, size);
  for (const TMaker& m : makers)
    for (const std::string& picture : m.RealPictures) cases.emplace_back(&m, picture, 0);
  for (const auto& [maker, picture, size] : cases) {
    const TMaker& m = *maker;
    const std::string title = m.Name + "/" + picture + "/" + (size ? std::to_string(size) : "real");
    if (!std::regex_search(title, o.Filter)) continue;
    TCase c;
    try {
      c = m.Make(size, picture);
    } catch (const std::exception& e) {
      std::printf("%s\n  cannot make the file: %s\n\n", title.c_str(), e.what());
      status = 1;
      continue;
    }
    if (!o.WriteFiles.empty()) {
      const std::string path = o.WriteFiles + "/" + m.Name + "-" + picture + "-" +
                               (size ? std::to_string(size) : "real") + "." + m.Extension;
      std::FILE* f = std::fopen(path.c_str(), "wb");
      const bool written = f && std::fwrite(c.File.data(), 1, c.File.size(), f) == c.File.size();
      if (f) std::fclose(f);
      std::printf("%s %s\n", written ? "wrote" : "cannot write", path.c_str());
      if (!written) status = 1;
      continue;
    }
    if (!RunCase(title, c, o.Reps)) status = 1;
  }
  StopMagick();
  return status;
}

}  // namespace peers
