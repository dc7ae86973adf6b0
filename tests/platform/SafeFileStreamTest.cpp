// Writing through a temporary file under faults: errors that say what happened to which file,
// files the user made read-only, killed saves and names near the file system's limit.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <climits>
#include <filesystem>
#include <functional>

#include "platform/Bitmap.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "tests/support/Files.h"
#include "tests/support/Scratch.h"

namespace fs = std::filesystem;
using testsupport::ReadText;

namespace {

// Runs f in a child process whose files may not grow beyond fileLimit bytes; returns the text f
// returned, or how the child died.
std::string InChild(rlim_t fileLimit, const std::function<std::string()>& f) {
  int out[2];
  if (::pipe(out) != 0) return "no pipe";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(out[0]);
    const rlimit limit{fileLimit, fileLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const std::string text = f();
    ssize_t written = ::write(out[1], text.data(), text.size());
    ::_exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
  }
  ::close(out[1]);
  std::string text;
  char buf[512];
  for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  return text;
}

std::vector<std::string> HiddenFiles(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string()[0] == '.') names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(InOutError, EachErrnoReadsAsItself) {
  const struct {
    int Errno;
    const char* Text;
  } cases[] = {
      {ENOENT, "File not found"},
      {EACCES, "File access denied"},
      {ENOSPC, "Disk full"},
      {EIO, "Input/output error"},              // shares its number with the platform's "access denied"
      {ENETDOWN, "Network is down"},            // ... with "read beyond end of file"
      {ENETUNREACH, "Network is unreachable"},  // ... with "disk full"
      {EISDIR, "Is a directory"},
      {EFBIG, "File too large"},
  };
  for (const auto& c : cases) {
    try {
      RaiseInOutErrorFromErrno(c.Errno);
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.Message, c.Text) << c.Errno;
    }
  }
}

TEST(SafeFileStream, WriteFaultsNameTheFileAndKeepTheOldOne) {
  const testsupport::TScratchDir scratch("writefaults");
  TBitmap picture(64, 64, TPixelFormat::pf24bit);  // 12 KB of pixels
  const std::string bytes(16384, 'x');
  const struct {
    const char* Name;
    std::function<void(const std::string&)> Write;
  } writers[] = {
      {"bytes", [&](const std::string& f) { WriteFileAtomically(f, bytes); }},
      {"bitmap", [&](const std::string& f) { picture.SaveToFile(f); }},
      {"memory",
       [&](const std::string& f) { TMemoryStream(std::vector<uint8_t>(bytes.begin(), bytes.end())).SaveToFile(f); }},
  };
  enum TFault { FileSizeLimit, FolderInItsPlace, ReadOnly };
  const struct {
    TFault Fault;
    const char* Reason;
  } faults[] = {{FileSizeLimit, "File too large"}, {FolderInItsPlace, "Is a directory"}, {ReadOnly, "read-only"}};
  for (const auto& w : writers) {
    for (const auto& f : faults) {
      const fs::path dir = scratch.Path() / (std::string(w.Name) + std::to_string(f.Fault));
      const std::string file = (dir / "texture.bmp").string();
      fs::create_directories(dir);
      if (f.Fault == FolderInItsPlace) {
        fs::create_directory(file);
      } else {
        testsupport::WriteBytes(file, "old");
        if (f.Fault == ReadOnly) fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
      }
      auto attempt = [&]() -> std::string {
        try {
          w.Write(file);
          return "written";
        } catch (const Exception& e) {
          return e.Message;
        }
      };
      const std::string message = f.Fault == FileSizeLimit ? InChild(4096, attempt) : attempt();
      SCOPED_TRACE(std::string(w.Name) + ": " + message);
      EXPECT_NE(message.find("\"" + file + "\""), std::string::npos);
      EXPECT_NE(message.find(f.Reason), std::string::npos);
      if (f.Fault != FolderInItsPlace) {
        EXPECT_EQ(ReadText(file), "old");
      }
      EXPECT_TRUE(HiddenFiles(dir).empty());
    }
  }
}

TEST(SafeFileStream, KilledSavesLeaveNothingForTheNextAndLongNamesFit) {
  const testsupport::TScratchDir scratch("leftovers");
  std::string accented;
  while (accented.size() + 2 <= NAME_MAX) accented += "\xC3\xA9";  // é: a cut must not split one
  const std::string names[] = {"p.cvp", std::string(NAME_MAX - 7, 'n'), std::string(NAME_MAX, 'n'), accented};
  for (const std::string& name : names) {
    SCOPED_TRACE(name.size());
    const fs::path dir = scratch.Path() / std::to_string(&name - names);
    fs::create_directories(dir);
    const std::string file = (dir / name).string();
    // Not this file's leftovers: another file's temporary and hidden files of the user's.
    testsupport::WriteBytes(dir / ".other.cvp.corvane-AbCd12", "other");
    testsupport::WriteBytes(dir / ".p.cvp.bak", "user");
    testsupport::WriteBytes(dir / ".p.cvp.backup", "user");
    const std::vector<std::string> unrelated = HiddenFiles(dir);
    // A save killed in the middle leaves its temporary file behind.
    EXPECT_EQ(InChild(RLIM_INFINITY,
                      [&]() -> std::string {
                        try {
                          TSafeFileStream s(file);
                          s.WriteString(std::string(100000, 'k'));
                          ::kill(::getpid(), SIGKILL);
                        } catch (const Exception& e) {
                          return e.Message;
                        }
                        return "alive";
                      }),
              "killed by signal 9");
    ASSERT_EQ(HiddenFiles(dir).size(), unrelated.size() + 1) << "no leftover to clear";
    // A save still running keeps its temporary file; the next save clears the killed one.
    TSafeFileStream running(file);
    running.WriteString("running");
    WriteFileAtomically(file, std::string("next"));
    EXPECT_EQ(ReadText(file), "next");
    EXPECT_EQ(HiddenFiles(dir).size(), unrelated.size() + 1);
    running.Commit();
    EXPECT_EQ(ReadText(file), "running");
    EXPECT_EQ(HiddenFiles(dir), unrelated);
  }
}
