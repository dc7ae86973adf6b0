// MD2 files assembled byte by byte here, and the two public sample models against assimp.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "scene/FileMD2.h"
#include "tests/support/Scratch.h"

namespace {

struct TMD2Builder {
  int SkinWidth = 64, SkinHeight = 32;
  std::vector<std::pair<int16_t, int16_t>> TexCoords = {{0, 0}, {32, 16}, {64, 32}};
  std::vector<std::array<uint16_t, 6>> Triangles = {{0, 1, 2, 0, 1, 2}};
  int Vertices = 3;
  std::vector<std::string> FrameNames = {"stand01"};
  int FrameSizeExtra = 0;

  std::vector<uint8_t> Build() const {
    std::vector<uint8_t> out;
    auto i32 = [&](int32_t v) {
      for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k)));
    };
    auto i16 = [&](int v) {
      out.push_back(static_cast<uint8_t>(v & 0xFF));
      out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    };
    auto f32 = [&](float f) {
      int32_t v;
      std::memcpy(&v, &f, 4);
      i32(v);
    };
    const int frameSize = 40 + 4 * Vertices + FrameSizeExtra;
    const int skins = 68, tex = skins + 64, tris = tex + 4 * static_cast<int>(TexCoords.size());
    const int frames = tris + 12 * static_cast<int>(Triangles.size());
    const int end = frames + frameSize * static_cast<int>(FrameNames.size());
    out.insert(out.end(), {'I', 'D', 'P', '2'});
    for (int v : {8, SkinWidth, SkinHeight, frameSize, 1, Vertices, static_cast<int>(TexCoords.size()),
                  static_cast<int>(Triangles.size()), 0, static_cast<int>(FrameNames.size()), skins, tex, tris, frames,
                  end, end})
      i32(v);
    out.resize(out.size() + 64, 0);  // one skin name
    for (auto [s, t] : TexCoords) i16(s), i16(t);
    for (const auto& t : Triangles)
      for (uint16_t v : t) i16(v);
    for (size_t f = 0; f < FrameNames.size(); ++f) {
      for (float s : {1.0f, 2.0f, 0.5f}) f32(s);
      for (float t : {10.0f, 0.0f, -1.0f}) f32(t);
      std::string name = FrameNames[f];
      name.resize(16, '\0');
      out.insert(out.end(), name.begin(), name.end());
      for (int v = 0; v < Vertices; ++v)
        out.insert(out.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(2 * v), static_cast<uint8_t>(f), 0});
      out.resize(out.size() + static_cast<size_t>(FrameSizeExtra), 0);
    }
    return out;
  }
};

TEST(FileMD2, FramesTrianglesAndAnimationNames) {
  TMD2Builder b;
  b.FrameNames.clear();
  for (int i = 1; i <= 40; ++i) b.FrameNames.push_back((i < 10 ? "stand0" : "stand") + std::to_string(i));
  for (int i = 1; i <= 6; ++i) b.FrameNames.push_back("run" + std::to_string(i));
  b.FrameNames.push_back("death");
  b.FrameSizeExtra = 8;  // frames larger than their vertices need are legal
  const auto data = b.Build();
  TFileMD2 md2;
  md2.LoadFromMemory(data.data(), data.size());
  ASSERT_EQ(md2.FrameCount(), 47);
  EXPECT_EQ(md2.VertexCount(), 3);
  ASSERT_EQ(md2.TriangleCount(), 1);
  const auto& tri = md2.Triangles()[0];
  EXPECT_EQ(tri.Vertex[0], 2);
  EXPECT_EQ(tri.Vertex[1], 1);
  EXPECT_EQ(tri.Vertex[2], 0);
  EXPECT_FLOAT_EQ(tri.U[0], 1.0f);
  EXPECT_FLOAT_EQ(tri.V[0], 0.0f);  // t = 32 of 32: the skin's bottom row
  EXPECT_FLOAT_EQ(tri.U[1], 0.5f);
  EXPECT_FLOAT_EQ(tri.V[2], 1.0f);
  const auto& v = md2.Frame(41)[2];  // byte (2, 4, 41) * scale + translation
  EXPECT_FLOAT_EQ(v.X, 2 * 1.0f + 10.0f);
  EXPECT_FLOAT_EQ(v.Y, 4 * 2.0f);
  EXPECT_FLOAT_EQ(v.Z, 41 * 0.5f - 1.0f);
  const std::vector<std::pair<std::string, int>> names = {{"stand", 0}, {"run", 40}, {"death", 46}};
  EXPECT_EQ(md2.FrameNames, names);
  EXPECT_EQ(TFileMD2::AnimationName(" run12 "), "run");
}

TEST(FileMD2, BrokenFilesAreRefusedAndLeaveTheReaderEmpty) {
  auto patch32 = [](std::vector<uint8_t> d, size_t at, int32_t v) {
    std::memcpy(&d[at], &v, 4);
    return d;
  };
  const auto good = TMD2Builder().Build();
  TMD2Builder badIndex;
  badIndex.Triangles = {{0, 1, 3, 0, 1, 2}};
  TMD2Builder badTex;
  badTex.Triangles = {{0, 1, 2, 0, 1, 3}};
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    const char* message;
  } cases[] = {
      {"identifier", patch32(good, 0, 0x33504449), "identifier is not IDP2"},
      {"version", patch32(good, 4, 7), "version 7"},
      {"skin width 0", patch32(good, 8, 0), "skin size is 0"},
      {"frame size too small", patch32(good, 16, 40 + 4 * 3 - 1), "frame size"},
      {"vertex count huge", patch32(good, 24, 0x40000000), "frame size"},
      {"triangle count huge", patch32(good, 32, 0x7FFFFFFF), "triangle count"},
      {"frame offset past end", patch32(good, 56, 1 << 30), "frame offset"},
      {"negative frames", patch32(good, 40, -1), "frame count is negative"},
      {"vertex index", badIndex.Build(), "triangle vertex index 3"},
      {"texture index", badTex.Build(), "triangle texture coordinate index 3"},
      {"truncated", std::vector<uint8_t>(good.begin(), good.begin() + 40), "end of data"},
      {"empty", {}, "end of data"},
  };
  for (const auto& c : cases) {
    TFileMD2 md2;
    md2.LoadFromMemory(good.data(), good.size());
    try {
      md2.LoadFromMemory(c.data.data(), c.data.size());
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const EReadError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.what << ": " << e.what();
    }
    EXPECT_EQ(md2.FrameCount(), 0) << c.what;
    EXPECT_EQ(md2.TriangleCount(), 0) << c.what;
    EXPECT_TRUE(md2.FrameNames.empty()) << c.what;
  }
}

// assimp's OBJ export of an MD2 file gives frame 0: each face's corners in our order.
TEST(FileMD2, SampleModelsAgreeWithAssimp) {
  const std::string dir = "/usr/share/assimp/models/MD2/";
  if (!std::filesystem::exists("/usr/bin/assimp") || !std::filesystem::exists(dir + "sydney.md2"))
    GTEST_SKIP() << "assimp-utils and assimp-testmodels are needed (scripts/install-deps installs them)";
  const testsupport::TScratchDir scratchDir("md2");
  const std::filesystem::path& scratch = scratchDir.Path();
  for (const char* name : {"sydney", "faerie"}) {
    TFileMD2 md2;
    md2.LoadFromFile(dir + name + ".md2");
    const std::string obj = (scratch / (std::string(name) + ".obj")).string();
    const std::string cmd = "cd '" + scratch.string() + "' && /usr/bin/assimp export '" + dir + name + ".md2' '" + obj +
                            "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream in(obj);
    std::vector<std::array<float, 3>> v, vt;
    std::vector<std::array<int, 6>> faces;  // vertex and texture-coordinate numbers of each corner
    for (std::string line; std::getline(in, line);) {
      std::istringstream s(line);
      std::string tag;
      s >> tag;
      std::array<float, 3> p{0, 0, 0};
      if (tag == "v") s >> p[0] >> p[1] >> p[2], v.push_back(p);
      if (tag == "vt") s >> p[0] >> p[1], vt.push_back(p);
      if (tag == "f") {
        std::array<int, 6> f{};
        for (int k = 0; k < 3; ++k) {
          std::string corner;
          s >> corner;
          std::sscanf(corner.c_str(), "%d/%d", &f[k], &f[3 + k]);
        }
        faces.push_back(f);
      }
    }
    ASSERT_EQ(faces.size(), static_cast<size_t>(md2.TriangleCount())) << name;
    ASSERT_GT(md2.FrameCount(), 1) << name;
    EXPECT_FALSE(md2.FrameNames.empty()) << name;
    int mismatches = 0, uvMismatches = 0;
    for (int t = 0; t < md2.TriangleCount(); ++t) {
      const auto& tri = md2.Triangles()[static_cast<size_t>(t)];
      const auto& f = faces[static_cast<size_t>(t)];
      for (int k = 0; k < 3; ++k) {
        const auto& ours = md2.Frame(0)[tri.Vertex[k]];
        const size_t vi = static_cast<size_t>(f[k] - 1), ti = static_cast<size_t>(f[3 + k] - 1);
        ASSERT_LT(vi, v.size());
        ASSERT_LT(ti, vt.size());
        const auto& theirs = v[vi];
        // assimp turns the file's z-up axes to y-up: (x, z, -y).
        if (std::fabs(ours.X - theirs[0]) > 1e-3f || std::fabs(ours.Y + theirs[2]) > 1e-3f ||
            std::fabs(ours.Z - theirs[1]) > 1e-3f)
          ++mismatches;
        if (std::fabs(tri.U[k] - vt[ti][0]) > 1e-4f || std::fabs(tri.V[k] - vt[ti][1]) > 1e-4f) ++uvMismatches;
      }
    }
    EXPECT_EQ(mismatches, 0) << name;
    EXPECT_EQ(uvMismatches, 0) << name;
  }
}

}  // namespace
