// Two saves of the same files at once: one save is held still by this process (its tracer)
// right at a rename while a second save of the same files runs from start to end.
#include <gtest/gtest.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>

#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "tests/support/Files.h"
#include "tests/support/Scratch.h"

namespace fs = std::filesystem;
using testsupport::ReadText;

namespace {

bool IsRename(uint64_t nr) {
#ifdef SYS_rename
  if (nr == SYS_rename) return true;
#endif
  return nr == SYS_renameat || nr == SYS_renameat2;
}

std::string Attempt(const std::function<void()>& save) {
  try {
    save();
    return "saved";
  } catch (const Exception& e) {
    return e.Message;
  }
}

// Runs first in a child that this process traces; when the child enters its rename-th rename
// call, second runs here, and then the child goes on. Returns the child's result, or an empty
// text with why when the child cannot be traced.
std::string HeldAtRename(int rename, const std::function<void()>& first, const std::function<void()>& second,
                         std::string& secondResult, std::string& untraceable) {
  int out[2];
  if (::pipe(out) != 0) return untraceable = "no pipe", "";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(out[0]);
    if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) ::_exit(2);
    ::raise(SIGSTOP);
    const std::string text = Attempt(first);
    ::_exit(::write(out[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
  }
  ::close(out[1]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFSTOPPED(status)) {
    ::close(out[0]);
    return untraceable = "this process may not trace its child (ptrace refused)", "";
  }
  ::ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  int renames = 0, signal = 0;
  for (;;) {
    ::ptrace(PTRACE_SYSCALL, pid, nullptr, signal);
    signal = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) break;
    if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
      signal = WSTOPSIG(status);
      continue;
    }
    __ptrace_syscall_info info{};
    ::ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info);
    if (info.op == PTRACE_SYSCALL_INFO_ENTRY && IsRename(info.entry.nr) && ++renames == rename) {
      secondResult = Attempt(second);
      ::ptrace(PTRACE_DETACH, pid, nullptr, 0);
      break;
    }
  }
  std::string text;
  char buf[512];
  for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  ::close(out[0]);
  ::waitpid(pid, &status, 0);
  if (renames < rename) return "the save made " + std::to_string(renames) + " renames: " + text;
  return text;
}

std::vector<std::string> HiddenFiles(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string()[0] == '.') names.push_back(e.path().filename().string());
  return names;
}

}  // namespace

TEST(SavesAtOnce, ASaveHeldAtItsRenameAndASecondSaveBothSucceed) {
  const testsupport::TScratchDir scratch("atonce");
  const struct {
    const char* Case;
    size_t Files;  // one file, or a package and its description
    int HeldAt;    // the rename the first save is held at
  } cases[] = {{"one file", 1, 1}, {"a pair, before its first rename", 2, 1}, {"a pair, between its renames", 2, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    const fs::path dir = scratch.Path() / std::to_string(&c - cases);
    const std::string names[2] = {(dir / "MySkins.utx").string(), (dir / "MySkins.int").string()};
    for (size_t i = 0; i < c.Files; ++i) testsupport::WriteBytes(names[i], "old");
    // Versions large enough that a file cut short shows.
    const std::string first(300000, 'a'), second(200000, 'b');
    auto save = [&](const std::string& bytes) {
      return [&, bytes] {
        std::vector<TFileContent> files;
        for (size_t i = 0; i < c.Files; ++i) files.push_back({names[i], bytes.data(), bytes.size()});
        if (c.Files == 1)
          WriteFileAtomically(names[0], bytes);
        else
          WriteFilesTogether(files);
      };
    };
    std::string secondResult, untraceable;
    const std::string firstResult = HeldAtRename(c.HeldAt, save(first), save(second), secondResult, untraceable);
    if (!untraceable.empty()) GTEST_SKIP() << untraceable;
    EXPECT_EQ(firstResult, "saved");
    EXPECT_EQ(secondResult, "saved");
    for (size_t i = 0; i < c.Files; ++i) {
      const std::string text = ReadText(names[i]);
      EXPECT_TRUE(text == first || text == second) << names[i] << " holds " << text.size() << " bytes";
    }
    EXPECT_EQ(HiddenFiles(dir), std::vector<std::string>{}) << "a temporary or backup file left";
  }
}
