// The Unreal 3D, Painter3D and MilkShape3D readers on files built here: material names from
// triangle types, the packed vertex decoding, frame choice, quarters of Painter3D skins, group
// materials, and refusal of every index or count that does not fit.
#include <gtest/gtest.h>

#include <cstring>

#include "ModelCompilerTestSupport.h"
#include "modelcompiler/ModelFileReaders.h"
#include "modelcompiler/SampleModel.h"

namespace {

void U16(TBytes& o, uint16_t v) { o.push_back(v & 0xFF), o.push_back(v >> 8); }
void U32(TBytes& o, uint32_t v) {
  for (int k = 0; k < 4; ++k) o.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

struct TUTri {
  uint16_t V[3];
  uint8_t Type, Texture;
};

TBytes Unreal3DData(uint16_t vertices, const std::vector<TUTri>& tris) {
  TBytes o;
  U16(o, static_cast<uint16_t>(tris.size()));
  U16(o, vertices);
  o.resize(48, 0);
  for (const TUTri& t : tris) {
    for (uint16_t v : t.V) U16(o, v);
    o.push_back(t.Type), o.push_back(0);
    for (uint8_t b : {0, 0, 255, 0, 0, 255}) o.push_back(b);
    o.push_back(t.Texture), o.push_back(0);
  }
  return o;
}

uint32_t Pack(uint32_t a, uint32_t b, uint32_t c) { return a | (b << 11) | (c << 22); }

TBytes Unreal3DAnim(const std::vector<std::vector<uint32_t>>& frames) {
  TBytes o;
  U16(o, static_cast<uint16_t>(frames.size()));
  U16(o, static_cast<uint16_t>(frames.empty() ? 0 : frames[0].size() * 4));
  for (const auto& f : frames)
    for (uint32_t v : f) U32(o, v);
  return o;
}

}  // namespace

TEST(Unreal3D, MaterialNamesFromTriangleTypes) {
  const struct {
    uint8_t Type;
    const char* Name;
    bool Kept;
  } cases[] = {{0, "SKIN1", true},       {1, "SKIN1.TWOS", true},       {2, "SKIN1.TWOS", true},
               {3, "SKIN1.TWOS", true},  {4, "SKIN1.MASK", true},       {6, "SKIN1.TWOS.MASK", true},
               {8, "SKIN1.WEAP", false}, {12, "SKIN1.WEAP.MASK", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Type));
    TObjeto3D m;
    Read3DMesh(Unreal3DData(3, {{{0, 1, 2}, c.Type, 1}}), Unreal3DAnim({{0, 0, 0}}), 0, m, "t");
    ASSERT_EQ(m.Materials.size(), 1u);
    EXPECT_EQ(m.Materials[0].Name, c.Name);
    EXPECT_EQ(m.Triangles.size(), c.Kept ? 1u : 0u);
  }
}

TEST(Unreal3D, PackedVerticesAndFrames) {
  const struct {
    uint32_t Packed;
    float X, Y, Z;  // (-b, -a, c)
  } cases[] = {
      {Pack(1024, 0, 0), 0, -128, 0},      // exactly 128 stays positive
      {Pack(1025, 0, 0), 0, 127.875f, 0},  // just above wraps
      {Pack(0, 1024, 0), -128, 0, 0},     {Pack(0, 2047, 0), 0.125f, 0, 0},
      {Pack(8, 16, 512), -2, -1, 128},    {Pack(0, 0, 513), 0, 0, -127.75f},
  };
  std::vector<uint32_t> frame1;
  for (const auto& c : cases) frame1.push_back(c.Packed);
  const std::vector<uint32_t> frame0(frame1.size(), Pack(8, 8, 4));
  const TBytes data = Unreal3DData(static_cast<uint16_t>(frame1.size()), {{{0, 1, 2}, 0, 0}});
  const TBytes anim = Unreal3DAnim({frame0, frame1});
  EXPECT_EQ(Read3DInfo(data, anim, "t").MaxNumber, 1);
  TObjeto3D m;
  Read3DMesh(data, anim, 1, m, "t");
  ASSERT_EQ(m.Vertices.size(), frame1.size());
  for (size_t i = 0; i < frame1.size(); ++i) {
    EXPECT_EQ(m.Vertices[i].X, cases[i].X) << i;
    EXPECT_EQ(m.Vertices[i].Y, cases[i].Y) << i;
    EXPECT_EQ(m.Vertices[i].Z, cases[i].Z) << i;
  }
  Read3DMesh(data, anim, 0, m, "t");
  EXPECT_EQ(m.Vertices[0].X, -1.0f);
  // Texture corners: u = byte / 255, v = 1 - byte / 255.
  EXPECT_EQ(m.UVs[1].U, 1.0f);
  EXPECT_EQ(m.UVs[1].V, 1.0f);
  EXPECT_EQ(m.UVs[2].V, 0.0f);
}

TEST(Unreal3D, BadFilesLeaveTheMeshEmpty) {
  const TBytes goodData = Unreal3DData(3, {{{0, 1, 2}, 0, 0}});
  const TBytes goodAnim = Unreal3DAnim({{0, 0, 0}});
  TBytes cut = goodData;
  cut.resize(cut.size() - 1);
  TBytes shortAnim = goodAnim;
  shortAnim.resize(shortAnim.size() - 2);
  const struct {
    TBytes Data, Anim;
    int Frame;
  } cases[] = {
      {Unreal3DData(3, {{{0, 1, 3}, 0, 0}}), goodAnim, 0},  // vertex index past the count
      {cut, goodAnim, 0},                                   // triangle count past the data
      {goodData, goodAnim, 1},                              // frame beyond the animation file
      {goodData, goodAnim, -1},
      {goodData, shortAnim, 0},  // frame shorter than the vertices
      {goodData, TBytes{}, 0},
  };
  for (const auto& c : cases) {
    TObjeto3D m;
    m.Vertices.resize(2);
    EXPECT_THROW(Read3DMesh(c.Data, c.Anim, c.Frame, m, "t"), EModelFileError);
    EXPECT_TRUE(m.Empty());
  }
}

namespace {

std::string P3D(const std::string& uvs, const std::string& tris) {
  return "Voodoo Ascii File\r\n"
         "TriM first\n{\nCoor\n{\nVect 0.0, 0.0, 0.0\nVect 1.5, 0.0, 0.0\nVect 0.0, 2.0, 0.0\n}\n"
         "UVCo\n{\n" +
         uvs + "}\n" + tris +
         "}\n"
         "TriM second\n{\nCoor\n{\nVect 9, 9, 9\n}\n}\n";
}

std::string Tri(int a, int b, int c) {
  auto corner = [](int i) { return "CNUV " + std::to_string(i) + ", 0, " + std::to_string(i) + "\n"; };
  return "MshT\n{\n" + corner(a) + corner(b) + corner(c) + "}\n";
}

}  // namespace

TEST(Painter3D, QuartersGiveSkinsAndCoordinatesMapIntoThem) {
  // (u, v) in the file; v is flipped on reading, then quartered.
  const struct {
    float U, V;
    const char* Skin;
    float MappedU, MappedV;
  } cases[] = {
      {0.25f, 0.25f, "SKIN0", 0.5f, 0.5f},  // read as v = 0.75
      {0.75f, 0.25f, "SKIN1", 0.5f, 0.5f},
      {0.25f, 0.75f, "SKIN2", 0.5f, 0.5f},
      {0.5f, 0.5f, "SKIN1", 0.0f, 0.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Skin);
    const std::string uv = "Vect " + std::to_string(c.U) + ", " + std::to_string(c.V) + "\n";
    const std::string text = P3D(uv + uv + uv, Tri(1, 2, 3));
    ASSERT_TRUE(IsPainter3DText(text));
    const TModelInfo info = ReadP3DInfo(text);
    EXPECT_EQ(info.Lines[1], "Triangles = 1");
    EXPECT_EQ(info.MaxNumber, 1);
    TObjeto3D m;
    ReadP3DMesh(text, 0, m, "t.p3d");
    AssignP3DSkins(m);
    ASSERT_EQ(m.Triangles.size(), 1u);
    EXPECT_EQ(m.Vertices[1].X, 1.5f);
    EXPECT_EQ(m.Materials[static_cast<size_t>(m.Triangles[0].Material)].Name, c.Skin);
    EXPECT_FLOAT_EQ(m.UVs[0].U, c.MappedU);
    EXPECT_FLOAT_EQ(m.UVs[0].V, c.MappedV);
  }
}

TEST(Painter3D, BadFilesAreRefused) {
  const std::string uv = "Vect 0.5, 0.5\n";
  const std::string cases[] = {
      P3D(uv, Tri(1, 2, 4)),                                                    // vertex index past the block
      P3D(uv, Tri(0, 1, 2)),                                                    // indices are 1-based
      P3D("Vect 0.5, x\n", Tri(1, 1, 1)),                                       // not a number
      P3D(uv, "MshT\n{\nCNUV 1,0,1\nCNUV 1,0,1\nCNUV 1,0,1\nCNUV 1,0,1\n}\n"),  // four corners
  };
  for (const std::string& text : cases) {
    TObjeto3D m;
    EXPECT_THROW(ReadP3DMesh(text, 0, m, "t.p3d"), EModelFileError);
    EXPECT_TRUE(m.Empty());
  }
  TObjeto3D m;
  EXPECT_THROW(ReadP3DMesh(P3D(uv, Tri(1, 1, 1)), 2, m, "t.p3d"), EModelFileError);
  EXPECT_FALSE(IsPainter3DText("Voodoo Ascii File v2\n"));
}

TEST(MilkShape3D, GroupsGiveMaterialsAndBadIndicesAreRefused) {
  TObjeto3D figure = MakeSampleFigure();
  // The last group loses its material: its triangles stay at -1.
  const TBytes good = MilkShape3DBytes(figure);
  TBytes noMaterial = good;
  {
    TObjeto3D m;
    ReadMS3DMesh(good, m, "s.ms3d");
    ASSERT_EQ(m.Triangles.size(), figure.Triangles.size());
    for (size_t i = 0; i < m.Triangles.size(); ++i) ASSERT_EQ(m.Triangles[i].Material, figure.Triangles[i].Material);
    EXPECT_EQ(m.Materials.size(), 4u);
    EXPECT_EQ(m.Normals.size(), 3 * m.Triangles.size());
  }
  // Offsets from the end: materials (2 + 4 * 361), trailer 14, so the last group's material
  // byte is just before the material count.
  const size_t materialByte = good.size() - 14 - 4 * 361 - 2 - 1;
  noMaterial[materialByte] = 255;
  TObjeto3D m;
  ReadMS3DMesh(noMaterial, m, "s.ms3d");
  EXPECT_EQ(m.Triangles.back().Material, -1);
  TBytes badMaterial = good;
  badMaterial[materialByte] = 4;
  TBytes badVertex = good;
  const size_t firstTriangle = 10 + 4 + 2 + 15 * figure.Vertices.size() + 2;
  badVertex[firstTriangle + 2] = 0xFF, badVertex[firstTriangle + 3] = 0xFF;
  TBytes cut = good;
  cut.resize(cut.size() - 20);
  for (const TBytes& b : {badMaterial, badVertex, cut}) {
    TObjeto3D bad;
    EXPECT_THROW(ReadMS3DMesh(b, bad, "s.ms3d"), EModelFileError);
    EXPECT_TRUE(bad.Empty());
  }
  EXPECT_EQ(ReadMS3DInfo(good, "s.ms3d").Lines[1], "Triangles = " + std::to_string(figure.Triangles.size()));
}
