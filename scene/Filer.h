#pragma once
// The typed value stream of stored components: each value is a one-byte type tag followed by
// its data (integers in the smallest of 1, 2 or 4 bytes, strings with a 1- or 4-byte length).
// The reader checks every length against what the stream still holds.
#include <cstdint>
#include <string>

class TStream;

enum TValueType : uint8_t {
  vaNull = 0,
  vaList = 1,
  vaInt8 = 2,
  vaInt16 = 3,
  vaInt32 = 4,
  vaExtended = 5,
  vaString = 6,
  vaIdent = 7,
  vaFalse = 8,
  vaTrue = 9,
  vaBinary = 10,
  vaSet = 11,
  vaLString = 12,
  vaNil = 13,
  vaCollection = 14
};

class TWriter {
 public:
  explicit TWriter(TStream& stream) : FStream(stream) {}
  void WriteInteger(int32_t v);
  void WriteString(const std::string& s);
  void WriteBoolean(bool v);

 private:
  TStream& FStream;
};

class TReader {
 public:
  explicit TReader(TStream& stream) : FStream(stream) {}
  TValueType NextValue();  // peeks; EReadError at the end of the stream
  int32_t ReadInteger();   // EReadError "Invalid property value" on another type
  std::string ReadString();
  bool ReadBoolean();

 private:
  TValueType ReadValue();
  TStream& FStream;
};
