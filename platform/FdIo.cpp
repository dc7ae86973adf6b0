#include "platform/FdIo.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/Exceptions.h"

size_t ReadFd(int fd, void* buffer, size_t count) {
  size_t done = 0;
  auto* p = static_cast<uint8_t*>(buffer);
  while (done < count) {
    ssize_t n = ::read(fd, p + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseInOutErrorFromErrno(errno);
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

size_t WriteFd(int fd, const void* buffer, size_t count) {
  // A file-size limit (ulimit -f) would otherwise kill the program in the middle of a save
  // without a word; ignored, the write fails with EFBIG and is reported like any other.
  static const bool fileSizeSignalIgnored = [] { return std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR; }();
  (void)fileSizeSignalIgnored;
  size_t done = 0;
  auto* p = static_cast<const uint8_t*>(buffer);
  while (done < count) {
    ssize_t n = ::write(fd, p + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseInOutErrorFromErrno(errno);
    }
    done += static_cast<size_t>(n);
  }
  return done;
}

int64_t SeekFd(int fd, int64_t offset, TSeekOrigin origin) {
  int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET : origin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(fd, static_cast<off_t>(offset), whence);
  if (r < 0) RaiseInOutErrorFromErrno(errno);
  return r;
}
