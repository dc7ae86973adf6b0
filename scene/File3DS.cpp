#include "scene/File3DS.h"

#include <cstring>

#include "platform/ByteReader.h"
#include "platform/Streams.h"

const char* const ERR3DS_NO_MEMORY = "Not enough memory to complete operation.";
const char* const ERR3DS_INVALID_CHUNK =
    "An invalid Chunk structure was encountered while reading\n"
    "the database. Usually caused by a corrupt database or file.";
const char* const ERR3DS_NO_DATABASE = "The database passed as an argument has not be created yet.";
const char* const ERR3DS_WRONG_DATABASE =
    "The database passed as an argument is the wrong kind of\ndatabase for this function.";
const char* const ERR3DS_WRONG_OBJECT =
    "The Name passed to the functions exists but is not the type of object asked for.\n"
    "For example asking for a mesh object with the GetCameraByName3DS function.";
const char* const ERR3DS_INVALID_INDEX = "Invalid index %d.";

namespace {

// Real files nest a handful of levels; a deeper tree is a crafted one that would only eat stack.
constexpr int MAX_CHUNK_DEPTH = 64;

[[noreturn]] void Raise3DS(const std::string& message) { throw E3DSError(message); }

[[noreturn]] void RaiseInvalidChunk(const std::string& detail) {
  Raise3DS(std::string(ERR3DS_INVALID_CHUNK) + "\n(" + detail + ")");
}

bool IsRoot(uint16_t tag) { return tag == CHUNK3DS_M3DMAGIC || tag == CHUNK3DS_CMAGIC || tag == CHUNK3DS_MLIBMAGIC; }

bool IsContainer(uint16_t tag) {
  switch (tag) {
    case 0x4D4D:
    case 0xC23D:
    case 0x3DAA:
    case 0x3D3D:
    case 0x3DFF:
    case 0x4100:
    case 0x1200:
    case 0x2100:
    case 0x2D2D:
    case 0x2D3D:
    case 0x3000:
    case 0x8000:
    case 0x8001:
    case 0xAFFF:
    case 0xA010:
    case 0xA020:
    case 0xA030:
    case 0xA040:
    case 0xA041:
    case 0xA042:
    case 0xA050:
    case 0xA052:
    case 0xA053:
    case 0xA084:
    case 0xA200:
    case 0xA204:
    case 0xA210:
    case 0xA220:
    case 0xA230:
    case 0xA33A:
    case 0xA33C:
    case 0xA33D:
    case 0xA33E:
    case 0xA340:
    case 0xA342:
    case 0xA344:
    case 0xA346:
    case 0xA348:
    case 0xA34A:
    case 0xA34C: return true;
    default: return tag >= 0xB000 && tag <= 0xB007;
  }
}

// Bytes of fixed-size data before the sub-chunks; -1 when the size is not fixed.
int FixedDataSize(uint16_t tag) {
  switch (tag) {
    case 0x0030:
    case 0x1420:
    case 0x1430:
    case 0xB030: return 2;
    case 0x0011: return 3;
    case 0x0002:
    case 0x0031:
    case 0x0100:
    case 0x1300:
    case 0x1400:
    case 0x1410:
    case 0x3D3E:
    case 0xB009:
    case 0xB015:
    case 0xD000: return 4;
    case 0xB008: return 8;
    case 0x4641: return 10;
    case 0x0010:
    case 0x1500:
    case 0x4600:
    case 0xA310:
    case 0xB013: return 12;
    case 0x7001: return 14;
    case 0x2200:
    case 0x2300:
    case 0x2302:
    case 0x3010:
    case 0x3020:
    case 0x3030:
    case 0x3040:
    case 0x3050:
    case 0x3060: return 16;
    case 0x4610: return 20;
    case 0xB014: return 24;
    case 0x3070: return 28;
    case 0x4700: return 32;
    case 0x4160: return 48;
    default: return -1;
  }
}

bool IsNamedData(uint16_t tag) {
  switch (tag) {
    case 0x1100:
    case 0x3080:
    case 0x4000:
    case 0x4181:
    case 0xA000:
    case 0xA300:
    case 0xB011: return true;
    default: return false;
  }
}

// The reader over one chunk's own data (header excluded, sub-chunks included).
TByteReader ChunkReader(const std::vector<uint8_t>& data, const TChunk3DS& chunk) {
  return TByteReader(data.data() + chunk.DataStart(), chunk.Size - 6,
                     [](const std::string& m) { RaiseInvalidChunk(m); });
}

std::string ReadCString(TByteReader& r, const char* field) {
  const uint8_t* start = r.Data() + r.Pos();
  const void* zero = std::memchr(start, 0, r.Remaining());
  if (!zero) r.Fail(std::string(field) + " has no terminating zero");
  const size_t n = static_cast<const uint8_t*>(zero) - start;
  std::string s = r.String(n, field);
  r.Skip(1, field);
  return s;
}

bool IsKeyFramerNode(uint16_t tag) {
  // Ambient, object, camera, target, light, light target and spotlight nodes.
  return tag >= 0xB001 && tag <= 0xB007;
}

}  // namespace

const TChunk3DS* TChunk3DS::FindChild(uint16_t tag) const {
  for (const auto& c : Children)
    if (c->Tag == tag) return c.get();
  return nullptr;
}

const TChunk3DS* TChunk3DS::FindBelow(uint16_t tag) const {
  for (const auto& c : Children) {
    if (c->Tag == tag) return c.get();
    if (const TChunk3DS* found = c->FindBelow(tag)) return found;
  }
  return nullptr;
}

TFile3DS::TFile3DS() : Objects(*this) {}
TFile3DS::~TFile3DS() = default;

void TFile3DS::LoadFromFile(const std::string& fileName) {
  std::vector<uint8_t> bytes = ReadWholeFile(fileName);
  LoadFromMemory(bytes.data(), bytes.size());
  FileName = fileName;
}

void TFile3DS::LoadFromMemory(const uint8_t* data, size_t size) {
  Objects.Clear();
  FTop.reset();
  FKFNodes.clear();
  FileName.clear();
  // Positions are 32-bit in the format; a larger buffer cannot be a database.
  if (size > 0xFFFFFFFFu) RaiseInvalidChunk("file larger than 4 GiB");
  FData.assign(data, data + size);
  try {
    Build();
  } catch (...) {
    FTop.reset();
    FKFNodes.clear();
    FData.clear();
    throw;
  }
}

void TFile3DS::Build() {
  if (OnProgress) OnProgress(0, static_cast<uint32_t>(FData.size()));
  TByteReader r(FData.data(), FData.size(), [](const std::string& m) { RaiseInvalidChunk(m); });
  if (FData.size() < 6) return;  // not a database: nothing to read
  auto top = std::make_unique<TChunk3DS>();
  top->Tag = r.U16("chunk tag");
  top->Size = r.U32("chunk length");
  if (!IsRoot(top->Tag)) return;
  // A root whose length runs past the file is read as far as the file goes: some exporters
  // write a wrong top length, and the children are checked one by one anyway.
  if (top->Size < 6) RaiseInvalidChunk("top chunk length below 6");
  if (top->Size > FData.size()) top->Size = static_cast<uint32_t>(FData.size());
  FTop = std::move(top);
  ReadChildren(*FTop, 0);
  IndexKeyFramer();
}

uint32_t TFile3DS::StepOverData(const TChunk3DS& chunk) const {
  const uint32_t available = chunk.Size - 6;
  if (IsContainer(chunk.Tag)) return 0;
  const int fixed = FixedDataSize(chunk.Tag);
  if (fixed >= 0) {
    if (static_cast<uint32_t>(fixed) > available) RaiseInvalidChunk("chunk data shorter than its fields");
    return static_cast<uint32_t>(fixed);
  }
  TByteReader r = ChunkReader(FData, chunk);
  if (IsNamedData(chunk.Tag)) {
    ReadCString(r, "chunk name");
  } else if (chunk.Tag == 0xB010) {
    ReadCString(r, "node name");
    r.Skip(6, "node header");
  } else if (chunk.Tag == 0xB00A) {
    r.Skip(2, "key-framer header");
    ReadCString(r, "key-framer name");
    r.Skip(4, "key-framer length");
  } else if (chunk.Tag == CHUNK3DS_FACE_ARRAY) {
    const uint16_t count = r.U16("face count");
    r.RequireCount(count, 8, "face");
    r.Skip(static_cast<uint64_t>(count) * 8, "faces");
  } else {
    return available;  // all data, no sub-chunks
  }
  return static_cast<uint32_t>(r.Pos());
}

void TFile3DS::ReadChildren(TChunk3DS& chunk, int depth) {
  if (depth > MAX_CHUNK_DEPTH) RaiseInvalidChunk("chunks nested too deeply");
  chunk.DataSize = StepOverData(chunk);
  const uint64_t end = static_cast<uint64_t>(chunk.Position) + chunk.Size;
  uint64_t pos = static_cast<uint64_t>(chunk.DataStart()) + chunk.DataSize;
  while (pos < end) {
    if (end - pos < 6) RaiseInvalidChunk("chunk header cut by its parent");
    TByteReader r(FData.data(), FData.size(), [](const std::string& m) { RaiseInvalidChunk(m); });
    r.Seek(pos, "chunk");
    auto child = std::make_unique<TChunk3DS>();
    child->Tag = r.U16("chunk tag");
    child->Size = r.U32("chunk length");
    child->Position = static_cast<uint32_t>(pos);
    if (child->Size < 6) RaiseInvalidChunk("chunk length below 6");
    if (child->Size > end - pos) {
      // Inside a 0x8001 chunk the rest is skipped at the first chunk that does not belong.
      if (chunk.Tag == 0x8001) break;
      RaiseInvalidChunk("chunk reaches past its parent");
    }
    if (chunk.Tag == 0x8001 && (child->Tag < 0x8002 || child->Tag > 0x800F)) break;
    if (OnProgress) OnProgress(child->Position, static_cast<uint32_t>(FData.size()));
    pos += child->Size;
    ReadChildren(*child, depth + 1);
    chunk.Children.push_back(std::move(child));
  }
}

void TFile3DS::IndexKeyFramer() {
  const TChunk3DS* kf = FTop ? FTop->FindChild(CHUNK3DS_KFDATA) : nullptr;
  if (!kf) return;
  for (const auto& node : kf->Children) {
    if (!IsKeyFramerNode(node->Tag)) continue;
    TKFNode3DS entry;
    entry.Tag = node->Tag;
    if (const TChunk3DS* hdr = node->FindChild(CHUNK3DS_NODE_HDR)) {
      TByteReader r = ChunkReader(FData, *hdr);
      entry.Name = ReadCString(r, "node name");
    }
    if (const TChunk3DS* id = node->FindChild(CHUNK3DS_NODE_ID)) {
      TByteReader r = ChunkReader(FData, *id);
      entry.NodeId = r.I16("node id");
    }
    FKFNodes.push_back(std::move(entry));
  }
}

int TFile3DS::GetDatabaseRelease() const {
  if (!FTop) return 3;
  uint16_t versionTag;
  switch (FTop->Tag) {
    case CHUNK3DS_MLIBMAGIC: return 2;
    case CHUNK3DS_M3DMAGIC: versionTag = CHUNK3DS_M3D_VERSION; break;
    case CHUNK3DS_CMAGIC: versionTag = CHUNK3DS_MESH_VERSION; break;
    default: return 3;
  }
  const TChunk3DS* v = FTop->FindBelow(versionTag);
  if (!v) return 3;
  TByteReader r = ChunkReader(FData, *v);
  switch (r.U32("version")) {
    case 1: return 0;
    case 2: return 1;
    case 3: return 2;
    default: return 3;
  }
}

// ---- objects --------------------------------------------------------------------------------

void TObjectList::Clear() {
  FIndexed = false;
  FMeshChunks.clear();
  FMeshes.clear();
}

void TObjectList::Index() {
  if (FIndexed) return;
  FIndexed = true;
  const TChunk3DS* top = FOwner.TopChunk();
  if (!top) return;
  for (const auto& section : top->Children) {
    if (section->Tag != CHUNK3DS_MDATA) continue;
    for (const auto& obj : section->Children)
      if (obj->Tag == CHUNK3DS_NAMED_OBJECT && obj->FindChild(CHUNK3DS_N_TRI_OBJECT)) FMeshChunks.push_back(obj.get());
  }
  FMeshes.resize(FMeshChunks.size());
}

int TObjectList::MeshCount() {
  Index();
  return static_cast<int>(FMeshChunks.size());
}

const TMesh3DS* TObjectList::Mesh(int index) {
  const TChunk3DS* top = FOwner.TopChunk();
  if (!top) Raise3DS(ERR3DS_NO_DATABASE);
  if (top->Tag != CHUNK3DS_M3DMAGIC && top->Tag != CHUNK3DS_CMAGIC) Raise3DS(ERR3DS_WRONG_DATABASE);
  if (MeshCount() == 0) return nullptr;
  if (index < 0 || index >= MeshCount()) {
    char text[64];
    std::snprintf(text, sizeof text, ERR3DS_INVALID_INDEX, index);
    Raise3DS(text);
  }
  auto& cached = FMeshes[static_cast<size_t>(index)];
  if (cached) return cached.get();

  const std::vector<uint8_t>& data = FOwner.Bytes();
  const TChunk3DS& obj = *FMeshChunks[static_cast<size_t>(index)];
  auto mesh = std::make_unique<TMesh3DS>();
  {
    TByteReader r = ChunkReader(data, obj);
    mesh->Name = ReadCString(r, "object name");
  }
  const TChunk3DS& tri = *obj.FindChild(CHUNK3DS_N_TRI_OBJECT);
  if (const TChunk3DS* c = tri.FindChild(CHUNK3DS_POINT_ARRAY)) {
    TByteReader r = ChunkReader(data, *c);
    const uint16_t n = r.U16("vertex count");
    r.RequireCount(n, 12, "vertex");
    mesh->Vertices.resize(n);
    for (TPoint3DS& p : mesh->Vertices) {
      p.X = r.F32("vertex");
      p.Y = r.F32("vertex");
      p.Z = r.F32("vertex");
    }
  }
  if (const TChunk3DS* c = tri.FindChild(CHUNK3DS_TEX_VERTS)) {
    TByteReader r = ChunkReader(data, *c);
    const uint16_t n = r.U16("texture vertex count");
    r.RequireCount(n, 8, "texture vertex");
    mesh->TexVerts.resize(n);
    for (TTexVert3DS& t : mesh->TexVerts) {
      t.U = r.F32("texture vertex");
      t.V = r.F32("texture vertex");
    }
  }
  if (const TChunk3DS* c = tri.FindChild(CHUNK3DS_MESH_MATRIX)) {
    TByteReader r = ChunkReader(data, *c);
    for (float& m : mesh->Matrix) m = r.F32("mesh matrix");
  }
  if (const TChunk3DS* faces = tri.FindChild(CHUNK3DS_FACE_ARRAY)) {
    TByteReader r = ChunkReader(data, *faces);
    const uint16_t n = r.U16("face count");
    r.RequireCount(n, 8, "face");
    mesh->Faces.resize(n);
    for (TFace3DS& f : mesh->Faces) {
      f.V1 = r.U16("face");
      f.V2 = r.U16("face");
      f.V3 = r.U16("face");
      f.Flags = r.U16("face");
      for (uint16_t v : {f.V1, f.V2, f.V3}) r.CheckIndex(v, mesh->Vertices.size(), "face vertex");
    }
    for (const auto& sub : faces->Children) {
      TByteReader s = ChunkReader(data, *sub);
      if (sub->Tag == CHUNK3DS_MSH_MAT_GROUP) {
        TMeshMatGroup3DS group;
        group.Name = ReadCString(s, "material group name");
        const uint16_t count = s.U16("material group face count");
        s.RequireCount(count, 2, "material group face");
        group.Faces.resize(count);
        for (uint16_t& f : group.Faces) {
          f = s.U16("material group face");
          s.CheckIndex(f, mesh->Faces.size(), "material group face");
        }
        mesh->MatGroups.push_back(std::move(group));
      } else if (sub->Tag == CHUNK3DS_SMOOTH_GROUP) {
        s.RequireCount(mesh->Faces.size(), 4, "smoothing group");
        mesh->SmoothGroups.resize(mesh->Faces.size());
        for (uint32_t& g : mesh->SmoothGroups) g = s.U32("smoothing group");
      }
    }
  }
  cached = std::move(mesh);
  return cached.get();
}
