// The mesh cut into section actors: which triangles each actor gets and its normals.
#include <gtest/gtest.h>

#include <cmath>

#include "preview/SectionMesh.h"

namespace {

TObjeto3DTriangulo Tri(int32_t a, int32_t b, int32_t c, int32_t material, int32_t n0 = -1, int32_t n1 = -1,
                       int32_t n2 = -1) {
  TObjeto3DTriangulo t;
  t.Vertex0 = a, t.Vertex1 = b, t.Vertex2 = c;
  t.UV0 = a, t.UV1 = b, t.UV2 = c;
  t.Normal0 = n0, t.Normal1 = n1, t.Normal2 = n2;
  t.Material = material;
  return t;
}

// Vertices 0..2: a counter-clockwise triangle in the XY plane; 3: a point on the line 0-1.
TObjeto3D BaseMesh() {
  TObjeto3D m;
  m.Vertices = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {1, 0, 0}};
  m.UVs = {{0, 0}, {1, 0}, {0, 1}, {0.5f, 0}};
  m.Materials = {{"a", MATERIAL_NORMAL}, {"b", MATERIAL_NORMAL}};
  return m;
}

TEST(SectionMesh, TrianglesGoToTheActorOfTheirMaterial) {
  TObjeto3D m = BaseMesh();
  // As the compiler stores a model with a .WEAP material and triangles without a material: the
  // weapon row where the user put it, then a nameless weapon material for the others.
  m.Materials = {{"body", MATERIAL_NORMAL}, {"WEAPON", MATERIAL_WEAPON}, {"face", 4}, {"", MATERIAL_WEAPON}};
  m.Triangles = {Tri(0, 1, 2, 0),  Tri(0, 1, 2, 0), Tri(0, 1, 2, 1),
                 Tri(0, 1, 2, 2),  Tri(0, 1, 2, 3), Tri(0, 1, 2, 8),  // no section 9
                 Tri(0, 1, 2, 6),                                     // past the material list: an ordinary section
                 Tri(0, 1, 2, -1), Tri(0, 7, 2, 0)};                  // no material; vertex out of range
  const TSectionMeshes s = BuildSectionMeshes(m);
  EXPECT_EQ(s[0].Vertices.size(), 6u);
  EXPECT_EQ(s[1].Vertices.size(), 0u);  // the model's weapon is not drawn
  EXPECT_EQ(s[2].Vertices.size(), 3u);
  EXPECT_EQ(s[3].Vertices.size(), 0u);  // nor the triangles without a material
  EXPECT_EQ(s[6].Vertices.size(), 3u);
  for (const TSectionMesh& a : s) {
    EXPECT_EQ(a.Normals.size(), a.Vertices.size());
    EXPECT_EQ(a.TexCoords.size(), a.Vertices.size());
  }
  EXPECT_EQ(s[0].Vertices[1], (TAffineVector{2, 0, 0}));
  EXPECT_EQ(s[0].TexCoords[2], (TAffineVector{0, 1, 0}));
}

TEST(SectionMesh, EveryCornerGetsAUnitNormal) {
  const TAffineVector up{0, 0, 1};
  struct TCase {
    const char* what;
    int32_t a, b, c;  // vertices
    int32_t normal;   // normal index of every corner
    TAffineVector expected;
  };
  const TCase cases[] = {
      {"stored normal, normalised", 0, 1, 2, 0, {0, 0.6f, 0.8f}},
      {"-1: plane normal", 0, 1, 2, -1, up},
      {"65535: plane normal", 0, 1, 2, 65535, up},
      {"out of range: plane normal", 0, 1, 2, 7, up},
      {"zero length stored: plane normal", 0, 1, 2, 1, up},
      {"clockwise: plane normal faces away", 0, 2, 1, -1, {0, 0, -1}},
      {"degenerate: (0, 0, 1)", 0, 1, 3, -1, up},
      {"degenerate, zero stored normal", 0, 3, 1, 1, up},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TObjeto3D m = BaseMesh();
    m.Normals = {{0, 3, 4}, {0, 0, 0}};
    m.Triangles = {Tri(c.a, c.b, c.c, 1, c.normal, c.normal, c.normal)};
    const TSectionMeshes s = BuildSectionMeshes(m);
    ASSERT_EQ(s[1].Normals.size(), 3u);
    for (const TAffineVector& n : s[1].Normals)
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(n[i], c.expected[i], 1e-6) << i;
  }
}

}  // namespace
