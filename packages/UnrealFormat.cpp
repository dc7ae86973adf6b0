#include "packages/UnrealFormat.h"

#include "platform/Exceptions.h"
#include "platform/Streams.h"

int DecodeCompactIndex(const uint8_t* Data, size_t Size, int32_t& Value, bool* Exact) {
  if (Size == 0) return 0;
  uint8_t b = Data[0];
  const bool negative = (b & 0x80) != 0;
  bool more = (b & 0x40) != 0;
  uint64_t magnitude = b & 0x3F;
  int shift = 6;
  int used = 1;
  while (more && used < UT_MAX_COMPACT_INDEX_BYTES) {
    if (static_cast<size_t>(used) >= Size) return 0;
    b = Data[used++];
    if (used == UT_MAX_COMPACT_INDEX_BYTES) {
      magnitude |= static_cast<uint64_t>(b) << shift;  // the fifth byte is taken whole
      more = false;
    } else {
      magnitude |= static_cast<uint64_t>(b & 0x7F) << shift;
      more = (b & 0x80) != 0;
      shift += 7;
    }
  }
  if (Exact) *Exact = magnitude <= 0x7FFFFFFFu;
  const uint32_t low = static_cast<uint32_t>(magnitude);
  Value = static_cast<int32_t>(negative ? 0u - low : low);
  return used;
}

namespace {
int EncodeUnchecked(int32_t Value, uint8_t* Out) {
  uint64_t magnitude = Value < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(Value)) : static_cast<uint64_t>(Value);
  int n = 0;
  uint8_t b = static_cast<uint8_t>(magnitude & 0x3F);
  if (Value < 0) b |= 0x80;
  magnitude >>= 6;
  if (magnitude) b |= 0x40;
  Out[n++] = b;
  while (magnitude) {
    if (n == UT_MAX_COMPACT_INDEX_BYTES - 1) {
      Out[n++] = static_cast<uint8_t>(magnitude);
      break;
    }
    b = static_cast<uint8_t>(magnitude & 0x7F);
    magnitude >>= 7;
    if (magnitude) b |= 0x80;
    Out[n++] = b;
  }
  return n;
}
}  // namespace

int EncodeCompactIndex(int32_t Value, uint8_t* Out) {
  const int n = EncodeUnchecked(Value, Out);
  int32_t back = 0;
  bool exact = false;
  // The self-check: what we write must read back as what we meant.
  if (DecodeCompactIndex(Out, static_cast<size_t>(n), back, &exact) != n || !exact || back != Value)
    throw EConvertError("IDX salvado incorrectamente");
  return n;
}

int CompactIndexSize(int32_t Value) {
  uint8_t tmp[UT_MAX_COMPACT_INDEX_BYTES];
  return EncodeUnchecked(Value, tmp);
}

void WriteCompactIndex(TStream& Stream, int32_t Value) {
  uint8_t tmp[UT_MAX_COMPACT_INDEX_BYTES];
  const int n = EncodeCompactIndex(Value, tmp);
  Stream.WriteBuffer(tmp, static_cast<size_t>(n));
}

void WritePropertyInfo(TStream& Stream, uint8_t Type, uint32_t ValueSize) {
  // A reader skips or reads a value by this size, so it must be the value's own length: an
  // object reference of 64 or more takes two bytes of compact index, not one.
  static constexpr uint32_t kCodedSizes[] = {1, 2, 4, 12, 16};
  for (uint8_t code = 0; code < 5; ++code)
    if (kCodedSizes[code] == ValueSize) {
      Stream.WriteU8(static_cast<uint8_t>(Type | (code << 4)));
      return;
    }
  if (ValueSize <= 0xFF) {
    Stream.WriteU8(static_cast<uint8_t>(Type | 0x50));
    Stream.WriteU8(static_cast<uint8_t>(ValueSize));
  } else if (ValueSize <= 0xFFFF) {
    Stream.WriteU8(static_cast<uint8_t>(Type | 0x60));
    Stream.WriteU16(static_cast<uint16_t>(ValueSize));
  } else {
    Stream.WriteU8(static_cast<uint8_t>(Type | 0x70));
    Stream.WriteU32(ValueSize);
  }
}

uint32_t DefaultNameFlags(const std::string& Name) {
  uint32_t flags = UT_NAME_FLAGS_DEFAULT;
  if (Name == "None" || Name == "Color" || Name == "Package" || Name == "Class") flags |= UT_NAME_FLAGS_PROPERTY;
  if (Name == "None" || Name == "Color" || Name == "Core" || Name == "Engine" || Name == "Package" || Name == "Class" ||
      Name == "Texture")
    flags |= UT_NAME_FLAGS_NATIVE;
  return flags;
}

int PackageHeaderSize(int32_t Version) { return Version >= UT_VERSION_GENERATIONS ? 64 : 44; }

void WritePackageHeader(TStream& Stream, const TPackageHeader& H) {
  Stream.WriteU32(H.Signature);
  Stream.WriteI32(H.Version);
  Stream.WriteU32(H.PackageFlags);
  Stream.WriteI32(H.NameCount);
  Stream.WriteI32(H.NameOffset);
  Stream.WriteI32(H.ExportCount);
  Stream.WriteI32(H.ExportOffset);
  Stream.WriteI32(H.ImportCount);
  Stream.WriteI32(H.ImportOffset);
  if (H.Version >= UT_VERSION_GENERATIONS) {
    Stream.WriteBuffer(H.GUID.data(), H.GUID.size());
    Stream.WriteI32(H.GenerationCount);
    for (int32_t i = 0; i < H.GenerationCount; ++i) {
      Stream.WriteI32(H.ExportCount);
      Stream.WriteI32(H.NameCount);
    }
  } else {
    Stream.WriteI32(H.HeritageCount);
    Stream.WriteI32(H.HeritageOffset);
  }
}
