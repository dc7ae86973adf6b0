#pragma once
// Byte streams: the abstract TStream, files, memory, and a file stream that replaces its
// target only when the whole content was written (temporary file + rename).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;
  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual size_t Write(const void* buffer, size_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t p) { Seek(p, TSeekOrigin::soBeginning); }
  int64_t Size();
  // Read exactly count bytes or raise EReadError("Stream read error").
  void ReadBuffer(void* buffer, size_t count);
  // Write exactly count bytes or raise EWriteError("Stream write error").
  void WriteBuffer(const void* buffer, size_t count);
  // Copies count bytes (all of source from its start when count is 0).
  int64_t CopyFrom(TStream& source, int64_t count);

  // Little-endian helpers.
  void WriteU8(uint8_t v) { WriteBuffer(&v, 1); }
  void WriteU16(uint16_t v);
  void WriteU32(uint32_t v);
  void WriteI32(int32_t v) { WriteU32(static_cast<uint32_t>(v)); }
  void WriteF32(float v);
  void WriteString(const std::string& s) { WriteBuffer(s.data(), s.size()); }
};

enum TFileMode : unsigned { fmOpenRead = 0, fmOpenWrite = 1, fmOpenReadWrite = 2, fmCreate = 0xFF00 };

class TFileStream : public TStream {
 public:
  // Raises EFOpenError / EFCreateError naming the file.
  TFileStream(const std::string& fileName, unsigned mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
  int FHandle = -1;
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> data) : FData(std::move(data)) {}
  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  uint8_t* Memory() { return FData.data(); }
  const uint8_t* Memory() const { return FData.data(); }
  const std::vector<uint8_t>& Bytes() const { return FData; }
  void Clear() {
    FData.clear();
    FPos = 0;
  }
  void SetSize(size_t n) {
    FData.resize(n);
    if (FPos > n) FPos = n;
  }
  void LoadFromFile(const std::string& fileName);
  void LoadFromStream(TStream& s);
  // Written through a temporary file and a rename.
  void SaveToFile(const std::string& fileName) const;

 private:
  std::vector<uint8_t> FData;
  size_t FPos = 0;
};

// Writes to a temporary file in the target's folder; Commit() flushes it and renames it over
// the target. Destroyed without Commit(), it removes the temporary file and the target stays
// as it was. A symbolic link is followed: its target is replaced, the link stays a link. The
// replaced file's permissions are kept, and a file whose permissions forbid writing is refused
// (EFCreateError), as writing it in place would be, and so is a file in a folder where no new
// file can be made (the folder is named). Every error names the file.
//
// The temporary file is "." + the target's name + ".corvane-" + six letters or digits, the name cut so
// that the whole stays within the file system's limit. The stream keeps it open and locked from
// its creation until it is renamed or removed; a new stream for the same target removes the
// unlocked ones, left behind by a save that was killed.
class TSafeFileStream : public TStream {
 public:
  explicit TSafeFileStream(const std::string& fileName);
  ~TSafeFileStream() override;
  TSafeFileStream(const TSafeFileStream&) = delete;
  TSafeFileStream& operator=(const TSafeFileStream&) = delete;
  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  // Flushes the data to the disk; raises EInOutError. The temporary file stays open and locked.
  void Finish();
  // Finish(), then the rename, then the file is closed; raises EInOutError.
  void Commit();
  const std::string& FileName() const { return FFileName; }  // the target, links followed
  const std::string& TempName() const { return FTempName; }

 private:
  std::string FShownName, FFileName, FTempName;
  int FHandle = -1;
  bool FCommitted = false;
};

// Reads a whole file; raises EInOutError (file not found, access denied...).
std::vector<uint8_t> ReadWholeFile(const std::string& fileName);
// Replaces fileName with data through a temporary file and a rename.
void WriteFileAtomically(const std::string& fileName, const void* data, size_t size);
inline void WriteFileAtomically(const std::string& fileName, const std::string& data) {
  WriteFileAtomically(fileName, data.data(), data.size());
}

struct TFileContent {
  std::string FileName;
  const void* Data;
  size_t Size;
};
// Replaces files that belong together (a package and its description, a model's files) as one:
// each is written in full to its temporary file before the first rename, and the files replaced
// are kept under a hidden, locked backup name until every rename succeeded; when one fails,
// those already replaced are put back (or removed, where there was none). So the folders hold
// all the old files or all the new ones. The error of a failure says "No file was replaced.",
// or names each file that could not be put back.
void WriteFilesTogether(const std::vector<TFileContent>& files);
