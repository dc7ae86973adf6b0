#include "model/crvn_cvmdformat.h"

#include <algorithm>
#include <cstdio>

#include "platform/ByteReader.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"

namespace {

constexpr uint16_t VERSION_0102 = 0x0102;
constexpr uint16_t VERSION_0103 = 0x0103;
constexpr uint16_t VERSION_0200 = 0x0200;
constexpr uint16_t NO_NORMAL_16 = 0xFFFF;

constexpr size_t VERT_RECORD = 12, TEXC_RECORD = 8, NORM_RECORD = VERT_RECORD, MATS_MIN_RECORD = 5;
constexpr size_t MESH_RECORD = 20, OLD_TRIANGLE_RECORD = 14;

// ---------------------------------------------------------------------------------- writer

[[noreturn]] void RefuseSave(const std::string& fileName, const std::string& what) {
  throw EInOutError(fileName + ": cannot save: " + what);
}

void CheckCount(const std::string& fileName, size_t count, const char* what) {
  if (count > CVMD_MAX_COUNT)
    RefuseSave(fileName, std::to_string(count) + " " + what + " (the format holds at most " +
                             std::to_string(CVMD_MAX_COUNT) + ")");
}

void CheckSavedIndex(const std::string& fileName, size_t triangle, const char* corner, int32_t index, size_t listSize,
                     const char* list) {
  if (index < 0 || static_cast<size_t>(index) >= listSize)
    RefuseSave(fileName, "triangle " + std::to_string(triangle) + " " + corner + " index " + std::to_string(index) +
                             " out of range (" + std::to_string(listSize) + " " + list + ")");
}

// Everything the file cannot hold is refused here, before a byte is written: a count above the
// 16-bit limit, and a triangle index outside its list (the reader would reject that file).
void ValidateForSave(const TObjeto3D& m, const std::string& fileName) {
  CheckCount(fileName, m.Vertices.size(), "vertices");
  CheckCount(fileName, m.UVs.size(), "texture coordinates");
  CheckCount(fileName, m.Normals.size(), "normals");
  CheckCount(fileName, m.Materials.size(), "materials");
  CheckCount(fileName, m.Triangles.size(), "triangles");
  for (size_t i = 0; i < m.Triangles.size(); ++i) {
    const TObjeto3DTriangulo& t = m.Triangles[i];
    const int32_t v[3] = {t.Vertex0, t.Vertex1, t.Vertex2};
    const int32_t uv[3] = {t.UV0, t.UV1, t.UV2};
    const int32_t n[3] = {t.Normal0, t.Normal1, t.Normal2};
    static const char* const vName[3] = {"vertex 0", "vertex 1", "vertex 2"};
    static const char* const uvName[3] = {"texture coordinate 0", "texture coordinate 1", "texture coordinate 2"};
    static const char* const nName[3] = {"normal 0", "normal 1", "normal 2"};
    for (int c = 0; c < 3; ++c) {
      CheckSavedIndex(fileName, i, vName[c], v[c], m.Vertices.size(), "vertices");
      CheckSavedIndex(fileName, i, uvName[c], uv[c], m.UVs.size(), "texture coordinates");
      if (!IsNoNormal(n[c])) CheckSavedIndex(fileName, i, nName[c], n[c], m.Normals.size(), "normals");
    }
    CheckSavedIndex(fileName, i, "material", t.Material, m.Materials.size(), "materials");
  }
}

void WriteChunkHeader(TStream& s, const char* tag, uint32_t size, size_t count) {
  s.WriteBuffer(tag, 4);
  s.WriteU32(size);
  s.WriteU16(static_cast<uint16_t>(count));
}

// ---------------------------------------------------------------------------------- reader

// Corners that share an entry get a copy of their own, so the preview can give every corner its
// own coordinates. One used flag per list entry; copies are appended with their flag set, so a
// mesh of n triangles unwelds in O(n).
template <class T>
class TUnwelder {
 public:
  explicit TUnwelder(std::vector<T>& list) : FList(list) {}
  // Entries added since the last MESH chunk (later VERT/TEXC chunks) start unused.
  void Cover() { FUsed.resize(FList.size(), 0); }
  void Reset() { FUsed.clear(); }
  int32_t Take(uint32_t index) {
    if (!FUsed[index]) {
      FUsed[index] = 1;
      return static_cast<int32_t>(index);
    }
    const T copy = FList[index];
    FList.push_back(copy);
    FUsed.push_back(1);
    return static_cast<int32_t>(FList.size() - 1);
  }

 private:
  std::vector<T>& FList;
  std::vector<uint8_t> FUsed;
};

class TCVMDParser {
 public:
  TCVMDParser(const uint8_t* data, size_t size, const std::string& name, TObjeto3D& mesh)
      : FName(name),
        R(data, size, [this](const std::string& m) { throw EInOutError(FName + ": " + m); }),
        M(mesh),
        FVerts(mesh.Vertices),
        FUVs(mesh.UVs),
        FNormals(mesh.Normals) {}

  // False for a version this reader does not know.
  bool Parse() {
    const uint16_t version = R.U16("version");
    switch (version) {
      case VERSION_0200: ParseChunks(); return true;
      case VERSION_0102:
      case VERSION_0103: ParseOld(version == VERSION_0102); return true;
      default: return false;
    }
  }

 private:
  struct TRawTriangle {
    uint32_t V[3], UV[3], N[3], Material;
  };

  void ParseChunks() {
    while (!R.AtEnd()) {
      const size_t at = R.Pos();
      const std::string tag = R.String(4, "chunk tag");
      if (tag == "VERT") {
        ReadXYZ(M.Vertices, ChunkCount(tag, VERT_RECORD), "vertex");
      } else if (tag == "TEXC") {
        ReadUVs(ChunkCount(tag, TEXC_RECORD), false);
      } else if (tag == "NORM") {
        // A NORM chunk replaces the normals; triangles already read would be left pointing
        // into the old list.
        if (!M.Triangles.empty()) R.Fail("NORM chunk after the MESH chunk");
        const uint16_t count = ChunkCount(tag, NORM_RECORD);
        M.Normals.clear();
        FNormals.Reset();
        ReadXYZ(M.Normals, count, "normal");
      } else if (tag == "MATS") {
        const uint32_t size = R.U32("MATS chunk size");
        const uint16_t count = R.U16("MATS count");
        // The MATS size counts the two count bytes as well.
        if (size < 2 || size - 2 > R.Remaining())
          R.Fail("MATS chunk size " + std::to_string(size) + " exceeds the data");
        const size_t start = R.Pos();
        ReadMaterials(count, "MATS");
        if (R.Pos() - start != size - 2)
          R.Fail("MATS chunk size " + std::to_string(size) + " does not match its " + std::to_string(count) +
                 " materials (" + std::to_string(R.Pos() - start + 2) + " bytes)");
      } else if (tag == "MESH") {
        ReadTriangles(ChunkCount(tag, MESH_RECORD), true, "MESH");
      } else {
        R.Fail("unknown chunk tag \"" + Printable(tag) + "\" at offset " + std::to_string(at));
      }
    }
  }

  void ParseOld(bool fixUV) {
    ReadXYZ(M.Vertices, R.U16("vertex count"), "vertex");
    ReadUVs(R.U16("texture coordinate count"), fixUV);
    ReadMaterials(R.U16("material count"), "materials");
    ReadTriangles(R.U16("triangle count"), false, "triangles");
  }

  // Reads the size and count of a fixed-record chunk and checks that the records are there.
  uint16_t ChunkCount(const std::string& tag, size_t record) {
    const uint32_t size = R.U32((tag + " chunk size").c_str());
    const uint16_t count = R.U16((tag + " count").c_str());
    if (size != count * record)
      R.Fail(tag + " chunk size " + std::to_string(size) + " does not match its count " + std::to_string(count) + " (" +
             std::to_string(count * record) + " expected)");
    R.RequireCount(count, record, tag.c_str());
    return count;
  }

  // Vertices and normals: three floats each, appended to the list.
  template <class T>
  void ReadXYZ(std::vector<T>& list, uint16_t count, const char* what) {
    R.RequireCount(count, VERT_RECORD, what);
    list.reserve(list.size() + count);
    for (uint16_t i = 0; i < count; ++i) {
      T v;
      v.X = R.F32(what);
      v.Y = R.F32(what);
      v.Z = R.F32(what);
      list.push_back(v);
    }
  }

  void ReadUVs(uint16_t count, bool fixUV) {
    R.RequireCount(count, TEXC_RECORD, "texture coordinate");
    M.UVs.reserve(M.UVs.size() + count);
    for (uint16_t i = 0; i < count; ++i) {
      TObjeto3DCoordenadaUV uv;
      uv.U = R.F32("texture coordinate");
      uv.V = R.F32("texture coordinate");
      if (fixUV) FixUV(uv);
      M.UVs.push_back(uv);
    }
  }

  void ReadMaterials(uint16_t count, const char* what) {
    R.RequireCount(count, MATS_MIN_RECORD, what);
    M.Materials.reserve(M.Materials.size() + count);
    for (uint16_t i = 0; i < count; ++i) {
      TObjeto3DMaterial mat;
      const uint8_t len = R.U8("material name length");
      mat.Name = R.String(len, "material name");
      mat.Flags = R.I32("material flags");
      M.Materials.push_back(std::move(mat));
    }
  }

  void ReadTriangles(uint16_t count, bool withNormals, const char* what) {
    const size_t record = withNormals ? MESH_RECORD : OLD_TRIANGLE_RECORD;
    R.RequireCount(count, record, what);
    // Indices may name only what was read before this block, not the copies it makes.
    const size_t nVerts = M.Vertices.size(), nUVs = M.UVs.size(), nNormals = M.Normals.size();
    const size_t nMaterials = M.Materials.size();
    FVerts.Cover();
    FUVs.Cover();
    FNormals.Cover();
    // Bounded by the file size: count records are known to be there, and each makes at most
    // three copies of each kind.
    M.Triangles.reserve(M.Triangles.size() + count);
    M.Vertices.reserve(nVerts + 3 * size_t{count});
    M.UVs.reserve(nUVs + 3 * size_t{count});
    if (withNormals) M.Normals.reserve(nNormals + 3 * size_t{count});
    // The records were checked to be there; decoding them from the block keeps the per-field
    // bounds checks out of the loop that handles every corner.
    const uint8_t* p = R.Bytes(count * record, what);
    for (uint16_t i = 0; i < count; ++i, p += record) {
      TRawTriangle raw{};
      for (int c = 0; c < 3; ++c) {
        raw.V[c] = LE16(p + 4 * c);
        raw.UV[c] = LE16(p + 4 * c + 2);
      }
      raw.Material = LE16(p + 12);
      for (int c = 0; c < 3; ++c) raw.N[c] = withNormals ? LE16(p + 14 + 2 * c) : NO_NORMAL_16;
      for (int c = 0; c < 3; ++c) {
        CheckIndex(withNormals, i, "vertex", c, raw.V[c], nVerts, "vertices");
        CheckIndex(withNormals, i, "texture coordinate", c, raw.UV[c], nUVs, "texture coordinates");
        if (raw.N[c] != NO_NORMAL_16) CheckIndex(withNormals, i, "normal", c, raw.N[c], nNormals, "normals");
      }
      CheckIndex(withNormals, i, "material", -1, raw.Material, nMaterials, "materials");

      TObjeto3DTriangulo t;
      t.Vertex0 = FVerts.Take(raw.V[0]);
      t.Vertex1 = FVerts.Take(raw.V[1]);
      t.Vertex2 = FVerts.Take(raw.V[2]);
      t.UV0 = FUVs.Take(raw.UV[0]);
      t.UV1 = FUVs.Take(raw.UV[1]);
      t.UV2 = FUVs.Take(raw.UV[2]);
      // Old files have no normals (-1); in version 0x0200 files a missing normal stays 65535.
      int32_t* normals[3] = {&t.Normal0, &t.Normal1, &t.Normal2};
      for (int c = 0; c < 3; ++c)
        *normals[c] = !withNormals ? -1 : raw.N[c] == NO_NORMAL_16 ? 65535 : FNormals.Take(raw.N[c]);
      t.Material = static_cast<int32_t>(raw.Material);
      M.Triangles.push_back(t);
    }
  }

  static uint16_t LE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

  void CheckIndex(bool chunked, uint16_t triangle, const char* kind, int corner, uint32_t index, size_t size,
                  const char* plural) {
    if (index >= size) [[unlikely]]
      FailIndex(chunked, triangle, kind, corner, index, size, plural);
  }

  [[noreturn, gnu::noinline]] void FailIndex(bool chunked, uint16_t triangle, const char* kind, int corner,
                                             uint32_t index, size_t size, const char* plural) {
    std::string field = kind;
    if (corner >= 0) field += " " + std::to_string(corner);
    R.Fail(std::string(chunked ? "MESH " : "") + "triangle " + std::to_string(triangle) + " " + field + " index " +
           std::to_string(index) + " out of range (" + std::to_string(size) + " " + plural + ")");
  }

  static std::string Printable(const std::string& tag) {
    std::string out;
    for (unsigned char c : tag) {
      if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
        out += static_cast<char>(c);
      } else {
        char buf[5];
        std::snprintf(buf, sizeof buf, "\\x%02X", c);
        out += buf;
      }
    }
    return out;
  }

  const std::string& FName;
  TByteReader R;
  TObjeto3D& M;
  TUnwelder<TObjeto3DVertice> FVerts;
  TUnwelder<TObjeto3DCoordenadaUV> FUVs;
  TUnwelder<TObjeto3DNormal> FNormals;
};

}  // namespace

std::vector<uint8_t> CVMDBytes(const TObjeto3D& Mesh, const std::string& FileName) {
  ValidateForSave(Mesh, FileName);
  TMemoryStream s;
  s.WriteU16(VERSION_0200);

  WriteChunkHeader(s, "VERT", static_cast<uint32_t>(Mesh.Vertices.size() * VERT_RECORD), Mesh.Vertices.size());
  for (const TObjeto3DVertice& v : Mesh.Vertices) {
    s.WriteF32(v.X);
    s.WriteF32(v.Y);
    s.WriteF32(v.Z);
  }
  WriteChunkHeader(s, "TEXC", static_cast<uint32_t>(Mesh.UVs.size() * TEXC_RECORD), Mesh.UVs.size());
  for (const TObjeto3DCoordenadaUV& uv : Mesh.UVs) {
    s.WriteF32(uv.U);
    s.WriteF32(uv.V);
  }
  WriteChunkHeader(s, "NORM", static_cast<uint32_t>(Mesh.Normals.size() * NORM_RECORD), Mesh.Normals.size());
  for (const TObjeto3DNormal& n : Mesh.Normals) {
    s.WriteF32(n.X);
    s.WriteF32(n.Y);
    s.WriteF32(n.Z);
  }

  // The MATS size depends on the name lengths: written as 0, patched once the records are out.
  s.WriteBuffer("MATS", 4);
  const int64_t sizePos = s.Position();
  s.WriteU32(0);
  s.WriteU16(static_cast<uint16_t>(Mesh.Materials.size()));
  for (const TObjeto3DMaterial& mat : Mesh.Materials) {
    const size_t len = std::min(mat.Name.size(), CVMD_MAX_NAME);
    s.WriteU8(static_cast<uint8_t>(len));
    s.WriteBuffer(mat.Name.data(), len);
    s.WriteI32(mat.Flags);
  }
  const int64_t end = s.Position();
  s.SetPosition(sizePos);
  s.WriteU32(static_cast<uint32_t>(end - sizePos - 4));
  s.SetPosition(end);

  WriteChunkHeader(s, "MESH", static_cast<uint32_t>(Mesh.Triangles.size() * MESH_RECORD), Mesh.Triangles.size());
  for (const TObjeto3DTriangulo& t : Mesh.Triangles) {
    // Indices were checked above; a missing normal (-1 or 65535) is stored as 65535.
    const int32_t fields[10] = {t.Vertex0, t.UV0,      t.Vertex1, t.UV1,     t.Vertex2,
                                t.UV2,     t.Material, t.Normal0, t.Normal1, t.Normal2};
    for (int32_t f : fields) s.WriteU16(static_cast<uint16_t>(f));
  }
  return s.Bytes();
}

void SaveToCVMD(const TObjeto3D& Mesh, const std::string& FileName) {
  const std::vector<uint8_t> bytes = CVMDBytes(Mesh, FileName);
  try {
    WriteFileAtomically(FileName, bytes.data(), bytes.size());  // its errors name the file
  } catch (const EFCreateError& e) {
    // The temporary file could not be created; the message already names the file.
    throw EInOutError(e.Message);
  }
}

bool LoadFromCVMDMemory(TObjeto3D& Mesh, const uint8_t* Data, size_t Size, const std::string& DisplayName) {
  Mesh.Clear();
  // Built aside and moved in only when the whole file was good, so a bad file leaves Mesh empty.
  TObjeto3D loaded;
  TCVMDParser parser(Data, Size, DisplayName, loaded);
  if (!parser.Parse()) return false;
  Mesh = std::move(loaded);
  return true;
}

bool LoadFromCVMD(TObjeto3D& Mesh, const std::string& FileName) {
  Mesh.Clear();
  std::vector<uint8_t> data;
  try {
    data = ReadWholeFile(FileName);
  } catch (const EInOutError& e) {
    throw EInOutError(FileName + ": " + e.Message, e.ErrorCode);
  }
  return LoadFromCVMDMemory(Mesh, data.data(), data.size(), FileName);
}

void FixUV(TObjeto3DCoordenadaUV& UV) {
  // Float arithmetic raises nothing with the program's masked floating-point exceptions; the
  // prefix is there so that any failure here is traced to the conversion.
  try {
    if (UV.U >= 0.5f) UV.U -= 0.5f;
    if (UV.V >= 0.5f) UV.V -= 0.5f;
    UV.U *= 2;
    UV.V *= 2;
  } catch (const Exception& e) {
    throw Exception("FixUV: " + e.Message);
  }
}
