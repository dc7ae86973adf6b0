#pragma once
// The exception classes the program raises. Messages are shown to the user as they stand.
#include <exception>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  std::string Message;
};

#define CORVANE_EXCEPTION(Name, Base) \
  class Name : public Base {          \
   public:                            \
    using Base::Base;                 \
  };

CORVANE_EXCEPTION(EConvertError, Exception)
CORVANE_EXCEPTION(EReadError, Exception)
CORVANE_EXCEPTION(EWriteError, Exception)
CORVANE_EXCEPTION(EFOpenError, Exception)
CORVANE_EXCEPTION(EFCreateError, Exception)
CORVANE_EXCEPTION(EInvalidGraphic, Exception)
CORVANE_EXCEPTION(EInvalidGraphicOperation, Exception)
CORVANE_EXCEPTION(EInvalidCast, Exception)
CORVANE_EXCEPTION(EInvalidOperation, Exception)
CORVANE_EXCEPTION(EListError, Exception)
CORVANE_EXCEPTION(EStringListError, Exception)
CORVANE_EXCEPTION(EAssertionFailed, Exception)
CORVANE_EXCEPTION(EOutOfResources, Exception)
CORVANE_EXCEPTION(EOutOfMemory, Exception)
CORVANE_EXCEPTION(EOSError, Exception)
CORVANE_EXCEPTION(EAbort, Exception)
CORVANE_EXCEPTION(EOpenGLError, Exception)

// Runs f; an exception comes out with the routine's name in front of its message (the
// routine's name ends with ": ").
template <typename F>
void Prefixed(const char* routine, F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    throw Exception(std::string(routine) + e.what());
  }
}

// File input/output errors carry the error code of the failed operation.
class EInOutError : public Exception {
 public:
  explicit EInOutError(std::string message, int errorCode = 0) : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

// Standard input/output messages: "File not found", "File access denied", "Disk full",
// "Read beyond end of file", or "I/O error %d".
[[noreturn]] void RaiseInOutError(int errorCode);
// The input/output error for the errno of a failed file operation. Missing files and folders,
// refused access and a full disk carry the platform's codes and texts above; every other errno
// keeps its own code and the system's English text for it ("Input/output error", "File too
// large", "Is a directory"), never a platform text that merely shares its number.
EInOutError InOutErrorFromErrno(int err);
[[noreturn]] void RaiseInOutErrorFromErrno(int err);
