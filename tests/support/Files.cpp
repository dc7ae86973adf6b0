#include "tests/support/Files.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testsupport {

namespace {
void Write(const std::filesystem::path& path, const char* data, size_t size) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(data, static_cast<std::streamsize>(size));
  f.close();
  if (!f) throw std::runtime_error("cannot write the test file " + path.string());
}
}  // namespace

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  Write(path, reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void WriteBytes(const std::filesystem::path& path, std::string_view bytes) { Write(path, bytes.data(), bytes.size()); }

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

}  // namespace testsupport
