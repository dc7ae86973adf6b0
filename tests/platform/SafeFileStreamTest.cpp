// Writing through a temporary file under faults: errors that say what happened to which file,
// files the user made read-only, killed saves and names near the file system's limit.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

// Root writes into any folder; without these capabilities the permission bits hold for root too.
bool DropFilePermissionOverride() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
  if (::syscall(SYS_capget, &header, data) != 0) return false;
  for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
    data[cap / 32].effective &= ~(1u << (cap % 32));
    data[cap / 32].permitted &= ~(1u << (cap % 32));  // access() checks root against these
  }
  return ::syscall(SYS_capset, &header, data) == 0;
}

// In a mount namespace of this process's own, mounts a small file system on dir, lets fill
// write into it and makes it read-only; false with why when mounting is not allowed here.
bool MountReadOnly(const fs::path& dir, const std::function<void()>& fill, std::string& why) {
  if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") != 0) {
    why = std::string("cannot mount a file system here (") + std::strerror(errno) + "): needs CAP_SYS_ADMIN";
    return false;
  }
  fill();
  if (::mount("tmpfs", dir.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
    why = std::string("cannot remount read-only (") + std::strerror(errno) + ")";
    return false;
  }
  return true;
}

}  // namespace

TEST(InOutError, EachErrnoReadsAsItself) {
  const struct {
    int Errno;
    const char* Text;
  } cases[] = {
      {ENOENT, "File not found"},
      {EACCES, "File access denied"},
      {EROFS, "Read-only file system"},
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

TEST(SafeFileStream, AFileThatCannotBeReplacedSaysWhy) {
  const testsupport::TScratchDir scratch("unwritable");
  const struct {
    bool ReadOnlyFileSystem;  // else a folder where no new file can be made
    bool Exists;              // a writable file, or a new one
    const char* Message;      // %F the file, %D its folder
  } cases[] = {
      {true, true, "Cannot write \"%F\": Read-only file system"},
      {true, false, "Cannot create file \"%F\". Read-only file system"},
      {false, true, "Cannot write \"%F\": the folder \"%D\" is not writable"},
      {false, false, "Cannot create file \"%F\". The folder \"%D\" is not writable"},
  };
  std::string skipped;
  for (const auto& c : cases) {
    const fs::path dir = scratch.Path() / std::to_string(&c - cases);
    fs::create_directories(dir);
    const std::string file = (dir / "p.cvp").string();
    auto makeOld = [&] {
      if (c.Exists) testsupport::WriteBytes(file, "old");
    };
    const std::string message = InChild(RLIM_INFINITY, [&]() -> std::string {
      std::string why;
      if (c.ReadOnlyFileSystem) {
        if (!MountReadOnly(dir, makeOld, why)) return "skip: " + why;
      } else {
        makeOld();
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
        if (!DropFilePermissionOverride() || ::access(dir.c_str(), W_OK) == 0)
          return "skip: this process writes into a folder without write permission";
      }
      try {
        WriteFileAtomically(file, std::string("new"));
        return "written";
      } catch (const Exception& e) {
        return e.Message;
      }
    });
    fs::permissions(dir, fs::perms::owner_all);
    if (message.rfind("skip: ", 0) == 0) {
      skipped += std::string(c.ReadOnlyFileSystem ? "read-only file system: " : "folder: ") + message.substr(6) + "; ";
      continue;
    }
    std::string expected = c.Message;
    expected.replace(expected.find("%F"), 2, file);
    if (expected.find("%D") != std::string::npos) expected.replace(expected.find("%D"), 2, dir.string());
    EXPECT_EQ(message, expected);
  }
  if (!skipped.empty()) GTEST_SKIP() << "cases not run: " << skipped;
}
