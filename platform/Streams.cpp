#include "platform/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Exceptions.h"
#include "platform/FdIo.h"
#include "platform/ScopeGuard.h"

int64_t TStream::Size() {
  int64_t pos = Seek(0, TSeekOrigin::soCurrent);
  int64_t end = Seek(0, TSeekOrigin::soEnd);
  Seek(pos, TSeekOrigin::soBeginning);
  return end;
}

void TStream::ReadBuffer(void* buffer, size_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, size_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<uint8_t> buf(64 * 1024);
  int64_t left = count;
  while (left > 0) {
    size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(buf.size())));
    source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    left -= static_cast<int64_t>(n);
  }
  return count;
}

void TStream::WriteU16(uint16_t v) {
  uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
  WriteBuffer(b, 2);
}

void TStream::WriteU32(uint32_t v) {
  uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                  static_cast<uint8_t>(v >> 24)};
  WriteBuffer(b, 4);
}

void TStream::WriteF32(float v) {
  uint32_t u;
  std::memcpy(&u, &v, 4);
  WriteU32(u);
}

TFileStream::TFileStream(const std::string& fileName, unsigned mode) : FFileName(fileName) {
  int flags;
  if (mode == fmCreate)
    flags = O_RDWR | O_CREAT | O_TRUNC;
  else if ((mode & 3) == fmOpenWrite)
    flags = O_WRONLY;
  else if ((mode & 3) == fmOpenReadWrite)
    flags = O_RDWR;
  else
    flags = O_RDONLY;
  FHandle = ::open(fileName.c_str(), flags | O_CLOEXEC, 0666);
  if (FHandle < 0) {
    std::string why = std::strerror(errno);
    if (mode == fmCreate) throw EFCreateError("Cannot create file \"" + fileName + "\". " + why);
    throw EFOpenError("Cannot open file \"" + fileName + "\". " + why);
  }
  struct stat st {};
  if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(FHandle);
    FHandle = -1;
    throw EFOpenError("Cannot open file \"" + fileName + "\". Is a directory");
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

size_t TFileStream::Read(void* buffer, size_t count) { return ReadFd(FHandle, buffer, count); }
size_t TFileStream::Write(const void* buffer, size_t count) { return WriteFd(FHandle, buffer, count); }
int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) { return SeekFd(FHandle, offset, origin); }

size_t TMemoryStream::Read(void* buffer, size_t count) {
  size_t n = FPos >= FData.size() ? 0 : std::min(count, FData.size() - FPos);
  if (n) std::memcpy(buffer, FData.data() + FPos, n);
  FPos += n;
  return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return 0;
  if (FPos + count > FData.size()) FData.resize(FPos + count);
  std::memcpy(FData.data() + FPos, buffer, count);
  FPos += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::soBeginning ? 0
                 : origin == TSeekOrigin::soCurrent ? static_cast<int64_t>(FPos)
                                                    : static_cast<int64_t>(FData.size());
  int64_t p = base + offset;
  if (p < 0) p = 0;
  FPos = static_cast<size_t>(p);
  return p;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  FData = ReadWholeFile(fileName);
  FPos = 0;
}

void TMemoryStream::LoadFromStream(TStream& s) {
  s.SetPosition(0);
  int64_t n = s.Size();
  FData.resize(static_cast<size_t>(n));
  s.ReadBuffer(FData.data(), FData.size());
  FPos = 0;
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
  WriteFileAtomically(fileName, FData.data(), FData.size());
}

std::vector<uint8_t> ReadWholeFile(const std::string& fileName) {
  int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) RaiseInOutErrorFromErrno(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    RaiseInOutErrorFromErrno(err);
  }
  std::vector<uint8_t> data;
  {
    TScopeGuard close([fd] { ::close(fd); });
    data.resize(static_cast<size_t>(st.st_size));
    size_t n = ReadFd(fd, data.data(), data.size());
    data.resize(n);
  }
  return data;
}
