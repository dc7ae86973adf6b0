// Bad model data files: every one must raise EInOutError naming the file and the fault, and
// leave the mesh empty; none may read outside the data or allocate from a count alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "model/crvn_cvmdformat.h"
#include "platform/Exceptions.h"
#include "tests/model/cvmdTestBytes.h"
#include "tests/support/Files.h"
#include "tests/support/Scratch.h"

namespace fs = std::filesystem;

namespace {

// Loads bytes that must be refused; returns the error message ("" when nothing was raised).
std::string Refusal(const std::vector<uint8_t>& data, const std::string& name = "bad.cvmd") {
  TObjeto3D m = CvmdPrefilled();
  std::string message;
  try {
    LoadFromCVMDMemory(m, data.data(), data.size(), name);
  } catch (const EInOutError& e) {
    message = e.Message;
  }
  EXPECT_TRUE(m.Empty()) << "a refused file left data in the mesh";
  return message;
}

#define EXPECT_REFUSED(bytes, ...)                                                                  \
  do {                                                                                              \
    std::string msg_ = Refusal(bytes);                                                              \
    EXPECT_FALSE(msg_.empty()) << "loaded without an error";                                        \
    EXPECT_EQ(msg_.rfind("bad.cvmd: ", 0), 0u) << msg_;                                             \
    for (const char* part_ : {__VA_ARGS__}) EXPECT_NE(msg_.find(part_), std::string::npos) << msg_; \
  } while (0)

// A small valid file with one of each chunk; ends[] are the offsets where a chunk ends.
TCvmdBytes SmallV200(std::vector<size_t>* ends = nullptr) {
  TCvmdBytes b;
  auto mark = [&] {
    if (ends) ends->push_back(b.B.size());
  };
  b.U16(0x0200);
  mark();
  b.Chunk("VERT", 36, 3).F32(0).F32(0).F32(0).F32(1).F32(0).F32(0).F32(0).F32(1).F32(0);
  mark();
  b.Chunk("TEXC", 16, 2).F32(0).F32(0).F32(1).F32(1);
  mark();
  b.Chunk("NORM", 12, 1).F32(0).F32(0).F32(1);
  mark();
  b.Chunk("MATS", 2 + 8 + 5, 2).Material("abc", 2).Material("", 0);
  mark();
  b.Chunk("MESH", 40, 2).Tri(0, 0, 1, 1, 2, 0, 1, 0, 0, 65535).Tri(2, 1, 1, 0, 0, 1, 0, 65535, 0, 0);
  mark();
  return b;
}

TCvmdBytes SmallOld(uint16_t version) {
  TCvmdBytes b;
  b.U16(version).U16(3).F32(0).F32(0).F32(0).F32(1).F32(0).F32(0).F32(0).F32(1).F32(0);
  b.U16(1).F32(0.75f).F32(0.75f).U16(1).Material("m", 3).U16(1).OldTri(0, 0, 1, 0, 2, 0, 0);
  return b;
}

std::vector<uint8_t> Prefix(const TCvmdBytes& b, size_t n) { return {b.B.begin(), b.B.begin() + n}; }

}  // namespace

TEST(CvmdMalformed, TruncatedAtEveryByte) {
  std::vector<size_t> ends;
  const TCvmdBytes v200 = SmallV200(&ends);
  TObjeto3D whole;
  ASSERT_TRUE(LoadFromCVMDMemory(whole, v200.B.data(), v200.B.size(), "bad.cvmd"));
  EXPECT_EQ(whole.Triangles.size(), 2u);
  // Cut at a chunk boundary the file is a shorter valid file; anywhere else it is refused.
  for (size_t n = 0; n < v200.B.size(); ++n) {
    SCOPED_TRACE("length " + std::to_string(n));
    const std::vector<uint8_t> cut = Prefix(v200, n);
    bool boundary = std::find(ends.begin(), ends.end(), n) != ends.end();
    if (boundary) {
      TObjeto3D m;
      EXPECT_TRUE(LoadFromCVMDMemory(m, cut.data(), cut.size(), "bad.cvmd"));
    } else {
      EXPECT_FALSE(Refusal(cut).empty());
    }
  }
  for (uint16_t version : {0x0102, 0x0103}) {
    const TCvmdBytes old = SmallOld(version);
    TObjeto3D m;
    ASSERT_TRUE(LoadFromCVMDMemory(m, old.B.data(), old.B.size(), "bad.cvmd"));
    for (size_t n = 0; n < old.B.size(); ++n) {
      SCOPED_TRACE("version " + std::to_string(version) + " length " + std::to_string(n));
      EXPECT_FALSE(Refusal(Prefix(old, n)).empty());
    }
  }
}

TEST(CvmdMalformed, CountsBeyondTheDataAreRefusedBeforeAllocating) {
  TCvmdBytes vert;
  vert.U16(0x0200).Chunk("VERT", 65535 * 12, 65535).F32(1).F32(2).F32(3);
  EXPECT_REFUSED(vert.B, "VERT");
  TCvmdBytes mats;
  mats.U16(0x0200).Chunk("MATS", 2, 65535);
  EXPECT_REFUSED(mats.B, "MATS");
  TCvmdBytes matsSize;
  matsSize.U16(0x0200).Chunk("MATS", 0xFFFFFFFFu, 1).Material("a", 0);
  EXPECT_REFUSED(matsSize.B, "MATS chunk size");
  TCvmdBytes mesh;
  mesh.U16(0x0200).Chunk("MESH", 65535 * 20, 65535).Tri(0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_REFUSED(mesh.B, "MESH");
  TCvmdBytes name;  // a name longer than what is left
  name.U16(0x0200).Chunk("MATS", 2 + 5 + 200, 1).U8(200).Text("short").U32(0);
  EXPECT_REFUSED(name.B, "MATS");
  TCvmdBytes old;
  old.U16(0x0103).U16(65535).F32(0);
  EXPECT_REFUSED(old.B, "vertex");
  TCvmdBytes oldTris;
  oldTris.U16(0x0102).U16(0).U16(0).U16(0).U16(4000).OldTri(0, 0, 0, 0, 0, 0, 0);
  EXPECT_REFUSED(oldTris.B, "triangles");
}

TEST(CvmdMalformed, ChunkSizesMustMatchTheirRecords) {
  TCvmdBytes vert;
  vert.U16(0x0200).Chunk("VERT", 24, 1).F32(1).F32(2).F32(3).F32(4).F32(5).F32(6);
  EXPECT_REFUSED(vert.B, "VERT chunk size 24");
  TCvmdBytes texc;
  texc.U16(0x0200).Chunk("TEXC", 0, 1).F32(1).F32(2);
  EXPECT_REFUSED(texc.B, "TEXC chunk size 0");
  TCvmdBytes mats;  // the size forgot the two count bytes
  mats.U16(0x0200).Chunk("MATS", 6, 1).Material("a", 1).Chunk("MESH", 0, 0);
  EXPECT_REFUSED(mats.B, "MATS chunk size 6");
  TCvmdBytes mesh;
  mesh.U16(0x0200).Chunk("MESH", 21, 0).U8(0);
  EXPECT_REFUSED(mesh.B, "MESH chunk size 21");
}

TEST(CvmdMalformed, IndicesOutsideTheirListsNameTheTriangleAndCorner) {
  auto withTri = [](uint16_t v2, uint16_t uv1, uint16_t mat, uint16_t n0) {
    TCvmdBytes b;
    b.U16(0x0200).Chunk("VERT", 36, 3);
    for (int i = 0; i < 9; ++i) b.F32(0);
    b.Chunk("TEXC", 16, 2).F32(0).F32(0).F32(0).F32(0).Chunk("NORM", 12, 1).F32(0).F32(0).F32(1);
    b.Chunk("MATS", 2 + 6, 1).Material("a", 0);
    b.Chunk("MESH", 40, 2).Tri(0, 0, 1, 1, 2, 0, 0, 0, 65535, 65535).Tri(0, 0, 1, uv1, v2, 0, mat, n0, 65535, 65535);
    return b.B;
  };
  TObjeto3D ok;
  const std::vector<uint8_t> good = withTri(2, 1, 0, 0);
  ASSERT_TRUE(LoadFromCVMDMemory(ok, good.data(), good.size(), "bad.cvmd"));
  EXPECT_REFUSED(withTri(3, 1, 0, 0), "MESH triangle 1 vertex 2 index 3 out of range");
  EXPECT_REFUSED(withTri(65535, 1, 0, 0), "MESH triangle 1 vertex 2 index 65535");
  EXPECT_REFUSED(withTri(2, 2, 0, 0), "MESH triangle 1 texture coordinate 1 index 2");
  EXPECT_REFUSED(withTri(2, 1, 1, 0), "MESH triangle 1 material index 1");
  EXPECT_REFUSED(withTri(2, 1, 0, 1), "MESH triangle 1 normal 0 index 1");
  // An old file's material index is checked the same way.
  TCvmdBytes old;
  old.U16(0x0103).U16(1).F32(0).F32(0).F32(0).U16(1).F32(0).F32(0).U16(0).U16(1).OldTri(0, 0, 0, 0, 0, 0, 0);
  EXPECT_REFUSED(old.B, "triangle 0 material index 0 out of range (0 materials)");
}

TEST(CvmdMalformed, ChunkOrderAndUnknownTags) {
  // MESH before the lists it indexes.
  TCvmdBytes meshFirst;
  meshFirst.U16(0x0200).Chunk("MESH", 20, 1).Tri(0, 0, 0, 0, 0, 0, 0, 65535, 65535, 65535);
  meshFirst.Chunk("VERT", 12, 1).F32(0).F32(0).F32(0).Chunk("TEXC", 8, 1).F32(0).F32(0);
  meshFirst.Chunk("MATS", 7, 1).Material("", 0);
  EXPECT_REFUSED(meshFirst.B, "MESH triangle 0 vertex 0 index 0 out of range (0 vertices)");

  // A NORM chunk after triangles would leave their normal indices pointing nowhere.
  std::vector<uint8_t> normLast = SmallV200().B;
  TCvmdBytes extra;
  extra.Chunk("NORM", 0, 0);
  normLast.insert(normLast.end(), extra.B.begin(), extra.B.end());
  EXPECT_REFUSED(normLast, "NORM chunk after the MESH chunk");

  std::vector<uint8_t> unknown = SmallV200().B;
  TCvmdBytes foreign;
  foreign.Text("ANIM").U32(2).U16(0);
  unknown.insert(unknown.begin() + 2, foreign.B.begin(), foreign.B.end());
  EXPECT_REFUSED(unknown, "unknown chunk tag \"ANIM\" at offset 2");
  TCvmdBytes binaryTag;
  binaryTag.U16(0x0200).U8(0).U8(0xFF).Text("AB").U32(0).U16(0);
  EXPECT_REFUSED(binaryTag.B, "\\x00\\xFFAB");
}

TEST(CvmdMalformed, RepeatedChunksAppendAndStillUnweld) {
  // Two VERT chunks append; the MESH may index both, and a second MESH keeps unwelding
  // against the corners of the first.
  TCvmdBytes b;
  b.U16(0x0200).Chunk("VERT", 12, 1).F32(1).F32(0).F32(0).Chunk("VERT", 12, 1).F32(2).F32(0).F32(0);
  b.Chunk("TEXC", 8, 1).F32(0).F32(0).Chunk("MATS", 7, 1).Material("", 0);
  b.Chunk("MESH", 20, 1).Tri(0, 0, 1, 0, 1, 0, 0, 65535, 65535, 65535);
  b.Chunk("MESH", 20, 1).Tri(1, 0, 0, 0, 0, 0, 0, 65535, 65535, 65535);
  TObjeto3D m;
  ASSERT_TRUE(LoadFromCVMDMemory(m, b.B.data(), b.B.size(), "x"));
  ASSERT_EQ(m.Triangles.size(), 2u);
  std::set<int32_t> seen;
  for (const auto& t : m.Triangles)
    for (int32_t v : {t.Vertex0, t.Vertex1, t.Vertex2}) EXPECT_TRUE(seen.insert(v).second);
  EXPECT_EQ(m.Vertices[m.Triangles[1].Vertex0].X, 2);
  EXPECT_EQ(m.Vertices[m.Triangles[1].Vertex2].X, 1);
}

TEST(CvmdMalformed, FileErrorsNameTheFileAndLeaveTheMeshEmpty) {
  const testsupport::TScratchDir scratch("cvmd-files");
  const fs::path& dir = scratch.Path();
  TObjeto3D m = CvmdPrefilled();
  try {
    LoadFromCVMD(m, (dir / "missing.cvmd").string());
    ADD_FAILURE() << "no error for a missing file";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message, (dir / "missing.cvmd").string() + ": File not found");
  }
  EXPECT_TRUE(m.Empty());

  fs::path bad = dir / "bad.cvmd";
  testsupport::WriteBytes(bad, Prefix(SmallV200(), 30));
  m = CvmdPrefilled();
  try {
    LoadFromCVMD(m, bad.string());
    ADD_FAILURE() << "no error for a truncated file";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message.rfind(bad.string() + ": ", 0), 0u) << e.Message;
  }
  EXPECT_TRUE(m.Empty());

  testsupport::WriteBytes(bad, "");
  EXPECT_THROW(LoadFromCVMD(m, bad.string()), EInOutError);
  EXPECT_THROW(LoadFromCVMD(m, dir.string()), EInOutError);
}
