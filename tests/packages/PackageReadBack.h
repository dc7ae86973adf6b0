#pragma once
// Reads a written package back through TUTPackage, and decodes texture mip levels with the
// reader's primitives.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "packages/TexturePackage.h"
#include "packages/ut_objects.h"
#include "packages/ut_packages.h"
#include "tests/packages/PackageTestSupport.h"

namespace pkgtest {

struct TReadLevel {
  int32_t OffsetField = -1;  // the 32-bit offset before the level (versions 63 and above)
  int64_t PixelsEnd = 0;     // file position after the pixels
  int32_t PixelCount = 0;
  std::vector<uint8_t> Pixels;
  int32_t Width = 0, Height = 0;
  int UBits = 0, VBits = 0;
};

// Textures read their property list like any object with properties.
inline void RegisterTextureClass() { RegisterUTClass("Texture", &MakeUTObject<TUTObjectWithProperties>); }

inline std::unique_ptr<TUTPackage> LoadWritten(const TCompiledPackage& c, const std::string& Name) {
  static const fs::path dir = ProcessScratchDir("readback");
  const fs::path file = dir / (Name + ".utx");
  WriteBytes(file, c.Utx);
  return std::make_unique<TUTPackage>(file.string());
}

// Reads the properties of export Index (a texture or palette) and returns the object.
inline TUTObjectWithProperties& ReadProps(TUTPackage& p, int32_t Index) {
  auto* obj = dynamic_cast<TUTObjectWithProperties*>(p.GetExport(Index).Obj.get());
  EXPECT_NE(obj, nullptr) << "export " << Index << " has no property reader";
  if (!obj) throw std::runtime_error("no property reader");
  obj->ReadObject();
  return *obj;
}

inline std::vector<TReadLevel> ReadLevels(TUTPackage& p, int32_t Index) {
  TUTObjectWithProperties& obj = ReadProps(p, Index);
  const TExportTableData& e = p.GetExport(Index);
  std::vector<TReadLevel> levels;
  p.Open();
  p.Seek(e.SerialOffset + obj.PropertiesEnd);
  const int count = p.ReadByte();
  for (int i = 0; i < count; ++i) {
    TReadLevel l;
    if (p.Version >= 63) l.OffsetField = p.ReadDWord();
    l.PixelCount = p.ReadCompactIndex();
    l.Pixels.resize(static_cast<size_t>(std::max(l.PixelCount, 0)));
    p.Read(l.Pixels.data(), l.Pixels.size());
    l.PixelsEnd = p.GetPosition();
    l.Width = p.ReadDWord();
    l.Height = p.ReadDWord();
    l.UBits = p.ReadByte();
    l.VBits = p.ReadByte();
    levels.push_back(std::move(l));
  }
  EXPECT_EQ(p.GetPosition(), static_cast<int64_t>(e.SerialOffset) + e.SerialSize) << "texture data not used up";
  p.Close();
  return levels;
}

inline std::vector<std::string> PropertyTexts(TUTObjectWithProperties& o) {
  std::vector<std::string> t;
  for (const TUTProperty& p : o.Properties) t.push_back(p.Text);
  return t;
}

inline std::vector<std::string> NameList(const TUTPackage& p) {
  std::vector<std::string> n;
  for (const TUTName& x : p.Names) n.push_back(x.Name);
  return n;
}

}  // namespace pkgtest
