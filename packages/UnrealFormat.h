#pragma once
// The Unreal package format as both the texture package writer and the package reader see it:
// compact indices, object references, name flags and the header with its version rules.
#include <cstdint>
#include <string>

#include "platform/Guid.h"

class TStream;

constexpr uint32_t UT_PACKAGE_SIGNATURE = 0x9E2A83C1u;

// Versions at which the layout changes. Versions compare as whole signed 32-bit words.
constexpr int32_t UT_VERSION_GENERATIONS = 68;  // GUID + generations instead of a heritage table
constexpr int32_t UT_VERSION_NAME_LENGTH = 64;  // names carry a length byte
constexpr int32_t UT_VERSION_MIP_OFFSETS = 63;  // each mip level starts with the offset after its pixels

// The longest name a length byte can describe (the byte counts the terminating zero).
constexpr size_t UT_MAX_NAME_LENGTH = 254;

// ---- Compact index ------------------------------------------------------------------------
// A signed integer of 1 to 5 bytes: first byte sign (0x80), more (0x40), 6 value bits; then
// bytes of a more flag (0x80) and 7 value bits; a fifth byte holds its 8 bits whole.
constexpr int UT_MAX_COMPACT_INDEX_BYTES = 5;

// Encodes Value into Out (at least 5 bytes); returns the byte count. The encoding is decoded
// again and compared; a mismatch (only -2147483648 has one) raises
// EConvertError("IDX salvado incorrectamente").
int EncodeCompactIndex(int32_t Value, uint8_t* Out);
// Decodes from Data (Size bytes available). Returns the byte count used, or 0 when the data
// ends before the index does. The value is accumulated in 64 bits and returned wrapped to 32
// bits, so no input can overflow; Exact is cleared when the value does not fit 32 bits.
int DecodeCompactIndex(const uint8_t* Data, size_t Size, int32_t& Value, bool* Exact = nullptr);
// Byte count EncodeCompactIndex would use.
int CompactIndexSize(int32_t Value);
// Writes the compact index of Value to a stream.
void WriteCompactIndex(TStream& Stream, int32_t Value);

// ---- Property tags ----------------------------------------------------------------------
// A property's info byte: its type in bits 0-3, the size of its value in bits 4-6, bit 7 for
// an array element. Size codes 0-4 stand for 1, 2, 4, 12 and 16 bytes; 5, 6 and 7 say that a
// size of 1, 2 or 4 bytes follows the tag.
constexpr uint8_t UT_PROPERTY_BYTE = 0x01, UT_PROPERTY_INT = 0x02, UT_PROPERTY_OBJECT = 0x05;
// Writes the info byte of a value of Type taking ValueSize bytes, and the size that follows
// it when the size has no code of its own.
void WritePropertyInfo(TStream& Stream, uint8_t Type, uint32_t ValueSize);

// ---- Object references --------------------------------------------------------------------
// 0 is no object, -(i+1) import i, i+1 export i.
constexpr int32_t ImportRefOf(int32_t Index) { return -(Index + 1); }
constexpr int32_t ExportRefOf(int32_t Index) { return Index + 1; }
constexpr bool IsImportRef(int32_t Ref) { return Ref < 0; }
constexpr bool IsExportRef(int32_t Ref) { return Ref > 0; }
// Table index of a reference (import or export); only for Ref != 0. Safe for INT32_MIN.
constexpr int64_t RefTableIndex(int32_t Ref) {
  return Ref < 0 ? -static_cast<int64_t>(Ref) - 1 : static_cast<int64_t>(Ref) - 1;
}

// ---- Names ------------------------------------------------------------------------------
constexpr uint32_t UT_NAME_FLAGS_DEFAULT = 0x00070010u;
constexpr uint32_t UT_NAME_FLAGS_PROPERTY = 0x00000400u;  // None, Color, Package, Class
constexpr uint32_t UT_NAME_FLAGS_NATIVE = 0x04000000u;    // None, Color, Core, Engine, Package, Class, Texture
// The flags the writer gives a name (comparisons are exact: letter case counts).
uint32_t DefaultNameFlags(const std::string& Name);

// ---- Header -----------------------------------------------------------------------------
using TPackageGUID = TGUIDBytes;

struct TPackageHeader {
  uint32_t Signature = UT_PACKAGE_SIGNATURE;
  int32_t Version = 68;
  uint32_t PackageFlags = 0;
  int32_t NameCount = 0, NameOffset = 0;
  int32_t ExportCount = 0, ExportOffset = 0;
  int32_t ImportCount = 0, ImportOffset = 0;
  // Version 68 and above.
  TPackageGUID GUID{};
  int32_t GenerationCount = 0;
  // Below version 68.
  int32_t HeritageCount = 0, HeritageOffset = 0;
};

// Header size on disk: 64 bytes from version 68 (one generation), 44 below (without the
// heritage table that the writer puts right after it).
int PackageHeaderSize(int32_t Version);
// Writes the header fields at the stream's position (version 68 and above: GUID, one
// generation of ExportCount/NameCount; below: heritage count and offset).
void WritePackageHeader(TStream& Stream, const TPackageHeader& Header);
