#pragma once
// The outside tools some tests compare with (scripts/install-deps installs them). They are
// called by absolute path: another program of the same name may come first on PATH.
#include <gtest/gtest.h>

#include <string>

namespace testsupport {

inline constexpr const char* kConvert = "/usr/bin/convert";

// True when the tool is there and may be run.
bool HavePeer(const std::string& path);
// Runs a shell command; its exit status (as std::system gives it), standard error discarded.
int RunPeer(const std::string& command);
// Runs a shell command; what it printed on standard output and standard error.
std::string RunCommand(const std::string& command);

}  // namespace testsupport

// Skips the running test, saying which tool is missing, when the peer cannot be run.
#define SKIP_WITHOUT_PEER(path)                                                                         \
  do {                                                                                                  \
    if (!::testsupport::HavePeer(path))                                                                 \
      GTEST_SKIP() << (path) << " is missing: the comparison with it cannot run (scripts/install-deps " \
                   << "installs it)";                                                                   \
  } while (0)
