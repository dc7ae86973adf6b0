// The property reader: the readable text of every kind of property, enumerations, arrays,
// structs, and data that ends early or holds an unknown tag.
#include <gtest/gtest.h>

#include <cstring>

#include "packages/ut_objects.h"
#include "packages/ut_packages.h"
#include "platform/Exceptions.h"
#include "tests/packages/PackageTestSupport.h"
#include "tests/packages/RawPackage.h"

using namespace pkgtest;

namespace {
enum : int32_t {
  nNone,
  nCore,
  nClass,
  nTexture,
  nSkin,
  nLODSet,
  nStyle,
  nFoo,
  nTags,
  nHealth,
  nScaleF,
  nIsOn,
  nOwner,
  nLocation,
  nVector,
  nRotation,
  nRotator,
  nDrawScale,
  nScale,
  nRegion,
  nPointRegion,
  nText,
  nColor,
  nDrop,
  nCount,
  nFlareOffset,
  nPlane,
  nADrop
};
const std::vector<std::string> kNames = {"None",        "Core",
                                         "Class",       "Texture",
                                         "Skin",        "LODSet",
                                         "Style",       "Foo",
                                         "Tags",        "Health",
                                         "ScaleF",      "bIsOn",
                                         "Owner",       "Location",
                                         "Vector",      "Rotation",
                                         "Rotator",     "DrawScale",
                                         "Scale",       "Region",
                                         "PointRegion", "Message",
                                         "Color",       "Drop",
                                         "Count",       "LensFlareOffset",
                                         "Plane",       "ADrop"};

struct Bytes {
  std::vector<uint8_t> d;
  Bytes& Name(int32_t n) {
    RawPackage::Index(d, n);
    return *this;
  }
  Bytes& Idx(int32_t v) {
    RawPackage::Index(d, v);
    return *this;
  }
  Bytes& B(std::initializer_list<uint8_t> b) {
    d.insert(d.end(), b);
    return *this;
  }
  Bytes& B(const std::vector<uint8_t>& b) {
    d.insert(d.end(), b.begin(), b.end());
    return *this;
  }
  Bytes& I32(int32_t v) {
    RawPackage::U32(d, static_cast<uint32_t>(v));
    return *this;
  }
  Bytes& F(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    RawPackage::U32(d, u);
    return *this;
  }
};

// A package with one import (the class, Texture unless told) and export 0 "Skin" holding Data.
std::unique_ptr<TUTPackage> PackageWith(const std::vector<uint8_t>& Data, const std::string& File,
                                        int32_t ClassName = nTexture) {
  RawPackage r;
  r.Names = kNames;
  r.Imports.push_back({nCore, nClass, 0, ClassName});
  r.Exports.push_back({-1, 0, 0, nSkin, 0, Data, -1});
  static const fs::path dir = ProcessScratchDir("properties");
  const fs::path p = dir / File;
  WriteBytes(p, r.Build());
  return std::make_unique<TUTPackage>(p.string());
}

std::vector<std::string> Texts(const std::vector<uint8_t>& Data, const std::string& File) {
  auto p = PackageWith(Data, File);
  TUTObjectWithProperties o(p.get(), 0);
  o.ReadObject();
  EXPECT_EQ(o.PropertyCount, static_cast<int32_t>(o.Properties.size()));
  std::vector<std::string> t;
  for (const TUTProperty& x : o.Properties) t.push_back(x.Text);
  return t;
}
}  // namespace

TEST(Properties, ScalarTextsAndEnumerations) {
  Bytes b;
  b.Name(nLODSet).B({0x01, 2});
  b.Name(nLODSet).B({0x01, 3});
  b.Name(nStyle).B({0x01, 2});
  b.Name(nFoo).B({0x01, 0xAB});
  b.Name(nHealth).B({0x22}).I32(-1);
  b.Name(nCount).B({0x0D}).Idx(300);
  b.Name(nScaleF).B({0x24}).F(1.5f);
  b.Name(nIsOn).B({0x53, 0});
  b.Name(nIsOn).B({0xD3, 0});
  b.Name(nOwner).B({0x05}).Idx(0);
  b.Name(nOwner).B({0x15}).Idx(1);
  b.Name(nOwner).B({0x05}).Idx(-1);
  b.Name(nOwner).B({0x05}).Idx(40);
  b.Name(nFoo).B({0x06}).Idx(nSkin);
  b.Name(nNone);
  EXPECT_EQ(Texts(b.d, "scalars.u"),
            (std::vector<std::string>{"LODSet = 2 (LODSET_Skin)", "LODSet = 3 (0x03)", "Style = 2 (STY_Masked)",
                                      "Foo = 171 (0xAB)", "Health = -1 (0xFFFFFFFF)", "Count = 300 (0x0000012C)",
                                      "ScaleF = 1.500000", "bIsOn = False", "bIsOn = True", "Owner = 0 (None)",
                                      "Owner = 1 (Skin)", "Owner = -1 (Core.Class.Texture)",
                                      "Owner = 40 (List index out of bounds (39))", "Foo = 0x04 (Skin)", "None"}));
}

TEST(Properties, ArraysStructsAndTexts) {
  Bytes b;
  b.Name(nTags).B({0x06}).Idx(nCore);    // a static array: index 0 shown
  b.Name(nFoo).B({0x86, 3}).Idx(nCore);  // an array element with its index byte
  b.Name(nLocation).B({0x3A}).Name(nVector).F(1).F(-2.5f).F(0);
  b.Name(nRotation).B({0x3A}).Name(nRotator).I32(16384).I32(-1).I32(0);
  b.Name(nDrawScale).B({0x5A}).Name(nScale).B({17}).F(1).F(2).F(3).F(0.5f).B({2});
  b.Name(nRegion).B({0x5A}).Name(nPointRegion).B({6}).Idx(1).I32(7).Idx(3);
  b.Name(nColor).B({0x10, 0x20, 0x30, 0xFF});  // a struct name read as a property
  b.Name(nText).B({0x3D}).Idx(4).B({'a', 'b', 'c', 0});
  b.Name(nText).B({0x5D, 5}).Idx(4).B({'x', 'y', 'z', 0});
  b.Name(nDrop).B({0x08, 0x34, 0x12, 9, 10, 0x78, 0x56, 0x34, 0x12});
  b.Name(nNone);
  EXPECT_EQ(Texts(b.d, "structs.u"),
            (std::vector<std::string>{
                "Tags[0] = 0x01 (Core)", "Foo[3] = 0x01 (Core)", "Location",
                "Location.Vector (Vector) = (X=1.000000, Y=-2.500000, Z=0.000000)", "Rotation",
                "Rotation.Rotator (Rotator) = (Pitch=16384, Yaw=-1, Roll=0)", "DrawScale",
                "DrawScale.Scale (Scale) = (X=1.000000, Y=2.000000, Z=3.000000, SheerRate=0.500000, "
                "SheerAxis=2 (SHEER_XZ))",
                "Region", "Region.PointRegion (PointRegion) = (Zone=Skin, iLeaf=7, ZoneNumber=3)",
                "Color (Color) = (R=0x10, G=0x20, B=0x30, A=0xFF)", "Message = 'abc'", "Message = 'xyz'",
                "Drop = (Unknown1=0x1234, X=9, Y=10, Unknown2=0x12345678)", "None"}));
}

// Struct values that carry more than their fields: a size byte after the struct's name for
// tag 0x5A, an array index after it for array elements. A misread byte here shifts every
// property that follows, so each case is followed by a plain one.
TEST(Properties, StructSizeBytesAndArrayElements) {
  Bytes b;
  b.Name(nFlareOffset).B({0xBA}).Name(nVector).B({2}).F(0.5f).F(0).F(-1);
  b.Name(nHealth).B({0x22}).I32(7);
  b.Name(nRegion).B({0x5A}).Name(nPointRegion).B({6}).Idx(1).I32(-1).Idx(4);
  b.Name(nHealth).B({0x22}).I32(8);
  b.Name(nDrawScale).B({0xDA}).Name(nScale).B({17, 1}).F(2).F(2).F(2).F(0).B({0});
  b.Name(nHealth).B({0x22}).I32(9);
  b.Name(nScale).B({17}).F(1).F(1).F(1).F(0).B({1});  // a bare struct name: 18 bytes too
  b.Name(nHealth).B({0x22}).I32(10);
  b.Name(nFoo).B({0x3A}).Name(nPlane).I32(1).I32(2).I32(3);  // a struct nobody knows: skipped
  b.Name(nHealth).B({0x22}).I32(11);
  b.Name(nNone);
  EXPECT_EQ(Texts(b.d, "structarrays.u"),
            (std::vector<std::string>{
                "LensFlareOffset[0]", "LensFlareOffset.Vector[2] (Vector) = (X=0.500000, Y=0.000000, Z=-1.000000)",
                "Health = 7 (0x00000007)", "Region",
                "Region.PointRegion (PointRegion) = (Zone=Skin, iLeaf=-1, ZoneNumber=4)", "Health = 8 (0x00000008)",
                "DrawScale",
                "DrawScale.Scale[1] (Scale) = (X=2.000000, Y=2.000000, Z=2.000000, SheerRate=0.000000, "
                "SheerAxis=0 (SHEER_None))",
                "Health = 9 (0x00000009)",
                "Scale (Scale) = (X=1.000000, Y=1.000000, Z=1.000000, SheerRate=0.000000, SheerAxis=1 (SHEER_XY))",
                "Health = 10 (0x0000000A)", "Foo", "Foo.Plane (Plane)", "Health = 11 (0x0000000B)", "None"}));
}

// Structs the reader does not know (the drops of wet and wave textures) are skipped by their
// declared size; a known struct that claims less than its fields stops the scan rather than
// read the next property's bytes as its own.
TEST(Properties, StructsAreTakenByTheirDeclaredSize) {
  Bytes b;
  b.Name(nDrop).B({0x5A}).Name(nADrop).B({8}).B({1, 2, 3, 4, 5, 6, 7, 8});
  b.Name(nDrop).B({0xDA}).Name(nADrop).B({8, 1}).B({0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22});
  b.Name(nLocation).B({0x5A}).Name(nVector).B({16}).F(1).F(2).F(3).I32(-1);  // 4 bytes more than its fields
  b.Name(nOwner).B({0x15}).Idx(100);
  b.Name(nHealth).B({0x22}).I32(64);
  b.Name(nLocation).B({0x2A}).Name(nVector).F(1).F(2).F(3);  // claims 4 of 12
  b.Name(nHealth).B({0x22}).I32(65);
  b.Name(nNone);
  EXPECT_EQ(Texts(b.d, "adrop.u"),
            (std::vector<std::string>{"Drop", "Drop.ADrop (ADrop)", "Drop", "Drop.ADrop[1] (ADrop)", "Location",
                                      "Location.Vector (Vector) = (X=1.000000, Y=2.000000, Z=3.000000)",
                                      "Owner = 100 (List index out of bounds (99))", "Health = 64 (0x00000040)",
                                      "Location",
                                      "Struct Vector of Location.Vector claims 4 bytes but its fields take 12, "
                                      "scan stopped"}));
}

TEST(Properties, UnknownTagsShortDataAndObjectsWithoutData) {
  Bytes unknown;
  unknown.Name(nLODSet).B({0x01, 1}).Name(nFoo).B({0x77, 1, 2, 3});
  EXPECT_EQ(Texts(unknown.d, "unknown.u"),
            (std::vector<std::string>{"LODSet = 1 (LODSET_World)", "Unknown type 0x77, scan stopped"}));

  // A text longer than the data takes only what is there; the list then ends with the data.
  Bytes longText;
  longText.Name(nText).B({0x3D}).Idx(100000).B({'h', 'i'});
  EXPECT_EQ(Texts(longText.d, "longtext.u"), (std::vector<std::string>{"Message = 'hi'"}));

  // A struct name over and over, with no "None": reading stops at the end of the data.
  Bytes structs;
  for (int i = 0; i < 3; ++i) structs.Name(nColor);
  const auto t = Texts(structs.d, "structs-forever.u");
  EXPECT_LE(t.size(), 3u);

  // An export without data cannot be read; an unregistered class reads nothing. The class is
  // "Foo": other tests of this executable register "Texture" for good.
  auto p = PackageWith({}, "nodata.u", nFoo);
  TUTObjectWithProperties o(p.get(), 0);
  EXPECT_THROW(o.ReadObject(), EReadError);
  EXPECT_EQ(p->OpenCount, 0);
  EXPECT_NE(dynamic_cast<TUTObject*>(p->Exports[0].Obj.get()), nullptr);
  EXPECT_EQ(dynamic_cast<TUTObjectWithProperties*>(p->Exports[0].Obj.get()), nullptr);
}

TEST(Properties, ClassRegistry) {
  EXPECT_EQ(FindUTClass("PALETTE"), &MakeUTObject<TUTPalette>);
  EXPECT_EQ(FindUTClass("NoSuchClass"), &MakeUTObject<TUTObject>);
  RegisterUTClass("RegistryProbe", &MakeUTObject<TUTObjectWithProperties>);
  EXPECT_EQ(FindUTClass("registryprobe"), &MakeUTObject<TUTObjectWithProperties>);
  RegisterUTClass("REGISTRYPROBE", &MakeUTObject<TUTPalette>);  // replaces, letter case ignored
  EXPECT_EQ(FindUTClass("RegistryProbe"), &MakeUTObject<TUTPalette>);
}

// Array indices past 127 take two or four bytes; every property after such an element must
// still be read from its own start (a wave texture has Drops[0] to Drops[255]).
TEST(Properties, ArrayIndicesOfEveryLength) {
  struct Case {
    int32_t Index;
    std::vector<uint8_t> Bytes;
  };
  const Case cases[] = {{127, {0x7F}},
                        {128, {0x80, 0x80}},
                        {16383, {0xBF, 0xFF}},
                        {16384, {0xC0, 0x00, 0x40, 0x00}},
                        {0x3FFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF}}};
  for (const Case& c : cases) {
    const std::string i = std::to_string(c.Index);
    Bytes b;
    b.Name(nFoo).B({0x86}).B(c.Bytes).Idx(nCore);
    b.Name(nHealth).B({0x22}).I32(1);
    b.Name(nDrop).B({0xDA}).Name(nADrop).B({8}).B(c.Bytes).B({1, 2, 3, 4, 5, 6, 7, 8});
    b.Name(nHealth).B({0x22}).I32(2);
    b.Name(nNone);
    EXPECT_EQ(Texts(b.d, "arrayindex" + i + ".u"),
              (std::vector<std::string>{"Foo[" + i + "] = 0x01 (Core)", "Health = 1 (0x00000001)", "Drop",
                                        "Drop.ADrop[" + i + "] (ADrop)", "Health = 2 (0x00000002)", "None"}))
        << "index " << i;
  }
}
