#include "platform/Exceptions.h"

#include <cerrno>

void RaiseInOutError(int errorCode) {
  switch (errorCode) {
    case 2: throw EInOutError("File not found", 2);
    case 3: throw EInOutError("Path not found", 3);
    case 5: throw EInOutError("File access denied", 5);
    case 100: throw EInOutError("Read beyond end of file", 100);
    case 101: throw EInOutError("Disk full", 101);
    default: throw EInOutError("I/O error " + std::to_string(errorCode), errorCode);
  }
}

void RaiseInOutErrorFromErrno(int err) {
  switch (err) {
    case ENOENT: RaiseInOutError(2);
    case ENOTDIR: RaiseInOutError(3);
    case EACCES:
    case EPERM:
    case EROFS: RaiseInOutError(5);
    case ENOSPC:
    case EDQUOT: RaiseInOutError(101);
    default: RaiseInOutError(err);
  }
}
