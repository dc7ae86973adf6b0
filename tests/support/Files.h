#pragma once
// Whole-file reads and writes for test fixtures. A failure to write fails the test at once: a
// fixture that is not there makes every later check meaningless. Writing creates the folders
// the path names.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);
// Empty when the file cannot be read.
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
std::string ReadText(const std::filesystem::path& path);

}  // namespace testsupport
