#pragma once
// Reader of MD2 model files: a morph-animated triangle mesh, one vertex array per frame, and the
// animation names derived from the frame names. The header is checked before anything is
// allocated: every count and offset must fit the file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "scene/TypesMD2.h"

class TStream;

class TFileMD2 {
 public:
  int FrameCount() const { return static_cast<int>(FFrames.size()); }
  int VertexCount() const { return FVertexCount; }
  int TriangleCount() const { return static_cast<int>(FTriangles.size()); }
  const std::vector<TMD2Triangle>& Triangles() const { return FTriangles; }
  const std::vector<TMD2Vertex>& Frame(int index) const { return FFrames.at(static_cast<size_t>(index)); }
  // Animation names with the frame each starts at, in the order met.
  std::vector<std::pair<std::string, int>> FrameNames;

  // Reads a whole file held in memory; raises EReadError naming what is wrong, leaving the
  // reader empty.
  void LoadFromMemory(const uint8_t* data, size_t size);
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& fileName);
  void Clear();

  // The animation a frame name belongs to: the trailing frame number (one or two digits) goes.
  static std::string AnimationName(const std::string& frameName);

 private:
  int FVertexCount = 0;
  std::vector<TMD2Triangle> FTriangles;
  std::vector<std::vector<TMD2Vertex>> FFrames;
};
