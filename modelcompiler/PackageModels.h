#pragma once
// Player models in game packages: finding them (through the package's .int file and the player
// classes' default properties, or by listing every mesh object), reading a Mesh or LodMesh
// object with all its frames, and building one frame into a TObjeto3D.
//
// Object data is read whole into memory and decoded with the bounded reader: a count that does
// not fit the object's bytes, an index outside its table or a frame beyond the vertices raises
// EModelFileError and leaves the previous mesh as it was.
#include <cstdint>
#include <string>
#include <vector>

#include "model/crvn_o3d.h"
#include "model/crvn_struc.h"
#include "modelcompiler/ModelFileReaders.h"

class TUTPackage;

// The game chosen in the window: decides the package folder and the vertex decoding.
enum class TGameKind { UnrealTournament = 0, DeusEx = 1, KlingonHonorGuard = 2, Other = 3 };

struct TAnimSeq {
  std::string Name;
  int32_t StartFrame = 0;
  int32_t NumFrames = 0;
};

struct TPackageMesh {
  bool IsLodMesh = false;
  std::string ClassName, MeshName;
  struct TTri {
    int32_t V[3] = {0, 0, 0};
    float U[3] = {0, 0, 0}, V2[3] = {0, 0, 0};
    int32_t PolyFlags = 0, TextureIndex = 0;
  };
  struct TWedge {
    int32_t Vertex = 0;
    float U = 0, V = 0;
  };
  struct TFace {
    int32_t Wedge[3] = {0, 0, 0};
    int32_t Material = 0;
  };
  struct TLodMaterial {
    int32_t PolyFlags = 0, TextureIndex = 0;
  };
  std::vector<TObjeto3DVertice> Verts;  // all frames, frame after frame, placed as the game places them
  std::vector<TTri> Tris;
  std::vector<TWedge> Wedges;
  std::vector<TFace> Faces;
  std::vector<TLodMaterial> LodMaterials;
  std::vector<int32_t> Textures;  // object references of the texture slots
  std::vector<TAnimSeq> AnimSeqs;
  int32_t FrameVerts = 0, AnimFrames = 0, SpecialVerts = 0;
  // The mesh's own placement: each vertex is (V - Origin) * Scale, turned by RotOrigin (pitch,
  // yaw, roll; 65536 to a turn), in the engine's axes.
  float Scale[3] = {0, 0, 0}, Origin[3] = {0, 0, 0};
  int32_t RotOrigin[3] = {0, 0, 0};

  int TriangleCount() const { return static_cast<int>(IsLodMesh ? Faces.size() : Tris.size()); }
};

// Decodes the object data of a Mesh or LodMesh export (its serial bytes). names resolves name
// indices (animation sequence names); version is the package's.
void ReadMeshObjectData(const std::vector<uint8_t>& data, int32_t version, TGameKind game,
                        const std::vector<std::string>& names, TPackageMesh& mesh, const std::string& displayName);

// Builds frame frameNumber (absolute) into mesh (emptied first). A frame beyond the vertices
// read raises EModelFileError. With addNormals one unit plane normal per triangle; otherwise
// every normal index is 65535.
void BuildPackageFrame(const TPackageMesh& source, int frameNumber, bool addNormals, TObjeto3D& mesh);

// The sequences the window offers: the mesh's, or one "<All Frames>" over every frame.
std::vector<TAnimSeq> OfferedSequences(const TPackageMesh& mesh);

// Appends the compact index of value to bytes; a negative value appends nothing.
void EncodeCompactIndex(int32_t value, std::string& bytes);

struct TClassDefaults {
  int32_t Mesh = 0;
  std::string MenuName;
  int32_t FaceSkin = 0, FixedSkin = 0, TeamSkin1 = 0, TeamSkin2 = 0;
};

// Searches object data for property tags instead of parsing the property list; a tag whose
// value does not make sense (a reference outside the tables, a string past the data) is no hit.
int32_t FindObjectProperty(const TUTPackage& package, const std::string& data, const std::string& property,
                           uint8_t info, const std::string& classes);
int32_t FindIntProperty(const TUTPackage& package, const std::string& data, const std::string& property);
std::string FindStringProperty(const TUTPackage& package, const std::string& data, const std::string& property,
                               uint8_t info);
// The property tags the class defaults are found by, made once per package.
struct TDefaultTags {
  explicit TDefaultTags(const TUTPackage& package);
  std::string Mesh05, Mesh15, MenuName5D, MenuName4D, MenuName3D, FaceSkin, FixedSkin, TeamSkin1, TeamSkin2;
};
// The defaults of player class export exportIndex of a package.
TClassDefaults ReadClassDefaults(TUTPackage& package, int32_t exportIndex);
TClassDefaults ReadClassDefaults(TUTPackage& package, int32_t exportIndex, const TDefaultTags& tags);

struct TMeshRow {
  std::string Caption;
  TLodMeshItem Item;
};

struct TScanResult {
  std::string PackageFileName;  // the .u file read
  std::vector<TMeshRow> Rows;   // in the order found
  std::string Note;             // the box text when nothing was found
};

// Finds the player models of a package. chosenFile is the .int or .u file the user picked; the
// package is the file of that name with ".u" (found without regard to letter case).
TScanResult ScanPackage(const std::string& chosenFile, bool useInt, TUTPackage& package);

struct TMeshObjectRead {
  TPackageMesh Mesh;
  std::string MeshPackageName;  // name of the package file that holds the mesh
  std::string Error;            // the box text when the row names no mesh ("ERROR" box)
};

// Reads the mesh a row names from package (loaded from packageFileName); an imported mesh is
// read from its own package in the same folder.
TMeshObjectRead ReadMeshObject(TUTPackage& package, const std::string& packageFileName, const TLodMeshItem& row,
                               TGameKind game);

// Reads an export's serial bytes from an open or closed package.
std::vector<uint8_t> ReadExportData(TUTPackage& package, int32_t exportIndex);
