#pragma once
// The layout of an MD2 model file (little-endian): a 68-byte header of seventeen 32-bit integers,
// then skins, texture coordinates, triangles, frames and GL commands at the header's offsets.
#include <cstdint>

namespace MD2Layout {
constexpr uint32_t Identifier = 0x32504449;  // "IDP2"
constexpr int32_t Version = 8;
constexpr int HeaderSize = 68;
constexpr int SkinNameSize = 64;
constexpr int TexCoordSize = 4;      // s, t: two int16
constexpr int TriangleSize = 12;     // three vertex and three texture-coordinate indices, uint16
constexpr int FrameHeaderSize = 40;  // scale (3 f32), translation (3 f32), name (16 bytes)
constexpr int FrameNameSize = 16;
constexpr int FrameVertexSize = 4;  // x, y, z bytes and a normal index
}  // namespace MD2Layout

struct TMD2Header {
  uint32_t Ident = 0;
  int32_t Version = 0;
  int32_t SkinWidth = 0, SkinHeight = 0, FrameSize = 0;
  int32_t NumSkins = 0, NumVertices = 0, NumTexCoords = 0, NumTriangles = 0, NumGLCommands = 0, NumFrames = 0;
  int32_t OffsetSkins = 0, OffsetTexCoords = 0, OffsetTriangles = 0, OffsetFrames = 0, OffsetGLCommands = 0,
          OffsetEnd = 0;
};

struct TMD2Vertex {
  float X, Y, Z;
};

// A triangle as stored by the reader: corners in the file's reverse order, each with its vertex
// index and texture coordinate (s / skin width, 1 - t / skin height: the skin's top row is t = 0
// in the file, and textures are uploaded bottom row first).
struct TMD2Triangle {
  uint16_t Vertex[3];
  float U[3], V[3];
};
