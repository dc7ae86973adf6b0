#pragma once
// Named materials shared by several objects: a library material keeps the materials that use
// it and tells them when it changes; its texture may be offset and scaled by a texture matrix.
#include <memory>
#include <string>
#include <vector>

#include "scene/GLTexture.h"

class TGLLibMaterials;

class TGLLibMaterial : public TPersistent, public ICoordinateOwner {
 public:
  explicit TGLLibMaterial(TGLLibMaterials* collection);
  ~TGLLibMaterial() override;  // every material using it forgets it
  const char* ClassName() const override { return "TGLLibMaterial"; }
  TPersistent* GetOwner() const override;
  TGLLibMaterials* Collection() const { return FCollection; }
  int Index() const;

  const std::string& Name() const { return FName; }
  // A name another item has gets the first number from 1 up that makes it unique (taken as it
  // is while the library loads).
  void SetName(const std::string& name);
  std::string DisplayName() const { return FName; }
  TGLMaterial& Material() { return *FMaterial; }
  void SetMaterial(const TGLMaterial& m) { FMaterial->Assign(&m); }
  TGLCoordinates& TextureOffset() { return *FTextureOffset; }
  TGLCoordinates& TextureScale() { return *FTextureScale; }
  bool TextureMatrixIsIdentity() const { return FTextureMatrixIsIdentity; }
  const TMatrix& TextureMatrix() const { return FTextureMatrix; }
  void CalculateTextureMatrix();
  void CoordinateChanged(TGLCoordinates*) override { CalculateTextureMatrix(); }
  void Assign(const TPersistent* source) override;

  // Materials that use this one; a material registers once.
  void RegisterUser(TGLMaterial* user);
  void UnregisterUser(TGLMaterial* user);
  int UserCount() const { return static_cast<int>(FUsers.size()); }
  void NotifyUsers();
  // Its texture asks the library: the library's event, then each texture path in turn.
  void DoOnTextureNeeded(TPersistent* sender, std::string& fileName);

 private:
  TGLLibMaterials* FCollection;
  std::string FName;
  std::unique_ptr<TGLMaterial> FMaterial;
  std::unique_ptr<TGLCoordinates> FTextureOffset, FTextureScale;
  std::vector<TGLMaterial*> FUsers;
  TMatrix FTextureMatrix = IdentityHmgMatrix;
  bool FTextureMatrixIsIdentity = true;
};

class TGLMaterialLibrary;

class TGLLibMaterials : public TPersistent {
 public:
  explicit TGLLibMaterials(TGLMaterialLibrary* owner) : FOwner(owner) {}
  ~TGLLibMaterials() override;
  const char* ClassName() const override { return "TGLLibMaterials"; }
  TPersistent* GetOwner() const override;
  TGLMaterialLibrary* Library() const { return FOwner; }
  int Count() const { return static_cast<int>(FItems.size()); }
  TGLLibMaterial* Items(int i) const { return FItems.at(static_cast<size_t>(i)).get(); }
  // A new item named "LibMaterial", or "LibMaterial" and the first free number.
  TGLLibMaterial* Add();
  void Delete(int i);
  void Clear();
  int IndexOf(const TGLLibMaterial* item) const;
  // Exact comparison, first match.
  TGLLibMaterial* GetLibMaterialByName(const std::string& name) const;
  // Name followed by the first number from 1 up that no item other than `except` has.
  std::string MakeUniqueName(const std::string& name, const TGLLibMaterial* except) const;
  void Assign(const TPersistent* source) override;
  void DestroyHandles(bool contextGone);

 private:
  TGLMaterialLibrary* FOwner;
  std::vector<std::unique_ptr<TGLLibMaterial>> FItems;
};

class TGLMaterialLibrary : public TGLCadenceAbleComponent {
 public:
  explicit TGLMaterialLibrary(TComponent* owner = nullptr);
  ~TGLMaterialLibrary() override;
  const char* ClassName() const override { return "TGLMaterialLibrary"; }
  TGLLibMaterials& Materials() { return *FMaterials; }
  void SetMaterials(const TGLLibMaterials& m) { FMaterials->Assign(&m); }
  const std::string& TexturePaths() const { return FTexturePaths; }
  // Split at ";", each piece trimmed and ended with "\"; empty pieces skipped.
  void SetTexturePaths(const std::string& paths);
  const std::vector<std::string>& TexturePathList() const { return FTexturePathList; }
  TTextureNeededEvent OnTextureNeeded;
  void Loaded() override;  // every item recomputes its texture matrix

 private:
  std::unique_ptr<TGLLibMaterials> FMaterials;
  std::string FTexturePaths;
  std::vector<std::string> FTexturePathList;
};
