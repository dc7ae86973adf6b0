// The program started under a file-size limit (ulimit -f): the libraries write files of their
// own before the program writes any (the GL driver's shader cache when the 3D view first draws),
// and the limit's signal must not end the program there.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "tests/support/Scratch.h"

namespace {

// Starts the program in a forked child under the limit, until its 3D view has drawn (or given
// up) and it ends; returns the child's wait status.
int StartUnderLimit(const std::string& home, const std::string& cache, rlim_t limit) {
  // Made before the fork: the child only sets its limit and runs the program.
  std::vector<std::string> env = {"CORVANE_HOME=" + home, "CORVANE_REGISTRY=" + home + "/registry.ini",
                                  "CORVANE_QUIT_WHEN_SHOWN=1", "MESA_SHADER_CACHE_DIR=" + cache,
                                  "XDG_CACHE_HOME=" + cache};
  // The rest as it is, but for those set here and a shader cache turned off.
  const std::set<std::string> replaced = {
      "CORVANE_HOME",          "CORVANE_REGISTRY",          "CORVANE_QUIT_WHEN_SHOWN", "XDG_CACHE_HOME",
      "MESA_SHADER_CACHE_DIR", "MESA_SHADER_CACHE_DISABLE", "MESA_GLSL_CACHE_DISABLE"};
  for (char** e = environ; *e; ++e) {
    const std::string v = *e;
    if (!replaced.count(v.substr(0, v.find('=')))) env.push_back(v);
  }
  std::vector<char*> envp;
  for (std::string& v : env) envp.push_back(v.data());
  envp.push_back(nullptr);
  char program[] = CORVANE_PROGRAM;
  char* argv[] = {program, nullptr};
  const rlimit l{limit, limit};
  const int quiet = ::open("/dev/null", O_WRONLY);  // its "shown" and "drawn"
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(quiet, STDOUT_FILENO);
    ::setrlimit(RLIMIT_FSIZE, &l);
    ::execve(program, argv, envp.data());
    ::_exit(127);
  }
  ::close(quiet);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

}  // namespace

TEST(Startup, UnderAFileSizeLimitTheLibrariesWritesDoNotEndIt) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "the program needs an X display";
  testsupport::TScratchDir home("fsize-home"), cache("fsize-cache");
  // The driver makes its cache folder at the first start and its index file (larger than the
  // limit) at the second.
  for (int start = 1; start <= 2; ++start) {
    SCOPED_TRACE(start);
    const int status = StartUnderLimit(home.Path().string(), cache.Path().string(), 100000);
    ASSERT_FALSE(WIFSIGNALED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
}
