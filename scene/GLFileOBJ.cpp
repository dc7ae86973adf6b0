#include <memory>

#include "platform/Exceptions.h"
#include "platform/Numbers.h"
#include "scene/VectorFileFormats.h"

namespace {

float ToFloat(const std::string& word) {
  double v = 0;
  if (!TryStrToFloat(word, v)) throw EConvertError("'" + word + "' is not a valid floating point value");
  return static_cast<float>(v);
}

int ToInt(const std::string& word) {
  int v = 0;
  if (!TryStrToInt(word, v)) throw EConvertError("'" + word + "' is not a valid integer value");
  return v;
}

// A 1-based index, or a negative one counting back from the end of a list of `count` items;
// gives the 0-based index or -1 for 0 (refused once the whole file is read).
int ResolveIndex(int index, int count) {
  if (index > 0) return index - 1;
  if (index < 0) return count + index >= 0 ? count + index : -1;
  return -1;
}

void CheckIndices(const TIntegerList& indices, int count, const char* what, const char* items) {
  for (int i = 0; i < indices.Count(); ++i)
    if (indices[i] < 0 || indices[i] >= count)
      throw EReadError(std::string("face ") + what + " index out of range (the file has " + std::to_string(count) +
                       " " + items + ")");
}

}  // namespace

void TGLOBJVectorFile::LoadFromMemory(const uint8_t* data, size_t size) {
  auto mo = std::make_unique<TMeshObject>();
  mo->Mode = momFaceGroups;
  TFGVertexNormalTexIndexList* group = new TFGVertexNormalTexIndexList(&mo->FaceGroups());
  std::vector<std::array<int, 3>> corners;
  ForEachLineWords(data, size, [&](const std::vector<std::string>& w) {
    if (w.empty()) return;
    const std::string& key = w[0];
    if (key == "v") {
      if (w.size() == 4) mo->Vertices.Add(ToFloat(w[1]), ToFloat(w[2]), ToFloat(w[3]));
    } else if (key == "vt") {
      const float s = w.size() > 1 ? ToFloat(w[1]) : ToFloat("");
      const float t = w.size() > 2 ? ToFloat(w[2]) : 0;
      mo->TexCoords.AddTexPoint(s, t);
    } else if (key == "vn") {
      if (w.size() < 4) ToFloat("");
      mo->Normals.Add(ToFloat(w[1]), ToFloat(w[2]), ToFloat(w[3]));
    } else if (key == "g") {
      if (group->VertexIndices.Count() > 0) group = new TFGVertexNormalTexIndexList(&mo->FaceGroups());
    } else if (key == "f") {
      corners.clear();
      for (size_t i = 1; i < w.size(); ++i) {
        // vertex/texture/normal: all three numbers are needed.
        const std::string& c = w[i];
        const size_t a = c.find('/'), b = a == std::string::npos ? a : c.find('/', a + 1);
        if (b == std::string::npos) ToInt("");  // a missing number fails its conversion
        const int v = ToInt(c.substr(0, a)), t = ToInt(c.substr(a + 1, b - a - 1)), n = ToInt(c.substr(b + 1));
        corners.push_back({ResolveIndex(v, mo->Vertices.Count()), ResolveIndex(t, mo->TexCoords.Count()),
                           ResolveIndex(n, mo->Normals.Count())});
      }
      for (size_t i = 0; i + 2 < corners.size(); ++i)
        for (size_t k : {size_t(0), i + 1, i + 2}) group->Add(corners[k][0], corners[k][2], corners[k][1]);
    }
  });
  // Nothing is drawn from an index the lists do not have.
  for (int i = 0; i < mo->FaceGroups().Count(); ++i) {
    auto* g = static_cast<TFGVertexNormalTexIndexList*>(mo->FaceGroups().Items(i));
    CheckIndices(g->VertexIndices, mo->Vertices.Count(), "vertex", "vertices");
    CheckIndices(g->NormalIndices, mo->Normals.Count(), "normal", "normals");
    CheckIndices(g->TexCoordIndices, mo->TexCoords.Count(), "texture coordinate", "texture coordinates");
  }
  OwnerMesh()->MeshObjects().Add(std::move(mo));
}
