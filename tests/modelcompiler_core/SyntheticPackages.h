#pragma once
// Packages with player models assembled byte by byte (on the tests' own package builder): a
// player class per .int line with its defaults among decoy tags, a LodMesh and a Mesh object
// of any version, and imports of meshes in other packages.
#include <cstring>
#include <string>
#include <vector>

#include "ModelCompilerTestSupport.h"
#include "packages/RawPackage.h"

namespace mctest {

using pkgtest::RawPackage;

struct TBuf {
  std::vector<uint8_t> B;
  TBuf& U8(uint8_t v) {
    B.push_back(v);
    return *this;
  }
  TBuf& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
  TBuf& U32(uint32_t v) {
    RawPackage::U32(B, v);
    return *this;
  }
  TBuf& F32(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return U32(u);
  }
  TBuf& Idx(int32_t v) {
    RawPackage::Index(B, v);
    return *this;
  }
  TBuf& Zeros(size_t n) {
    B.insert(B.end(), n, 0);
    return *this;
  }
  TBuf& Bytes(const std::vector<uint8_t>& b) {
    B.insert(B.end(), b.begin(), b.end());
    return *this;
  }
};

inline uint32_t Pack(uint32_t a, uint32_t b, uint32_t c) { return a | (b << 11) | (c << 22); }

enum : int32_t {
  N_None,
  N_Core,
  N_Class,
  N_Package,
  N_Engine,
  N_LodMesh,
  N_Mesh,
  N_Texture,
  N_MyPkg,
  N_Soldier,
  N_Trooper,
  N_Civilian,
  N_SoldierMesh,
  N_PlainMesh,
  N_MenuName,
  N_FaceSkin,
  N_TeamSkin1,
  N_TeamSkin2,
  N_FixedSkin,
  N_Breath1,
  N_Run,
  N_SkinTex,
  N_OtherPkg,
  N_DotDot
};
inline const std::vector<std::string> NAMES = {"None",     "Core",      "Class",       "Package",   "Engine",
                                               "LodMesh",  "Mesh",      "Texture",     "MyPkg",     "Soldier",
                                               "Trooper",  "Civilian",  "SoldierMesh", "PlainMesh", "MenuName",
                                               "FaceSkin", "TeamSkin1", "TeamSkin2",   "FixedSkin", "Breath1",
                                               "Run",      "SkinTex",   "OtherPkg",    ".."};
// Imports: 0 Engine (package), 1 class LodMesh, 2 class Mesh, 3 class Texture, 4 texture SkinTex.
// Exports: 0 Soldier, 1 Trooper, 2 Civilian (classes), 3 SoldierMesh (LodMesh), 4 PlainMesh (Mesh).
constexpr int32_t REF_SOLDIER_MESH = 4, REF_PLAIN_MESH = 5, REF_SKIN_TEXTURE = -5;

struct TMeshSpec {
  int32_t Version = 69;
  bool DeusEx = false;
  int32_t FrameVerts = 3, AnimFrames = 2;
  std::vector<uint32_t> Packed;                                       // FrameVerts * AnimFrames
  std::vector<std::pair<int32_t, std::pair<int32_t, int32_t>>> Seqs;  // name, start, count
  std::vector<int32_t> Textures = {0, REF_SKIN_TEXTURE};
  bool Lod = true;
  int32_t SpecialVerts = 1;
  uint16_t FaceWedge = 0;  // first wedge of the face
  int32_t PolyFlags = 0x02 | 0x100;
  float Scale[3] = {0.0625f, 0.0625f, 0.125f};  // a standard player mesh
  float Origin[3] = {0, 0, 0};
  int32_t RotOrigin[3] = {0, 0, 0};
};

inline std::vector<uint8_t> MeshData(const TMeshSpec& s) {
  const bool v62 = s.Version > 61;
  TBuf b;
  auto offset = [&] {
    if (v62) b.U32(0xDEADBEEF);
  };
  auto sphere = [&] { b.Zeros(v62 ? 16 : 12); };
  b.Idx(N_None).Zeros(25);
  sphere();
  offset();
  b.Idx(static_cast<int32_t>(s.Packed.size()));
  for (uint32_t p : s.Packed) {
    if (s.DeusEx) {
      b.U16(static_cast<uint16_t>((p & 0x7FF) * 32)).U16(static_cast<uint16_t>(((p >> 11) & 0x7FF) * 32));
      b.U16(static_cast<uint16_t>((p >> 22) * 64)).U16(0xFFFF);
    } else {
      b.U32(p);
    }
  }
  offset();
  if (s.Lod) {
    b.Idx(0);
  } else {  // one triangle on slot 0
    b.Idx(1).U16(0).U16(1).U16(2);
    for (uint8_t c : {0, 255, 255, 255, 0, 0}) b.U8(c);
    b.U32(static_cast<uint32_t>(s.PolyFlags)).U32(0);
  }
  b.Idx(static_cast<int32_t>(s.Seqs.size()));
  for (const auto& q : s.Seqs)
    b.Idx(q.first)
        .Idx(N_None)
        .U32(static_cast<uint32_t>(q.second.first))
        .U32(static_cast<uint32_t>(q.second.second))
        .Idx(1)
        .F32(0.5f)
        .Idx(N_None)
        .F32(15);
  offset();
  b.Idx(1).Zeros(8);
  b.Zeros(25);
  sphere();
  offset();
  b.Idx(2).Zeros(8);
  b.Idx(static_cast<int32_t>(s.Textures.size()));
  for (int32_t t : s.Textures) b.Idx(t);
  b.Idx(1).Zeros(25);
  b.Idx(1);
  sphere();
  b.U32(static_cast<uint32_t>(s.FrameVerts)).U32(static_cast<uint32_t>(s.AnimFrames)).Zeros(8);
  for (float f : s.Scale) b.F32(f);
  for (float f : s.Origin) b.F32(f);
  for (int32_t a : s.RotOrigin) b.U32(static_cast<uint32_t>(a));
  b.Zeros(8);
  if (s.Version >= 66) b.Idx(1).F32(1);
  if (!s.Lod) return b.B;
  b.Idx(0).Idx(0);
  b.Idx(1).U16(s.FaceWedge).U16(1).U16(0).U16(0);  // one face of wedges (w, 1, 0), material 0
  b.Idx(0);
  b.Idx(2).U16(0).U8(0).U8(255).U16(1).U8(255).U8(0);  // wedges on vertices 0 and 1
  b.Idx(1).U32(static_cast<uint32_t>(s.PolyFlags)).U32(0);
  b.Idx(0);
  b.U32(0).U32(static_cast<uint32_t>(s.SpecialVerts)).Zeros(24);
  b.Idx(0).U32(0);
  return b.B;
}

inline std::vector<uint8_t> ClassDefaults(std::initializer_list<std::vector<uint8_t>> parts) {
  TBuf b;
  for (const auto& p : parts) b.Bytes(p);
  return b.Idx(N_None).B;
}

inline std::vector<uint8_t> ObjectProp(int32_t name, uint8_t info, int32_t ref) {
  return TBuf().Idx(name).U8(info).Idx(ref).B;
}
inline std::vector<uint8_t> IntProp(int32_t name, int32_t v) {
  return TBuf().Idx(name).U8(0x22).U32(static_cast<uint32_t>(v)).B;
}
inline std::vector<uint8_t> String5D(const std::string& s) {
  TBuf b;
  b.Idx(N_MenuName).U8(0x5D).Idx(static_cast<int32_t>(s.size() + 2)).Idx(static_cast<int32_t>(s.size() + 1));
  for (char c : s) b.U8(static_cast<uint8_t>(c));
  return b.U8(0).B;
}
inline std::vector<uint8_t> String4D(const std::string& s) {
  TBuf b;
  b.Idx(N_MenuName).U8(0x4D).Idx(static_cast<int32_t>(s.size() + 1));
  for (char c : s) b.U8(static_cast<uint8_t>(c));
  return b.U8(0).B;
}

inline RawPackage MakePackage(const TMeshSpec& lod, const TMeshSpec& plain) {
  RawPackage p;
  p.Version = lod.Version;
  p.Names = NAMES;
  p.Imports = {{N_Core, N_Package, 0, N_Engine},
               {N_Core, N_Class, -1, N_LodMesh},
               {N_Core, N_Class, -1, N_Mesh},
               {N_Core, N_Class, -1, N_Texture},
               {N_Engine, N_Texture, -1, N_SkinTex},
               {N_Core, N_Package, 0, N_OtherPkg},
               {N_Core, N_LodMesh, -6, N_SoldierMesh},  // 6: a mesh of another package
               {N_Core, N_Package, 0, N_DotDot},
               {N_Core, N_LodMesh, -8, N_SoldierMesh}};  // 8: a "package" that is no file name
  // Soldier: decoys first (a reference past the tables, a texture, a zero skin), then the mesh,
  // a menu name longer than the data, the real 0x5D menu name and the skins.
  const auto soldier = ClassDefaults({ObjectProp(N_Mesh, 0x05, 99), ObjectProp(N_Mesh, 0x05, REF_SKIN_TEXTURE),
                                      IntProp(N_FaceSkin, 0), ObjectProp(N_Mesh, 0x05, REF_SOLDIER_MESH),
                                      TBuf().Idx(N_MenuName).U8(0x5D).Idx(1000).Idx(999).B,  // longer than the data
                                      String5D("Commando"), IntProp(N_FaceSkin, 3), IntProp(N_TeamSkin1, 1),
                                      IntProp(N_TeamSkin2, 2), IntProp(N_FixedSkin, 0)});
  const auto trooper = ClassDefaults({ObjectProp(N_Mesh, 0x15, REF_PLAIN_MESH), String4D("Trooper Mk2")});
  const auto civilian = ClassDefaults({String5D("Civilian")});
  p.Exports = {{0, 0, 0, N_Soldier, 0, soldier},
               {0, 0, 0, N_Trooper, 0, trooper},
               {0, 0, 0, N_Civilian, 0, civilian},
               {-2, 0, 0, N_SoldierMesh, 0, MeshData(lod)},
               {-3, 0, 0, N_PlainMesh, 0, MeshData(plain)}};
  return p;
}

inline TMeshSpec LodSpec(int32_t version = 69) {
  TMeshSpec s;
  s.Version = version;
  s.Packed = {Pack(8, 16, 4),   Pack(16, 8, 8),   Pack(24, 24, 12),        // frame 0
              Pack(1024, 8, 4), Pack(8, 1025, 8), Pack(800, 1600, 1000)};  // frame 1
  s.Seqs = {{N_Run, {0, 1}}, {N_Breath1, {1, 1}}};
  return s;
}

inline TMeshSpec PlainSpec(int32_t version = 69) {
  TMeshSpec s = LodSpec(version);
  s.Lod = false;
  s.Seqs.clear();
  return s;
}

inline const char* const INT_TEXT =
    "[Public]\r\n"
    "Object=(Name=MyPkg.Soldier,Class=Class,MetaClass=Botpack.TournamentPlayer)\r\n"
    "Object=(Name=mypkg.TROOPER,Class=Class,MetaClass=Botpack.TournamentPlayer,Description=\"x\")\r\n"
    "Object=(Name=MyPkg.Civilian,Class=Class,MetaClass=Botpack.TournamentPlayer)\r\n"
    "Object=(Name=OtherPkg.Soldier,Class=Class,MetaClass=Botpack.TournamentPlayer)\r\n"
    "Object=(Name=MyPkg.SkinTex,Class=Texture)\r\n";

struct TFixture {
  TScratch Dir;
  std::string Int, U;
  TFixture(const RawPackage& p, const std::string& intText = INT_TEXT) {
    Int = Scratch(Dir, "MyPkg.int");
    U = Scratch(Dir, "MyPkg.u");
    testsupport::WriteBytes(Int, intText);
    testsupport::WriteBytes(U, p.Build());
  }
};

}  // namespace mctest
