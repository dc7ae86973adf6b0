#include "platform/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/Exceptions.h"
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

namespace {

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

}  // namespace

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

namespace {
// The file a name stands for once symbolic links are followed: replacing the link itself would
// turn it into a plain file and leave its target stale. A dangling link gives its target's name
// (the file is created there); a loop gives up and keeps the last name.
std::string FollowLinks(const std::string& fileName) {
  std::filesystem::path p(fileName);
  std::error_code ec;
  for (int hops = 0; hops < 40 && std::filesystem::is_symlink(std::filesystem::symlink_status(p, ec)); ++hops) {
    std::filesystem::path next = std::filesystem::read_symlink(p, ec);
    if (ec) break;
    p = next.is_absolute() ? next : p.parent_path() / next;
  }
  return p.string();
}
}  // namespace

TSafeFileStream::TSafeFileStream(const std::string& fileName) : FFileName(FollowLinks(fileName)) {
  std::filesystem::path target(FFileName);
  std::filesystem::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  // Appended piece by piece: "." + name makes GCC 12 at -O3 report a false overlap.
  std::string hidden(1, '.');
  hidden += target.filename().string();
  hidden += ".XXXXXX";
  std::string tmpl = (dir / hidden).string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  FHandle = ::mkstemp(buf.data());
  if (FHandle < 0) throw EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
  FTempName = buf.data();
  // Keep the permissions of the file being replaced; a new file gets the usual 0666 & ~umask.
  struct stat st {};
  if (::stat(fileName.c_str(), &st) == 0) {
    ::fchmod(FHandle, st.st_mode & 07777);
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(FHandle, 0666 & ~mask);
  }
}

TSafeFileStream::~TSafeFileStream() {
  if (FHandle >= 0) ::close(FHandle);
  if (!FCommitted && !FTempName.empty()) ::unlink(FTempName.c_str());
}

size_t TSafeFileStream::Read(void* buffer, size_t count) { return ReadFd(FHandle, buffer, count); }
size_t TSafeFileStream::Write(const void* buffer, size_t count) { return WriteFd(FHandle, buffer, count); }
int64_t TSafeFileStream::Seek(int64_t offset, TSeekOrigin origin) { return SeekFd(FHandle, offset, origin); }

void TSafeFileStream::Commit() {
  if (FCommitted) return;
  if (::fsync(FHandle) != 0) RaiseInOutErrorFromErrno(errno);
  int fd = FHandle;
  FHandle = -1;
  if (::close(fd) != 0) RaiseInOutErrorFromErrno(errno);
  if (::rename(FTempName.c_str(), FFileName.c_str()) != 0) RaiseInOutErrorFromErrno(errno);
  FCommitted = true;
}

std::vector<uint8_t> ReadWholeFile(const std::string& fileName) {
  int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) RaiseInOutErrorFromErrno(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    RaiseInOutError(5);
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

void WriteFileAtomically(const std::string& fileName, const void* data, size_t size) {
  TSafeFileStream s(fileName);
  try {
    s.WriteBuffer(data, size);
    s.Commit();
  } catch (const EInOutError& e) {
    // Name the file the user knows, not the hidden temporary one.
    throw EInOutError("Cannot write \"" + fileName + "\": " + e.Message, e.ErrorCode);
  }
}
