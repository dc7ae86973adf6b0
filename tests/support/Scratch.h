#pragma once
// Scratch folders for tests, under the system's temporary folder and named after this program,
// so that a run leaves nothing behind and two suites running at once never share a folder.
#include <filesystem>
#include <string>

namespace testsupport {

// A new empty folder of its own, removed with everything in it when the object goes.
class TScratchDir {
 public:
  explicit TScratchDir(const std::string& tag = "test");
  ~TScratchDir();
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  std::string Str() const { return FPath.string(); }
  // The folder with a trailing '/', as the program's own folder names are kept.
  std::string Folder() const { return FPath.string() + "/"; }
  std::string operator/(const std::string& relative) const { return (FPath / relative).string(); }

 private:
  std::filesystem::path FPath;
};

// A fresh empty folder `name` inside one scratch folder kept for the whole test process and
// removed when it ends: for fixtures that outlive a single test.
std::filesystem::path ProcessScratchDir(const std::string& name);

}  // namespace testsupport
