#include "tests/support/PeerTools.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace testsupport {

bool HavePeer(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

int RunPeer(const std::string& command) { return std::system(("(" + command + ") 2>/dev/null").c_str()); }

std::string RunCommand(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen((command + " 2>&1").c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

}  // namespace testsupport
