#include "tests/support/Scratch.h"

#include <stdlib.h>

#include <cerrno>
#include <system_error>

namespace testsupport {

TScratchDir::TScratchDir(const std::string& tag) {
  std::string pattern = (std::filesystem::temp_directory_path() / ("corvane-" + tag + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
  FPath = pattern;
}

TScratchDir::~TScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

std::filesystem::path ProcessScratchDir(const std::string& name) {
  // Destroyed when the process ends normally, taking every sub-folder with it.
  static const TScratchDir root("suite");
  const std::filesystem::path dir = root.Path() / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace testsupport
