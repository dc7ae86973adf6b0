#include "platform/Registry.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "platform/StrUtils.h"

namespace {

// "\a\\b\" -> "a\b": no leading, trailing or doubled backslashes; slashes are kept as they are
// part of a key's name in the registry.
std::string Normalise(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

std::string ValueName(const std::string& name) { return name.empty() ? "@" : name; }

// The store's reader trims values and strips one pair of surrounding quotes; a value that
// would be changed by that is written inside one more pair of quotes.
std::string Stored(const std::string& value) {
  if (value.empty()) return value;
  bool edgeBlank = static_cast<unsigned char>(value.front()) <= ' ' || static_cast<unsigned char>(value.back()) <= ' ';
  bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
  return edgeBlank || quoted ? "\"" + value + "\"" : value;
}

void EnsureFolder(const std::string& fileName) {
  std::filesystem::path dir = std::filesystem::path(fileName).parent_path();
  if (dir.empty()) return;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) throw EInOutError("Cannot create folder " + dir.string() + ": " + ec.message(), ec.value());
}

}  // namespace

std::string TRegistry::StoreFileName() {
  if (const char* f = std::getenv("CORVANE_REGISTRY"); f && *f) return f;
  // Each branch returns its own string: assigning a short literal to a string declared above
  // makes GCC 12 at -O3 report a false overlap.
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return std::string(x) + "/corvane/registry.ini";
  if (const char* h = std::getenv("HOME"); h && *h) return std::string(h) + "/.config/corvane/registry.ini";
  return "./corvane/registry.ini";
}

TRegistry::TRegistry() : FStore(std::make_unique<TIniFile>(StoreFileName())) {}

TRegistry::~TRegistry() = default;

std::string TRegistry::Absolute(const std::string& key) const {
  if (!key.empty() && key[0] == '\\') return Normalise(key);
  if (FOpen && !FCurrentPath.empty()) return Normalise(FCurrentPath + "\\" + key);
  return Normalise(key);
}

bool TRegistry::KeyExists(const std::string& key) const {
  std::string path = Absolute(key);
  if (path.empty()) return true;  // the root
  std::vector<std::string> sections;
  FStore->ReadSections(sections);
  for (const auto& s : sections) {
    std::string n = Normalise(s);
    if (SameText(n, path) || StartsText(path + "\\", n)) return true;
  }
  return false;
}

std::string TRegistry::SectionOf(const std::string& path) const {
  std::vector<std::string> sections;
  FStore->ReadSections(sections);
  for (const auto& s : sections)
    if (SameText(Normalise(s), path)) return s;
  return path;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  std::string path = Absolute(key);
  if (!KeyExists(path.empty() ? "\\" : "\\" + path)) {
    if (!canCreate) return false;
    EnsureFolder(FStore->FileName());
    FStore->AddSection(path);
  }
  FCurrentPath = path;
  FSection = SectionOf(path);
  FOpen = true;
  return true;
}

void TRegistry::CloseKey() {
  FOpen = false;
  FCurrentPath.clear();
  FSection.clear();
}

std::string TRegistry::ReadString(const std::string& name) const {
  if (!FOpen || FCurrentPath.empty()) return "";
  return FStore->ReadString(FSection, ValueName(name), "");
}

bool TRegistry::ValueExists(const std::string& name) const {
  return FOpen && !FCurrentPath.empty() && FStore->ValueExists(FSection, ValueName(name));
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  if (!FOpen || FCurrentPath.empty()) throw EConvertError("No registry key is open");
  EnsureFolder(FStore->FileName());
  FStore->WriteString(FSection, ValueName(name), Stored(value));
}
