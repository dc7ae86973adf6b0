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
#include "platform/ScopeGuard.h"
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

// Every temporary and backup file is locked (a shared flock on an open descriptor) from its
// creation until it is renamed or removed; the sweep below removes only files it can lock
// alone. flock rather than a POSIX record lock: it belongs to the open file description, so it
// survives the rename and closing another descriptor of the file in this process does not drop
// it; two saves in one process hold separate locks; and the sweep can test it on a descriptor
// opened for reading only.
void Hold(int fd) { ::flock(fd, LOCK_SH); }

// Creating a hidden file and locking it are two steps, and a sweep must not fall between them:
// creators share the folder's own lock while they do it, and a sweep needs it alone. A folder
// that cannot be locked is not swept.
class TFolderLock {
 public:
  TFolderLock(const fs::path& dir, int operation)
      : FHandle(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
        FHeld(FHandle >= 0 && ::flock(FHandle, operation) == 0) {}
  ~TFolderLock() {
    if (FHandle >= 0) ::close(FHandle);
  }
  TFolderLock(const TFolderLock&) = delete;
  TFolderLock& operator=(const TFolderLock&) = delete;
  bool Held() const { return FHeld; }

 private:
  int FHandle;
  bool FHeld;
};

// Removes the temporary and backup files of this target that a killed save left behind. The
// sweep waits for no one: while another save creates a file in the folder it is left for the
// next save.
void RemoveLeftovers(const fs::path& dir, const std::string& prefix) {
  const TFolderLock alone(dir, LOCK_EX | LOCK_NB);
  if (!alone.Held()) return;
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

// Why the file cannot be replaced, or an empty text. Writing a file the user made read-only is
// refused, as writing it in place would be; the rename alone would replace it regardless. Root
// may write anything, so for root a file without any write permission counts as read-only.
std::string Unwritable(const std::string& fileName, const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return {};
  if (::faccessat(AT_FDCWD, fileName.c_str(), W_OK, AT_EACCESS) != 0)
    return errno == EROFS ? InOutErrorFromErrno(EROFS).Message : "the file is read-only";
  return (st.st_mode & 0222) == 0 ? "the file is read-only" : "";
}

[[noreturn]] void RaiseNamed(const std::string& fileName, const EInOutError& e) {
  // Name the file the user knows, not the hidden temporary one.
  throw EInOutError("Cannot write \"" + fileName + "\": " + e.Message, e.ErrorCode);
}

}  // namespace

TSafeFileStream::TSafeFileStream(const std::string& fileName) : FShownName(fileName), FFileName(FollowLinks(fileName)) {
  struct stat st {};
  const bool exists = ::stat(FFileName.c_str(), &st) == 0;
  if (const std::string why = exists ? Unwritable(FFileName, st) : ""; !why.empty())
    throw EFCreateError("Cannot write \"" + fileName + "\": " + why);
  const std::string prefix = HiddenPrefix(FFileName);
  const fs::path dir = FolderOf(FFileName);
  RemoveLeftovers(dir, prefix);
  std::string tmpl = (dir / (prefix + "XXXXXX")).string();
  int createError = 0;
  {
    const TFolderLock creating(dir, LOCK_SH);
    FHandle = ::mkstemp(tmpl.data());
    if (FHandle >= 0)
      Hold(FHandle);
    else
      createError = errno;
  }
  if (FHandle < 0) {
    // The file is written through a new one beside it, so a folder where no file can be made
    // stops even the save of a writable file.
    if (createError == EACCES || createError == EPERM) {
      const std::string folder = "\"" + dir.string() + "\" is not writable";
      if (exists) throw EFCreateError("Cannot write \"" + fileName + "\": the folder " + folder);
      throw EFCreateError("Cannot create file \"" + fileName + "\". The folder " + folder);
    }
    // Creating a new name can miss only its folder.
    const int err = createError == ENOENT ? ENOTDIR : createError;
    throw EFCreateError("Cannot create file \"" + fileName + "\". " + InOutErrorFromErrno(err).Message);
  }
  FTempName = tmpl;
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
  // Removed while still locked, so no sweep takes it for a leftover in between.
  if (!FCommitted && !FTempName.empty()) ::unlink(FTempName.c_str());
  if (FHandle >= 0) ::close(FHandle);
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
  if (FHandle >= 0 && ::fsync(FHandle) != 0) RaiseNamed(FShownName, InOutErrorFromErrno(errno));
}

void TSafeFileStream::Commit() {
  if (FCommitted) return;
  Finish();
  if (::rename(FTempName.c_str(), FFileName.c_str()) != 0) RaiseNamed(FShownName, InOutErrorFromErrno(errno));
  FCommitted = true;
  // Closed only now: an unlocked temporary file is a leftover to every other save of the file.
  // The data is on the disk already (Finish), so closing has nothing left to report.
  ::close(FHandle);
  FHandle = -1;
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
  int Lock = -1;             // holds the backup, as a temporary file is held
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
  const TFolderLock creating(dir, LOCK_SH);
  for (int tries = 0; tries < 100; ++tries) {
    b.Name = (dir / (prefix + RandomTail())).string();
    if (::link(target.c_str(), b.Name.c_str()) != 0) {
      if (errno == EEXIST) continue;
      b.Moved = ::renameat2(AT_FDCWD, target.c_str(), AT_FDCWD, b.Name.c_str(), RENAME_NOREPLACE) == 0;
      if (!b.Moved && errno == EEXIST) continue;
      if (!b.Moved) break;
    }
    // A file the user may write but not read is held through a descriptor for writing.
    b.Lock = ::open(b.Name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (b.Lock < 0) b.Lock = ::open(b.Name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (b.Lock >= 0) Hold(b.Lock);
    return b;
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
      "\"" + b.Target + "\" could not be put back as it was (" + InOutErrorFromErrno(failed).Message + ")";
  if (!b.Name.empty()) why += "; the previous file is kept as \"" + b.Name + "\"";
  return why + ".";
}

// A message followed by another sentence.
std::string Then(const std::string& message, const std::string& more) {
  if (more.empty() || message.empty()) return message + more;
  return message + (message.back() == '.' ? " " : ". ") + more;
}

}  // namespace

void WriteFilesTogether(const std::vector<TFileContent>& files) {
  const std::string noneReplaced = files.size() > 1 ? "No file was replaced." : "";
  // Every stream is opened before any is written, so that a file that is refused (read-only, a
  // folder that is not writable) costs no writing.
  std::vector<std::unique_ptr<TSafeFileStream>> streams;
  try {
    for (const TFileContent& f : files) streams.push_back(std::make_unique<TSafeFileStream>(f.FileName));
    for (size_t i = 0; i < files.size(); ++i) {
      streams[i]->WriteBuffer(files[i].Data, files[i].Size);
      streams[i]->Finish();
    }
  } catch (const EFCreateError& e) {
    throw EFCreateError(Then(e.Message, noneReplaced));
  } catch (const EInOutError& e) {
    throw EInOutError(Then(e.Message, noneReplaced), e.ErrorCode);
  }
  std::vector<TBackup> backups;
  const TScopeGuard release([&backups] {
    for (const TBackup& b : backups)
      if (b.Lock >= 0) ::close(b.Lock);
  });
  try {
    for (size_t i = 0; i < files.size(); ++i) {
      backups.push_back(KeepBackup(streams[i]->FileName(), files[i].FileName));
      streams[i]->Commit();
      backups.back().Replaced = true;
    }
  } catch (const EInOutError& e) {
    // The files already replaced go back, the last first; what could not says so by name.
    std::string notRestored;
    for (auto b = backups.rbegin(); b != backups.rend(); ++b) notRestored = Then(notRestored, PutBack(*b));
    throw EInOutError(Then(e.Message, notRestored.empty() ? noneReplaced : notRestored), e.ErrorCode);
  }
  for (const TBackup& b : backups)
    if (!b.Name.empty()) ::unlink(b.Name.c_str());
}
