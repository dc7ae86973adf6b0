// Our readers against assimp on its own sample models: triangle counts, positions and texture
// coordinates, the triangles compared as sets (assimp splits meshes by material and shares
// vertices differently). assimp's axis conventions differ from ours; each case names the map
// from our coordinates to assimp's.
#include <gtest/gtest.h>

#include "ModelCompilerTestSupport.h"
#include "modelcompiler/ModelFileReaders.h"
#include "platform/Streams.h"
#include "scene/File3DS.h"

using namespace mctest;

namespace {

const std::string Models = ASSIMP_MODELS;
const char* const Assimp = "/usr/bin/assimp";

bool HaveAssimp(const std::string& model) {
  return access(Assimp, X_OK) == 0 && access((Models + "/" + model).c_str(), R_OK) == 0;
}

TSoup AssimpSoup(const std::string& model, const TScratch& scratch) {
  const std::string out = Scratch(scratch, "peer.obj");
  RunCommand(std::string(Assimp) + " export '" + Models + "/" + model + "' '" + out + "'");
  return SoupOfObj(out);
}

TObjeto3D ReadOurs(const std::string& model) {
  const std::string path = Models + "/" + model;
  TObjeto3D mesh;
  if (model.ends_with("_d.3d")) {
    const std::string base = path.substr(0, path.size() - 5);
    Read3DMesh(ReadWholeFile(base + "_d.3d"), ReadWholeFile(base + "_a.3d"), 0, mesh, base);
  } else if (model.ends_with(".ms3d")) {
    ReadMS3DMesh(ReadWholeFile(path), mesh, path);
  } else {
    TFile3DS file;
    file.LoadFromFile(path);
    TObjeto3D all;
    for (int i = 0; i < file.Objects.MeshCount(); ++i) {
      TObjeto3D one;
      Read3DSMesh(file, i, one, path);
      const int32_t v0 = static_cast<int32_t>(all.Vertices.size()), t0 = static_cast<int32_t>(all.UVs.size());
      all.Vertices.insert(all.Vertices.end(), one.Vertices.begin(), one.Vertices.end());
      all.UVs.insert(all.UVs.end(), one.UVs.begin(), one.UVs.end());
      for (TObjeto3DTriangulo t : one.Triangles) {
        t.Vertex0 += v0, t.Vertex1 += v0, t.Vertex2 += v0;
        t.UV0 += t0, t.UV1 += t0, t.UV2 += t0;
        all.Triangles.push_back(t);
      }
    }
    mesh = std::move(all);
  }
  return mesh;
}

struct TPeerCase {
  const char* Model;
  std::function<TCorner(const TCorner&)> Map;
};

}  // namespace

TEST(AssimpPeer, TrianglesPositionsAndTextureCoordinatesMatch) {
  // Unreal 3D: assimp applies box.uc's MESHMAP SCALE (0.1, 0.1, 0.2) to the raw 11/11/10-bit
  // values that we divide by 8, 8 and 4, and keeps the file's axes, which we turn into
  // (-b, -a, c). 3DS: assimp turns Z-up into Y-up. MilkShape3D: the same axes.
  const auto same = [](const TCorner& c) { return c; };
  const TPeerCase cases[] = {
      {"3D/box_d.3d",
       [](const TCorner& c) {
         return TCorner{-0.8 * c[1], -0.8 * c[0], -0.8 * c[2], c[3], c[4]};
       }},
      {"MS3D/jeep1.ms3d", same},
      {"MS3D/twospheres_withmats.ms3d", same},
      {"3DS/test1.3ds",
       [](const TCorner& c) {
         return TCorner{c[0], c[2], -c[1], c[3], c[4]};
       }},
      {"3DS/fels.3ds",
       [](const TCorner& c) {
         return TCorner{c[0], c[2], -c[1], c[3], c[4]};
       }},
  };
  for (const TPeerCase& c : cases) {
    SCOPED_TRACE(c.Model);
    if (!HaveAssimp(c.Model))
      GTEST_SKIP() << "assimp or its model " << c.Model
                   << " is missing (scripts/install-deps installs assimp-utils and assimp-testmodels)";
    TScratch scratch;
    const TSoup peer = AssimpSoup(c.Model, scratch);
    const TSoup ours = SoupOf(ReadOurs(c.Model), c.Map);
    ASSERT_FALSE(peer.empty());
    EXPECT_TRUE(SameSoup(ours, peer, 1e-3, 2e-3));
  }
}

// assimp refuses the empty file; we load it as a database without meshes and refuse to read a
// mesh from it with our own error, not a crash.
TEST(AssimpPeer, EmptyFileHasNoMesh) {
  const std::string path = Models + "/invalid/empty.3ds";
  if (access(path.c_str(), R_OK) != 0) GTEST_SKIP() << path << " is missing (assimp-testmodels)";
  EXPECT_NE(RunCommand(std::string(Assimp) + " info '" + path + "'").find("ERROR"), std::string::npos);
  TFile3DS file;
  file.LoadFromFile(path);
  const TModelInfo info = Read3DSInfo(file);
  EXPECT_EQ(info.Lines.back(), "Meshes    = 0");
  TObjeto3D mesh;
  mesh.Vertices.resize(3);
  EXPECT_THROW(Read3DSMesh(file, 0, mesh, path), EModelFileError);
  EXPECT_TRUE(mesh.Empty());
}
