#pragma once
// A scratch folder of this fuzzer process for parsers that read files by name; removed when the
// fuzzer exits, so runs leave nothing behind in the temporary folder.
#include <unistd.h>

#include <filesystem>
#include <string>

inline std::filesystem::path FuzzScratchFolder(const std::string& name) {
  static struct TScratch {
    std::filesystem::path Dir;
    ~TScratch() {
      std::error_code ec;
      std::filesystem::remove_all(Dir, ec);
    }
  } scratch{std::filesystem::temp_directory_path() / ("corvane_fuzz_" + name + "_" + std::to_string(::getpid()))};
  std::filesystem::create_directories(scratch.Dir);
  return scratch.Dir;
}
