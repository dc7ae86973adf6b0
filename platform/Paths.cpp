#include "platform/Paths.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/Exceptions.h"
#include "platform/StrUtils.h"

namespace fs = std::filesystem;

std::string ProgramFileName() {
  if (const char* home = std::getenv("CORVANE_HOME"); home && *home)
    return IncludeTrailingPathDelimiter(home) + "corvane";
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return "corvane";
  return exe.string();
}

std::string ProgramFolder() {
  if (const char* home = std::getenv("CORVANE_HOME"); home && *home) return IncludeTrailingPathDelimiter(home);
  return ExtractFilePath(ProgramFileName());
}

namespace {
std::string WinePrefix() {
  if (const char* p = std::getenv("WINEPREFIX"); p && *p) return p;
  const char* h = std::getenv("HOME");
  return std::string(h && *h ? h : "") + "/.wine";
}
}  // namespace

std::string ToNativePath(const std::string& path) {
  std::string p = path;
  std::replace(p.begin(), p.end(), '\\', '/');
  bool drive = p.size() >= 2 && p[1] == ':' && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
  if (!drive) return p;
  std::string letter(1, static_cast<char>(p[0] | 0x20));
  fs::path link = fs::path(WinePrefix()) / "dosdevices" / (letter + ":");
  std::string root;
  std::error_code ec;
  fs::path target = fs::canonical(link, ec);
  if (!ec) {
    root = target.string();
  } else if (letter == "c") {
    // No prefix made yet: the drive's usual place.
    root = WinePrefix() + "/drive_c";
  } else {
    root = link.string();
  }
  std::string rest = p.substr(2);
  while (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
  if (rest.empty()) return root;
  return IncludeTrailingPathDelimiter(root) + rest;
}

std::string ResolveCaseInsensitive(const std::string& path) {
  std::error_code ec;
  if (path.empty() || fs::exists(fs::symlink_status(path, ec))) return path;
  fs::path p(path);
  fs::path cur = p.root_path();
  bool first = true;
  for (const fs::path& part : p.relative_path()) {
    std::string name = part.string();
    fs::path exact = first && cur.empty() ? fs::path(name) : cur / name;
    first = false;
    if (name == "." || name == ".." || fs::exists(fs::symlink_status(exact, ec))) {
      cur = exact;
      continue;
    }
    fs::path dir = cur.empty() ? fs::path(".") : cur;
    std::vector<std::string> matches;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      std::string n = it->path().filename().string();
      if (SameText(n, name)) matches.push_back(n);
    }
    if (matches.empty()) return path;
    std::sort(matches.begin(), matches.end());
    cur = cur.empty() ? fs::path(matches.front()) : cur / matches.front();
  }
  // Keep a trailing separator the caller gave.
  std::string r = cur.string();
  if (!path.empty() && path.back() == '/' && (r.empty() || r.back() != '/')) r += '/';
  return r;
}

bool MatchesMask(const std::string& name, const std::string& mask) {
  // Iterative wildcard match with backtracking over the last '*'.
  size_t n = 0, m = 0, starM = std::string::npos, starN = 0;
  auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
  auto same = [&](char a, char b) { return up(a) == up(b); };
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || (mask[m] != '*' && same(mask[m], name[n])))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (starM != std::string::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

std::vector<std::string> ListFiles(const std::string& folder, const std::string& mask) {
  std::vector<std::string> names;
  std::error_code ec;
  std::string dir = folder.empty() ? "." : ToNativePath(folder);
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code fe;
    if (!it->is_regular_file(fe)) continue;
    std::string n = it->path().filename().string();
    if (MatchesMask(n, mask)) names.push_back(n);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    int c = CompareText(a, b);
    return c != 0 ? c < 0 : a < b;
  });
  return names;
}

bool IsPathDelimiter(char c) { return c == '/' || c == '\\'; }

namespace {
size_t LastDelimiter(const std::string& s) { return s.find_last_of("/\\"); }
}  // namespace

std::string ExtractFilePath(const std::string& fileName) {
  size_t p = LastDelimiter(fileName);
  return p == std::string::npos ? std::string() : fileName.substr(0, p + 1);
}

std::string ExtractFileName(const std::string& fileName) {
  size_t p = LastDelimiter(fileName);
  return p == std::string::npos ? fileName : fileName.substr(p + 1);
}

std::string ExtractFileExt(const std::string& fileName) {
  size_t d = fileName.find_last_of("./\\");
  if (d == std::string::npos || fileName[d] != '.') return "";
  return fileName.substr(d);
}

std::string ChangeFileExt(const std::string& fileName, const std::string& ext) {
  size_t d = fileName.find_last_of("./\\");
  if (d == std::string::npos || fileName[d] != '.') return fileName + ext;
  return fileName.substr(0, d) + ext;
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
  if (!path.empty() && IsPathDelimiter(path.back())) return path;
  return path + "/";
}

bool FileExists(const std::string& fileName) {
  std::error_code ec;
  return !fileName.empty() && fs::is_regular_file(fileName, ec);
}

bool DirectoryExists(const std::string& folder) {
  std::error_code ec;
  return !folder.empty() && fs::is_directory(folder, ec);
}

void ForceDirectories(const std::string& folder) {
  if (folder.empty()) return;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec || !DirectoryExists(folder))
    throw EInOutError("Cannot create folder " + folder + ": " + ec.message(), ec.value());
}
