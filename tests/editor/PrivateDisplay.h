#pragma once
// An X server of the test's own: what a display holds for every program on it (the clipboard,
// the pointer, the focus) is then the test's alone, whatever other tests run beside it on the
// display they share. Xvfb picks a free display number itself (-displayfd).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

class TPrivateDisplay {
 public:
  // resets: the server resets when its last client leaves, as a plain X server does.
  explicit TPrivateDisplay(bool resets = false) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    // Everything the child needs is made before the fork: it only runs the server.
    const std::string fd = std::to_string(fds[1]);
    const char* noReset = resets ? nullptr : "-noreset";
    FPid = ::fork();
    if (FPid == 0) {
      ::close(fds[0]);
      ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", noReset,
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    // The server writes its display number and a newline once it accepts connections, and
    // nothing when it cannot start.
    std::string number;
    char c;
    while (FPid > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos) FName = ":" + number;
  }
  ~TPrivateDisplay() {
    if (FPid <= 0) return;
    ::kill(FPid, SIGTERM);
    ::waitpid(FPid, nullptr, 0);
  }
  TPrivateDisplay(const TPrivateDisplay&) = delete;
  TPrivateDisplay& operator=(const TPrivateDisplay&) = delete;

  // ":N", or empty when no server could be started.
  const std::string& Name() const { return FName; }

 private:
  pid_t FPid = -1;
  std::string FName;
};
