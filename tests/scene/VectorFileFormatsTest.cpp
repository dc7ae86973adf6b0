// The model-file loaders: counts against the assimp peer on its own test models, bad files
// refused without touching the mesh, and the details of each format.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/Paths.h"
#include "platform/Streams.h"
#include "scene/VectorFileFormats.h"
#include "tests/support/PeerTools.h"
#include "tests/scene/RecordingFixture.h"

namespace {

constexpr const char* Models = "/usr/share/assimp/models/";

int CornerCount(TMeshObject* mo) {
  if (mo->Mode != momFaceGroups) return mo->Vertices.Count();
  int n = 0;
  for (int i = 0; i < mo->FaceGroups().Count(); ++i)
    n += static_cast<TFGVertexIndexList*>(mo->FaceGroups().Items(i))->VertexIndices.Count();
  return n;
}

// "Vertices:" and "Faces:" of `assimp info -r`: without post-processing assimp keeps one
// vertex per face corner, so a triangle mesh has three vertices per face.
bool AssimpCounts(const std::string& file, long& vertices, long& faces) {
  const std::string out = testsupport::RunCommand("assimp info " + file + " -r");
  auto field = [&out](const char* name, long& v) {
    const size_t p = out.find(name);
    if (p == std::string::npos) return false;
    v = std::stol(out.substr(p + std::strlen(name)));
    return true;
  };
  return field("Vertices:", vertices) && field("Faces:", faces);
}

TEST(VectorFiles, CountsMatchTheAssimpPeer) {
  SKIP_WITHOUT_PEER("/usr/bin/assimp");
  if (access(Models, R_OK) != 0) GTEST_SKIP() << Models << " is missing: assimp-testmodels holds the peer's models";
  for (const char* name :
       {"OBJ/spider.obj", "OBJ/WusonOBJ.obj", "STL/Spider_binary.stl", "STL/Wuson.stl", "STL/3DSMaxExport.STL"}) {
    const std::string file = std::string(Models) + name;
    long vertices = 0, faces = 0;
    ASSERT_TRUE(AssimpCounts(file, vertices, faces)) << file;
    TFreeForm mesh;
    const TVectorFileFormat* format = FindVectorFileFormat(ExtractFileExt(file));
    ASSERT_NE(format, nullptr) << file;
    std::unique_ptr<TVectorFile> loader = format->Create(&mesh);
    loader->LoadFromFile(file);
    ASSERT_EQ(mesh.MeshObjects().Count(), 1) << file;
    const int corners = CornerCount(mesh.MeshObjects().Items(0));
    EXPECT_EQ(corners, vertices) << file;
    EXPECT_EQ(corners / 3, faces) << file;
  }
}

void Load(TVectorFile& loader, const std::string& text) {
  loader.LoadFromMemory(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

TEST(VectorFiles, BadFilesAreRefusedAndAddNothing) {
  const std::string obj3 = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n";
  struct Case {
    const char* What;
    std::string Text;
    std::string Message;
  } objCases[] = {
      {"corner without all numbers", obj3 + "f 1 2 3\n", "'' is not a valid integer value"},
      {"corner without texture", obj3 + "f 1//1 2//1 3//1\n", "'' is not a valid integer value"},
      {"not a number", obj3 + "f 1/1/1 2/x/1 3/1/1\n", "'x' is not a valid integer value"},
      {"index zero", obj3 + "f 0/1/1 2/1/1 3/1/1\n", "face vertex index out of range (the file has 3 vertices)"},
      {"vertex past the end", obj3 + "f 1/1/1 2/1/1 4/1/1\n",
       "face vertex index out of range (the file has 3 vertices)"},
      {"negative past the start", obj3 + "f 1/1/1 2/1/-2 3/1/1\n",
       "face normal index out of range (the file has 1 normals)"},
      {"texture coordinate past the end", obj3 + "f 1/2/1 2/1/1 3/1/1\n",
       "face texture coordinate index out of range (the file has 1 texture coordinates)"},
  };
  for (const Case& c : objCases) {
    TFreeForm mesh;
    TGLOBJVectorFile loader(&mesh);
    EXPECT_EQ(MessageOf([&] { Load(loader, c.Text); }), c.Message) << c.What;
    EXPECT_EQ(mesh.MeshObjects().Count(), 0) << c.What;
  }
  std::string truncated(84 + 49, '\0');
  truncated[80] = 1;
  std::string huge(84, '\0');
  huge[83] = '\x7f';
  const Case stlCases[] = {
      {"text file", "solid x\nfacet normal 0 0 1\n", "text stereolithography files are not supported"},
      {"short header", std::string(50, 'a'), "unexpected end of data reading the header"},
      {"truncated facet", truncated, "facet count 1 exceeds the data"},
      {"huge count", huge, "facet count 2130706432 exceeds the data"},
  };
  for (const Case& c : stlCases) {
    TFreeForm mesh;
    TGLSTLVectorFile loader(&mesh);
    EXPECT_EQ(MessageOf([&] { Load(loader, c.Text); }), c.Message) << c.What;
    EXPECT_EQ(mesh.MeshObjects().Count(), 0) << c.What;
  }
  // The peer's own text STL, through the file loader: the error names the file.
  const std::string ascii = std::string(Models) + "STL/Spider_ascii.stl";
  if (access(ascii.c_str(), R_OK) == 0) {
    TFreeForm mesh;
    TGLSTLVectorFile loader(&mesh);
    EXPECT_EQ(MessageOf<EReadError>([&] { loader.LoadFromFile(ascii); }),
              ascii + ": text stereolithography files are not supported");
  }
  TGLScene notAMesh;
  EXPECT_THROW(TGLOBJVectorFile{notAMesh.Objects().AddNewChild<TGLSceneObject>()}, EAssertionFailed);
}

TEST(VectorFiles, FormatDetails) {
  // OBJ: a quad fans into two triangles, groups split face groups, negative indices count back.
  TFreeForm mesh;
  TGLOBJVectorFile obj(&mesh);
  Load(obj,
       "# comment\r\nv 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\nv 0 1 0\r\nv 1 2\r\nvt 0 0\r\nvt 1 1\r\nvn 0 0 1\r\n"
       "g a\r\nf 1/1/1 2/2/1 3/1/1 4/2/1\r\ng b\r\nf -1/-1/-1 -2/-2/-1 -3/-1/-1\r\nusemtl x\r\n");
  ASSERT_EQ(mesh.MeshObjects().Count(), 1);
  TMeshObject* mo = mesh.MeshObjects().Items(0);
  EXPECT_EQ(mo->Vertices.Count(), 4);  // "v" with two numbers is not a vertex
  ASSERT_EQ(mo->FaceGroups().Count(), 2);
  auto* a = static_cast<TFGVertexNormalTexIndexList*>(mo->FaceGroups().Items(0));
  auto* b = static_cast<TFGVertexNormalTexIndexList*>(mo->FaceGroups().Items(1));
  EXPECT_EQ((std::vector<int>(a->VertexIndices.List(), a->VertexIndices.List() + 6)),
            (std::vector<int>{0, 1, 2, 0, 2, 3}));
  EXPECT_EQ((std::vector<int>(a->TexCoordIndices.List(), a->TexCoordIndices.List() + 6)),
            (std::vector<int>{0, 1, 0, 0, 0, 1}));
  EXPECT_EQ((std::vector<int>(b->VertexIndices.List(), b->VertexIndices.List() + 3)), (std::vector<int>{3, 2, 1}));

  // STL: corners reversed when the stored normal opposes their winding.
  TMemoryStream stl;
  stl.WriteString(std::string(80, ' '));
  stl.WriteU32(2);
  for (float nz : {1.0f, -1.0f}) {
    for (float f : {0.0f, 0.0f, nz, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f}) stl.WriteF32(f);
    stl.WriteU16(0);
  }
  TFreeForm stlMesh;
  TGLSTLVectorFile stlLoader(&stlMesh);
  stlLoader.LoadFromStream(stl);
  TMeshObject* s = stlMesh.MeshObjects().Items(0);
  ASSERT_EQ(s->Vertices.Count(), 6);
  EXPECT_EQ(s->Vertices[1][0], 1);  // file order
  EXPECT_EQ(s->Vertices[3][1], 1);  // reversed: the third corner first
  EXPECT_EQ(s->Normals[5][2], -1);

  // TIN: only "t" lines of nine numbers.
  TFreeForm tinMesh;
  TGLTINVectorFile tin(&tinMesh);
  Load(tin, "t 0 0 0 1 0 0 0 1 0\nt 1 2 3\nt 0 0 0 0 1 0 1 0 0\nx 0 0 0 1 0 0 0 1 0\nt 0 0 0 1 0 0 0 1 z\n");
  TMeshObject* t = tinMesh.MeshObjects().Items(0);
  EXPECT_EQ(t->Vertices.Count(), 6);
  EXPECT_EQ(t->Normals[0][2], 1);
  EXPECT_EQ(t->Normals[3][2], -1);

  EXPECT_EQ(FindVectorFileFormat(".OBJ")->Description, "WaveFront files");
  EXPECT_EQ(FindVectorFileFormat("stl")->Description, "Stereolithography files");
  EXPECT_EQ(FindVectorFileFormat("dxf"), nullptr);
}

}  // namespace
