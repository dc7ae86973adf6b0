#pragma once
// A package assembled byte by byte, independently of the writer, so the reader can be fed
// any table, reference or offset, sound or not.
#include <cstdint>
#include <string>
#include <vector>

#include "packages/UnrealFormat.h"

namespace pkgtest {

struct RawImport {
  int32_t ClassPackage = 0, ClassName = 0, Package = 0, ObjectName = 0;
};

struct RawExport {
  int32_t Class = 0, Super = 0, Package = 0, ObjectName = 0;
  uint32_t Flags = 0;
  std::vector<uint8_t> Data;
  int64_t OffsetOverride = -1;  // write this serial offset instead of the real one
};

struct RawPackage {
  int32_t Version = 68;
  std::vector<std::string> Names{"None"};
  std::vector<RawImport> Imports;
  std::vector<RawExport> Exports;
  std::vector<TPackageGUID> Heritage;

  static void U32(std::vector<uint8_t>& o, uint32_t v) {
    for (int k = 0; k < 4; ++k) o.push_back(static_cast<uint8_t>(v >> (8 * k)));
  }
  static void Index(std::vector<uint8_t>& o, int32_t v) {
    uint8_t b[UT_MAX_COMPACT_INDEX_BYTES];
    const int n = EncodeCompactIndex(v, b);
    o.insert(o.end(), b, b + n);
  }
  static void Patch(std::vector<uint8_t>& o, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) o[at + k] = static_cast<uint8_t>(v >> (8 * k));
  }

  std::vector<uint8_t> Build() const {
    std::vector<uint8_t> o;
    U32(o, UT_PACKAGE_SIGNATURE);
    U32(o, static_cast<uint32_t>(Version));
    U32(o, 1);
    U32(o, static_cast<uint32_t>(Names.size()));
    U32(o, 0);  // 16: name offset
    U32(o, static_cast<uint32_t>(Exports.size()));
    U32(o, 0);  // 24: export offset
    U32(o, static_cast<uint32_t>(Imports.size()));
    U32(o, 0);  // 32: import offset
    if (Version >= 68) {
      o.insert(o.end(), 16, 0x11);
      U32(o, 1);
      U32(o, static_cast<uint32_t>(Exports.size()));
      U32(o, static_cast<uint32_t>(Names.size()));
    } else {
      U32(o, static_cast<uint32_t>(Heritage.size()));
      U32(o, 44);
      for (const TPackageGUID& g : Heritage) o.insert(o.end(), g.begin(), g.end());
    }
    Patch(o, 16, static_cast<uint32_t>(o.size()));
    for (const std::string& n : Names) {
      if (Version >= 64) o.push_back(static_cast<uint8_t>(n.size() + 1));
      o.insert(o.end(), n.begin(), n.end());
      o.push_back(0);
      U32(o, 0x00070010);
    }
    std::vector<int64_t> offsets;
    for (const RawExport& e : Exports) {
      offsets.push_back(static_cast<int64_t>(o.size()));
      o.insert(o.end(), e.Data.begin(), e.Data.end());
    }
    Patch(o, 32, static_cast<uint32_t>(o.size()));
    for (const RawImport& i : Imports) {
      Index(o, i.ClassPackage);
      Index(o, i.ClassName);
      U32(o, static_cast<uint32_t>(i.Package));
      Index(o, i.ObjectName);
    }
    Patch(o, 24, static_cast<uint32_t>(o.size()));
    for (size_t k = 0; k < Exports.size(); ++k) {
      const RawExport& e = Exports[k];
      Index(o, e.Class);
      Index(o, e.Super);
      U32(o, static_cast<uint32_t>(e.Package));
      Index(o, e.ObjectName);
      U32(o, e.Flags);
      Index(o, static_cast<int32_t>(e.Data.size()));
      if (!e.Data.empty()) Index(o, static_cast<int32_t>(e.OffsetOverride >= 0 ? e.OffsetOverride : offsets[k]));
    }
    return o;
  }
};

}  // namespace pkgtest
