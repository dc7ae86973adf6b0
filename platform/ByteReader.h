#pragma once
// The bounded byte reader under every binary parser. Every read is checked against what is
// left; counts and indices read from a file are checked with RequireCount / CheckIndex before
// anything is allocated or indexed. A violation calls the parser's raise function (which must
// throw the format's own error) with a message naming the field.
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "platform/Exceptions.h"

class TByteReader {
 public:
  using RaiseFn = std::function<void(const std::string& message)>;

  TByteReader(const uint8_t* data, size_t size, RaiseFn raise = {})
      : FData(data), FSize(size), FRaise(std::move(raise)) {}

  size_t Pos() const { return FPos; }
  size_t Size() const { return FSize; }
  size_t Remaining() const { return FSize - FPos; }
  bool AtEnd() const { return FPos >= FSize; }
  const uint8_t* Data() const { return FData; }

  [[noreturn]] void Fail(const std::string& message) const {
    if (FRaise) FRaise(message);
    throw EReadError(message);
  }

  void Need(size_t n, const char* field) const {
    if (n > Remaining()) Fail(std::string("unexpected end of data reading ") + field);
  }
  // count records of recordSize bytes must fit in what is left.
  void RequireCount(uint64_t count, uint64_t recordSize, const char* field) const {
    if (recordSize != 0 && count > Remaining() / recordSize)
      Fail(std::string(field) + " count " + std::to_string(count) + " exceeds the data");
  }
  void CheckIndex(int64_t index, uint64_t tableSize, const char* field) const {
    if (index < 0 || static_cast<uint64_t>(index) >= tableSize)
      Fail(std::string(field) + " index " + std::to_string(index) + " out of range (0.." +
           std::to_string(static_cast<int64_t>(tableSize) - 1) + ")");
  }

  // A reader of the region [offset, offset + length) of this reader's data (a chunk, a strip, a
  // section), raising as this one does. It cannot read past the region, and a region that does
  // not lie inside the data fails here, naming the field. This reader does not move.
  TByteReader Sub(uint64_t offset, uint64_t length, const char* field) const {
    if (offset > FSize || length > FSize - offset)
      Fail(std::string(field) + " region " + std::to_string(offset) + "+" + std::to_string(length) +
           " lies outside the data (" + std::to_string(FSize) + " bytes)");
    return TByteReader(FData + offset, static_cast<size_t>(length), FRaise);
  }

  void Seek(uint64_t pos, const char* field) {
    if (pos > FSize) Fail(std::string(field) + " offset " + std::to_string(pos) + " beyond the end");
    FPos = static_cast<size_t>(pos);
  }
  void Skip(uint64_t n, const char* field) {
    if (n > Remaining()) Fail(std::string("unexpected end of data skipping ") + field);
    FPos += static_cast<size_t>(n);
  }
  const uint8_t* Bytes(size_t n, const char* field) {
    Need(n, field);
    const uint8_t* p = FData + FPos;
    FPos += n;
    return p;
  }
  void Read(void* dst, size_t n, const char* field) {
    const uint8_t* p = Bytes(n, field);
    if (n) std::memcpy(dst, p, n);
  }
  std::string String(size_t n, const char* field) {
    const uint8_t* p = Bytes(n, field);
    return std::string(reinterpret_cast<const char*>(p), n);
  }

  uint8_t U8(const char* field) { return *Bytes(1, field); }
  int8_t I8(const char* field) { return static_cast<int8_t>(U8(field)); }
  uint16_t U16(const char* field) {
    const uint8_t* p = Bytes(2, field);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
  }
  int16_t I16(const char* field) { return static_cast<int16_t>(U16(field)); }
  uint32_t U32(const char* field) {
    const uint8_t* p = Bytes(4, field);
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
  }
  int32_t I32(const char* field) { return static_cast<int32_t>(U32(field)); }
  uint64_t U64(const char* field) {
    uint64_t lo = U32(field);
    uint64_t hi = U32(field);
    return lo | (hi << 32);
  }
  float F32(const char* field) {
    uint32_t u = U32(field);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
  }
  double F64(const char* field) {
    uint64_t u = U64(field);
    double d;
    std::memcpy(&d, &u, 8);
    return d;
  }
  // Big-endian reads, for the formats that store numbers that way.
  uint16_t U16BE(const char* field) {
    const uint8_t* p = Bytes(2, field);
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
  }
  uint32_t U32BE(const char* field) {
    const uint8_t* p = Bytes(4, field);
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
  }

 private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
  RaiseFn FRaise;
};
