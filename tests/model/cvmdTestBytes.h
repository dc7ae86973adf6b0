#pragma once
// Builds .cvmd bytes field by field, independently of the writer, for the model data file tests.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "model/crvn_o3d.h"

struct TCvmdBytes {
  std::vector<uint8_t> B;

  TCvmdBytes& U8(uint8_t v) {
    B.push_back(v);
    return *this;
  }
  TCvmdBytes& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
  TCvmdBytes& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  TCvmdBytes& F32(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return U32(u);
  }
  TCvmdBytes& Text(const std::string& s) {
    B.insert(B.end(), s.begin(), s.end());
    return *this;
  }
  TCvmdBytes& Chunk(const std::string& tag, uint32_t size, uint16_t count) { return Text(tag).U32(size).U16(count); }
  TCvmdBytes& Material(const std::string& name, int32_t flags) {
    return U8(static_cast<uint8_t>(name.size())).Text(name).U32(static_cast<uint32_t>(flags));
  }
  // A MESH record: the order in the file interleaves vertices and texture coordinates.
  TCvmdBytes& Tri(uint16_t v0, uint16_t uv0, uint16_t v1, uint16_t uv1, uint16_t v2, uint16_t uv2, uint16_t mat,
                  uint16_t n0, uint16_t n1, uint16_t n2) {
    return U16(v0).U16(uv0).U16(v1).U16(uv1).U16(v2).U16(uv2).U16(mat).U16(n0).U16(n1).U16(n2);
  }
  TCvmdBytes& OldTri(uint16_t v0, uint16_t uv0, uint16_t v1, uint16_t uv1, uint16_t v2, uint16_t uv2, uint16_t mat) {
    return U16(v0).U16(uv0).U16(v1).U16(uv1).U16(v2).U16(uv2).U16(mat);
  }
};

// A mesh with something in every list, to see that a load clears it.
inline TObjeto3D CvmdPrefilled() {
  TObjeto3D m;
  m.Vertices.push_back({1, 2, 3});
  m.UVs.push_back({0.5f, 0.5f});
  m.Normals.push_back({0, 0, 1});
  m.Materials.push_back({"old", 4});
  m.Triangles.push_back({});
  return m;
}
