#include "platform/Exceptions.h"

#include <cerrno>
#include <cstring>

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

EInOutError InOutErrorFromErrno(int err) {
  switch (err) {
    case ENOENT: return EInOutError("File not found", 2);
    case ENOTDIR: return EInOutError("Path not found", 3);
    case EACCES:
    case EPERM: return EInOutError("File access denied", 5);
    // Every file on it is refused, whatever its own permissions say.
    case EROFS: return EInOutError("Read-only file system", 5);
    case ENOSPC:
    case EDQUOT: return EInOutError("Disk full", 101);
    default: break;
  }
  // The description, not strerror: the application sets the user's locale, and the program's
  // messages are English throughout.
  const char* text = ::strerrordesc_np(err);
  return EInOutError(text ? text : "I/O error " + std::to_string(err), err);
}

void RaiseInOutErrorFromErrno(int err) { throw InOutErrorFromErrno(err); }
