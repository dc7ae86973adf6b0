#pragma once
// Test helpers: a private temporary folder and environment variables restored afterwards.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

class TTempFolder {
 public:
  explicit TTempFolder(const std::string& tag) {
    Path = std::filesystem::temp_directory_path() / ("corvane_" + tag + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(Path);
    std::filesystem::create_directories(Path);
  }
  ~TTempFolder() { std::filesystem::remove_all(Path); }
  std::string operator/(const std::string& rel) const { return (Path / rel).string(); }
  std::string Str() const { return Path.string(); }
  std::filesystem::path Path;
};

class TScopedEnv {
 public:
  TScopedEnv(const char* name, const char* value) : FName(name) {
    if (const char* v = std::getenv(name)) FOld = v;
    if (value) ::setenv(name, value, 1); else ::unsetenv(name);
  }
  ~TScopedEnv() {
    if (FOld) ::setenv(FName.c_str(), FOld->c_str(), 1); else ::unsetenv(FName.c_str());
  }

 private:
  std::string FName;
  std::optional<std::string> FOld;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
inline std::string ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}
