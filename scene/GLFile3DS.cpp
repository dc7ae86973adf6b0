#include <array>
#include <cmath>
#include <cstring>
#include <memory>

#include "platform/ByteReader.h"
#include "platform/StrUtils.h"
#include "scene/File3DS.h"
#include "scene/VectorFileFormats.h"

namespace {

// Material chunks (the reader steps over them; the loader takes what it needs here).
enum : uint16_t {
  OBJ_HIDDEN = 0x4010,
  COLOR_F = 0x0010,
  COLOR_24 = 0x0011,
  LIN_COLOR_24 = 0x0012,
  LIN_COLOR_F = 0x0013,
  INT_PERCENTAGE = 0x0030,
  FLOAT_PERCENTAGE = 0x0031,
  MAT_AMBIENT = 0xA010,
  MAT_DIFFUSE = 0xA020,
  MAT_SPECULAR = 0xA030,
  MAT_SHININESS = 0xA040,
  MAT_SHIN2PCT = 0xA041,
  MAT_TEXMAP = 0xA200,
  MAT_MAPNAME = 0xA300,
};

// A material as the loader reads it: the colours, then the two fractions that follow the
// specular colour (shininess and its strength, 0..1), and the texture map's file name.
struct TMaterial3DS {
  std::string Name;
  std::array<float, 3> Ambient{0, 0, 0}, Diffuse{0, 0, 0}, Specular{0, 0, 0};
  float Shininess = 0, ShinStrength = 0;
  std::string TextureMap;
};

TByteReader Reader(const TFile3DS& file, const TChunk3DS& chunk) {
  return TByteReader(file.Bytes().data() + chunk.DataStart(), chunk.DataSize, [](const std::string& m) {
    throw E3DSError(std::string(ERR3DS_INVALID_CHUNK) + "\n(" + m + ")");
  });
}

std::string CString(const TFile3DS& file, const TChunk3DS& chunk) {
  TByteReader r = Reader(file, chunk);
  const uint8_t* p = r.Data();
  const void* zero = std::memchr(p, 0, r.Size());
  return std::string(reinterpret_cast<const char*>(p), zero ? static_cast<const uint8_t*>(zero) - p : r.Size());
}

std::array<float, 3> Color(const TFile3DS& file, const TChunk3DS* holder) {
  std::array<float, 3> c{0, 0, 0};
  if (!holder) return c;
  for (const auto& child : holder->Children) {
    TByteReader r = Reader(file, *child);
    if (child->Tag == COLOR_F || child->Tag == LIN_COLOR_F) {
      for (float& f : c) f = r.F32("colour");
      return c;
    }
    if (child->Tag == COLOR_24 || child->Tag == LIN_COLOR_24) {
      for (float& f : c) f = r.U8("colour") / 255.0f;
      return c;
    }
  }
  return c;
}

float Percentage(const TFile3DS& file, const TChunk3DS* holder) {
  if (!holder) return 0;
  for (const auto& child : holder->Children) {
    TByteReader r = Reader(file, *child);
    if (child->Tag == INT_PERCENTAGE) return r.U16("percentage") / 100.0f;
    if (child->Tag == FLOAT_PERCENTAGE) return r.F32("percentage") / 100.0f;
  }
  return 0;
}

std::vector<TMaterial3DS> ReadMaterials(const TFile3DS& file) {
  std::vector<TMaterial3DS> list;
  const TChunk3DS* top = file.TopChunk();
  if (!top) return list;
  for (const auto& section : top->Children) {
    if (section->Tag != CHUNK3DS_MDATA) continue;
    for (const auto& entry : section->Children) {
      if (entry->Tag != CHUNK3DS_MAT_ENTRY) continue;
      TMaterial3DS m;
      if (const TChunk3DS* name = entry->FindChild(CHUNK3DS_MAT_NAME)) m.Name = CString(file, *name);
      m.Ambient = Color(file, entry->FindChild(MAT_AMBIENT));
      m.Diffuse = Color(file, entry->FindChild(MAT_DIFFUSE));
      m.Specular = Color(file, entry->FindChild(MAT_SPECULAR));
      m.Shininess = Percentage(file, entry->FindChild(MAT_SHININESS));
      m.ShinStrength = Percentage(file, entry->FindChild(MAT_SHIN2PCT));
      if (const TChunk3DS* map = entry->FindChild(MAT_TEXMAP))
        if (const TChunk3DS* name = map->FindChild(MAT_MAPNAME)) m.TextureMap = Trim(CString(file, *name));
      list.push_back(std::move(m));
    }
  }
  return list;
}

// Whether each triangle mesh (in the reader's order) is marked hidden.
std::vector<bool> HiddenMeshes(const TFile3DS& file) {
  std::vector<bool> hidden;
  const TChunk3DS* top = file.TopChunk();
  if (!top) return hidden;
  for (const auto& section : top->Children) {
    if (section->Tag != CHUNK3DS_MDATA) continue;
    for (const auto& obj : section->Children)
      if (obj->Tag == CHUNK3DS_NAMED_OBJECT && obj->FindChild(CHUNK3DS_N_TRI_OBJECT))
        hidden.push_back(obj->FindChild(OBJ_HIDDEN) != nullptr);
  }
  return hidden;
}

void MakeLibraryMaterial(TGLMaterialLibrary& library, const TMaterial3DS& m) {
  TGLLibMaterial* lib = library.Materials().GetLibMaterialByName(m.Name);
  if (!lib) {
    lib = library.Materials().Add();
    lib->SetName(m.Name);
  }
  TGLFaceProperties& front = lib->Material().FrontProperties();
  front.Ambient().SetColor({m.Ambient[0], m.Ambient[1], m.Ambient[2], 1});
  front.Diffuse().SetColor({m.Diffuse[0], m.Diffuse[1], m.Diffuse[2], 1});
  const float k = 1 - m.Shininess;
  front.Specular().SetColor({m.Specular[0] * k, m.Specular[1] * k, m.Specular[2] * k, k});
  front.SetShininess(static_cast<int>(std::lround((1 - m.ShinStrength) * 128)));
  if (!m.TextureMap.empty()) {
    TGLTexture& texture = lib->Material().Texture();
    std::string name = m.TextureMap;
    try {
      texture.Image().LoadFromFile(name);
      texture.SetDisabled(false);
    } catch (const Exception&) {
      // A map file that is not there leaves the material untextured; the mesh still loads.
    }
  }
}

}  // namespace

void TGL3DSVectorFile::LoadFromMemory(const uint8_t* data, size_t size) {
  TFile3DS file;
  file.LoadFromMemory(data, size);
  const bool newerRelease = file.GetDatabaseRelease() >= 1;  // releases 2 and 3
  const std::vector<bool> hidden = HiddenMeshes(file);
  std::vector<std::unique_ptr<TMeshObject>> objects;
  for (int i = 0; i < file.Objects.MeshCount(); ++i) {
    const TMesh3DS* mesh = file.Objects.Mesh(i);
    if (!mesh || (static_cast<size_t>(i) < hidden.size() && hidden[static_cast<size_t>(i)])) continue;
    if (mesh->Vertices.size() < 3) continue;
    auto mo = std::make_unique<TMeshObject>();
    mo->Name = mesh->Name;
    mo->Mode = momFaceGroups;
    // Corners of faces in different smoothing groups get a copy of their vertex per group, so
    // that normals are smoothed within a group only. A face of no group is flat: its corners
    // get copies of their own.
    const size_t n = mesh->Vertices.size();
    std::vector<std::array<int, 32>> copies(n);
    for (auto& c : copies) c.fill(-1);
    std::vector<int> corners;  // the copy of each face corner
    corners.reserve(mesh->Faces.size() * 3);
    auto addCopy = [&](uint16_t v) {
      const TPoint3DS& p = mesh->Vertices[v];
      const TTexVert3DS uv = v < mesh->TexVerts.size() ? mesh->TexVerts[v] : TTexVert3DS{};
      mo->Vertices.Add(p.X, p.Y, p.Z);
      mo->TexCoords.AddTexPoint(uv.U, uv.V);
      mo->Normals.Add(0, 0, 0);
      return mo->Vertices.Count() - 1;
    };
    for (size_t f = 0; f < mesh->Faces.size(); ++f) {
      const TFace3DS& face = mesh->Faces[f];
      const uint32_t groups = f < mesh->SmoothGroups.size() ? mesh->SmoothGroups[f] : 0;
      const int slot = groups ? __builtin_ctz(groups) : -1;
      int c[3];
      const uint16_t v[3] = {face.V1, face.V2, face.V3};
      for (int k = 0; k < 3; ++k) {
        if (slot < 0) {
          c[k] = addCopy(v[k]);
        } else {
          int& copy = copies[v[k]][static_cast<size_t>(slot)];
          if (copy < 0) copy = addCopy(v[k]);
          c[k] = copy;
        }
      }
      TAffineVector p[3];
      for (int k = 0; k < 3; ++k) p[k] = mo->Vertices[c[k]];
      TAffineVector normal;
      if (newerRelease)
        CalcPlaneNormal(p[0], p[1], p[2], normal);
      else
        CalcPlaneNormal(p[0], p[2], p[1], normal);
      for (int k = 0; k < 3; ++k) {
        AddVector(mo->Normals[c[k]], normal);
        corners.push_back(c[k]);
      }
    }
    for (int k = 0; k < mo->Normals.Count(); ++k)
      if (VectorLength(mo->Normals[k]) > 0) NormalizeVector(mo->Normals[k]);
    if (mesh->MatGroups.empty()) {
      auto* group = new TFGVertexIndexList(&mo->FaceGroups());
      for (int c : corners) group->Add(c);
    } else {
      for (const TMeshMatGroup3DS& mg : mesh->MatGroups) {
        auto* group = new TFGVertexIndexList(&mo->FaceGroups());
        group->MaterialName = mg.Name;
        for (uint16_t f : mg.Faces)
          for (int k = 0; k < 3; ++k) group->Add(corners[static_cast<size_t>(f) * 3 + static_cast<size_t>(k)]);
      }
    }
    objects.push_back(std::move(mo));
  }
  // Materials go into the owner's library only once the whole file has been read.
  if (auto* freeForm = dynamic_cast<TFreeForm*>(OwnerMesh()))
    if (TGLMaterialLibrary* library = freeForm->MaterialLibrary())
      for (const TMaterial3DS& m : ReadMaterials(file)) MakeLibraryMaterial(*library, m);
  for (auto& mo : objects) OwnerMesh()->MeshObjects().Add(std::move(mo));
}
