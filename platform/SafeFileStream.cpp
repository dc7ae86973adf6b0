// Writing through a temporary file and a rename, one file or several that belong together.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string_view>

#include "platform/Exceptions.h"
#include "platform/FdIo.h"
#include "platform/Streams.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kRandomChars = 6;  // what mkstemp puts in place of "XXXXXX"
constexpr char kMarker[] = ".corvane-";
constexpr char kRandomAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// The file a name stands for once symbolic links are followed: replacing the link itself would
// turn it into a plain file and leave its target stale. A dangling link gives its target's name
// (the file is created there); a loop gives up and keeps the last name.
std::string FollowLinks(const std::string& fileName) {
  fs::path p(fileName);
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++hops) {
    fs::path next = fs::read_symlink(p, ec);
    if (ec) break;
    p = next.is_absolute() ? next : p.parent_path() / next;
  }
  return p.string();
}

fs::path FolderOf(const std::string& fileName) {
  fs::path dir = fs::path(fileName).parent_path();
  return dir.empty() ? fs::path(".") : dir;
}

// "." + the file's name + the marker, the name cut so that the random characters still fit
// within the folder's name limit: a valid name close to the limit must still be saved. The cut
// falls on a character boundary, as some file systems refuse a name that is no valid UTF-8. The
// marker keeps a user's own hidden file (".skins.cvp.backup") from ever passing for a leftover.
std::string HiddenPrefix(const std::string& fileName) {
  long limit = ::pathconf(FolderOf(fileName).c_str(), _PC_NAME_MAX);
  if (limit < 16) limit = 255;
  const size_t room = static_cast<size_t>(limit) - 1 - (sizeof kMarker - 1) - kRandomChars;
  std::string name = fs::path(fileName).filename().string();
  if (name.size() > room) {
    size_t n = room;
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
    name.resize(n);
  }
  // Appended piece by piece: "." + name makes GCC 12 at -O3 report a false overlap.
  std::string prefix(1, '.');
  prefix += name;
  prefix += kMarker;
  return prefix;
}

bool IsRandomTail(const std::string& s, size_t from) {
  if (s.size() != from + kRandomChars) return false;
  for (size_t i = from; i < s.size(); ++i)
    if (std::string_view(kRandomAlphabet).find(s[i]) == std::string_view::npos) return false;
  return true;
}

// Removes the temporary and backup files of this target that a killed save left behind. A
// stream still writing one keeps it locked, in this process or another, and it stays.
void RemoveLeftovers(const fs::path& dir, const std::string& prefix) {
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.compare(0, prefix.size(), prefix) != 0 || !IsRandomTail(name, prefix.size())) continue;
    const int fd = ::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlink(it->path().c_str());
    ::close(fd);
  }
}

// Writing a file the user made read-only is refused, as writing it in place would be; the
// rename alone would replace it regardless. Root may write anything, so for root a file
// without any write permission counts as read-only.
bool IsReadOnly(const std::string& fileName, const struct stat& st) {
  return S_ISREG(st.st_mode) &&
         ((st.st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, fileName.c_str(), W_OK, AT_EACCESS) != 0);
}

[[noreturn]] void RaiseNamed(const std::string& fileName, const EInOutError& e) {
  // Name the file the user knows, not the hidden temporary one.
  throw EInOutError("Cannot write \"" + fileName + "\": " + e.Message, e.ErrorCode);
}

}  // namespace

TSafeFileStream::TSafeFileStream(const std::string& fileName) : FShownName(fileName), FFileName(FollowLinks(fileName)) {
  struct stat st {};
  const bool exists = ::stat(FFileName.c_str(), &st) == 0;
  if (exists && IsReadOnly(FFileName, st))
    throw EFCreateError("Cannot write \"" + fileName + "\": the file is read-only");
  const std::string prefix = HiddenPrefix(FFileName);
  const fs::path dir = FolderOf(FFileName);
  RemoveLeftovers(dir, prefix);
  std::string tmpl = (dir / (prefix + "XXXXXX")).string();
  FHandle = ::mkstemp(tmpl.data());
  if (FHandle < 0) {
    // Creating a new name can miss only its folder.
    const int err = errno == ENOENT ? ENOTDIR : errno;
    throw EFCreateError("Cannot create file \"" + fileName + "\". " + InOutErrorFromErrno(err).Message);
  }
  FTempName = tmpl;
  ::flock(FHandle, LOCK_EX);
  // Keep the permissions of the file being replaced; a new file gets the usual 0666 & ~umask.
  if (exists) {
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

size_t TSafeFileStream::Read(void* buffer, size_t count) {
  try {
    return ReadFd(FHandle, buffer, count);
  } catch (const EInOutError& e) {
    RaiseNamed(FShownName, e);
  }
}

size_t TSafeFileStream::Write(const void* buffer, size_t count) {
  try {
    return WriteFd(FHandle, buffer, count);
  } catch (const EInOutError& e) {
    RaiseNamed(FShownName, e);
  }
}

int64_t TSafeFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  try {
    return SeekFd(FHandle, offset, origin);
  } catch (const EInOutError& e) {
    RaiseNamed(FShownName, e);
  }
}

void TSafeFileStream::Finish() {
  if (FHandle < 0) return;
  if (::fsync(FHandle) != 0) RaiseNamed(FShownName, InOutErrorFromErrno(errno));
  const int fd = FHandle;
  FHandle = -1;
  if (::close(fd) != 0) RaiseNamed(FShownName, InOutErrorFromErrno(errno));
}

void TSafeFileStream::Commit() {
  if (FCommitted) return;
  Finish();
  if (::rename(FTempName.c_str(), FFileName.c_str()) != 0) RaiseNamed(FShownName, InOutErrorFromErrno(errno));
  FCommitted = true;
}

void WriteFileAtomically(const std::string& fileName, const void* data, size_t size) {
  TSafeFileStream s(fileName);
  s.WriteBuffer(data, size);
  s.Commit();
}

// ---- several files as one

namespace {

// A replaced file kept aside until its partners are in place too.
struct TBackup {
  std::string Target, Name;  // Name is empty when there was no file to keep
  bool Moved = false;        // the file itself was moved aside (no hard links on its file system)
  bool Replaced = false;     // the new file is in place
};

std::string RandomTail() {
  static std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, sizeof kRandomAlphabet - 2);
  std::string tail(kRandomChars, ' ');
  for (char& c : tail) c = kRandomAlphabet[pick(generator)];
  return tail;
}

// A second name for the file about to be replaced, under the name of its leftovers, so that a
// killed save leaves nothing that the next save does not remove.
TBackup KeepBackup(const std::string& target, const std::string& shownName) {
  TBackup b{target, {}, false, false};
  struct stat st {};
  if (::lstat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return b;  // nothing a rename would replace
  const fs::path dir = FolderOf(target);
  const std::string prefix = HiddenPrefix(target);
  for (int tries = 0; tries < 100; ++tries) {
    b.Name = (dir / (prefix + RandomTail())).string();
    if (::link(target.c_str(), b.Name.c_str()) == 0) return b;
    if (errno == EEXIST) continue;
    b.Moved = ::renameat2(AT_FDCWD, target.c_str(), AT_FDCWD, b.Name.c_str(), RENAME_NOREPLACE) == 0;
    if (b.Moved) return b;
    if (errno != EEXIST) break;
  }
  RaiseNamed(shownName, InOutErrorFromErrno(errno));
}

// Puts the old file back; returns what went wrong, or an empty text.
std::string PutBack(const TBackup& b) {
  int failed = 0;
  if (!b.Name.empty() && (b.Moved || b.Replaced)) {
    if (::rename(b.Name.c_str(), b.Target.c_str()) != 0) failed = errno;
  } else if (!b.Name.empty()) {
    ::unlink(b.Name.c_str());
  } else if (b.Replaced && ::unlink(b.Target.c_str()) != 0) {
    failed = errno;
  }
  if (!failed) return {};
  std::string why =
      " \"" + b.Target + "\" could not be put back as it was (" + InOutErrorFromErrno(failed).Message + ")";
  if (!b.Name.empty()) why += "; the previous file is kept as \"" + b.Name + "\"";
  return why + ".";
}

}  // namespace

void WriteFilesTogether(const std::vector<TFileContent>& files) {
  // Every stream is opened before any is written: opening removes the unlocked leftovers of its
  // name, and two long names may be cut to the same hidden prefix.
  std::vector<std::unique_ptr<TSafeFileStream>> streams;
  for (const TFileContent& f : files) streams.push_back(std::make_unique<TSafeFileStream>(f.FileName));
  for (size_t i = 0; i < files.size(); ++i) {
    streams[i]->WriteBuffer(files[i].Data, files[i].Size);
    streams[i]->Finish();
  }
  std::vector<TBackup> backups;
  try {
    for (size_t i = 0; i < files.size(); ++i) {
      backups.push_back(KeepBackup(streams[i]->FileName(), files[i].FileName));
      streams[i]->Commit();
      backups.back().Replaced = true;
    }
  } catch (const EInOutError& e) {
    std::string notRestored;
    for (auto b = backups.rbegin(); b != backups.rend(); ++b) notRestored += PutBack(*b);
    if (notRestored.empty()) throw;
    throw EInOutError(e.Message + notRestored, e.ErrorCode);
  }
  for (const TBackup& b : backups)
    if (!b.Name.empty()) ::unlink(b.Name.c_str());
}
