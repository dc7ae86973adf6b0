#include "scene/GLMaterialLibrary.h"

#include <algorithm>

#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "platform/StrUtils.h"

// --- library material

TGLLibMaterial::TGLLibMaterial(TGLLibMaterials* collection)
    : FCollection(collection),
      FMaterial(std::make_unique<TGLMaterial>(this)),
      FTextureOffset(std::make_unique<TGLCoordinates>(this, NullHmgVector)),
      FTextureScale(std::make_unique<TGLCoordinates>(this, TVector{1, 1, 1, 0})) {
  FMaterial->Texture().OnTextureNeeded = [this](TPersistent* sender, std::string& name) {
    DoOnTextureNeeded(sender, name);
  };
  FMaterial->Texture().Image().OnTextureNeeded = FMaterial->Texture().OnTextureNeeded;  // made before
  if (FCollection) FName = FCollection->MakeUniqueName("LibMaterial", this);
}

TGLLibMaterial::~TGLLibMaterial() {
  for (TGLMaterial* m : std::vector<TGLMaterial*>(FUsers)) {
    m->FMaterialLibrary = nullptr;
    m->FLibMaterialName.clear();
    m->FLibMaterial = nullptr;
  }
}

TPersistent* TGLLibMaterial::GetOwner() const { return FCollection; }

int TGLLibMaterial::Index() const { return FCollection ? FCollection->IndexOf(this) : -1; }

void TGLLibMaterial::SetName(const std::string& name) {
  if (name == FName) return;
  const TGLMaterialLibrary* lib = FCollection ? FCollection->Library() : nullptr;
  if (!FCollection || (lib && lib->Loading())) {
    FName = name;
    return;
  }
  TGLLibMaterial* other = FCollection->GetLibMaterialByName(name);
  FName = other && other != this ? FCollection->MakeUniqueName(name, this) : name;
}

void TGLLibMaterial::CalculateTextureMatrix() {
  const bool identity = FTextureOffset->Equals(NullHmgVector) && FTextureScale->Equals(TVector{1, 1, 1, 0});
  FTextureMatrixIsIdentity = identity;
  FTextureMatrix =
      identity ? IdentityHmgMatrix
               : CreateScaleAndTranslationMatrix(FTextureScale->AsAffineVector(), FTextureOffset->AsAffineVector());
  NotifyUsers();
}

void TGLLibMaterial::Assign(const TPersistent* source) {
  if (auto* s = dynamic_cast<const TGLLibMaterial*>(source)) {
    SetName(s->FName);
    FMaterial->Assign(s->FMaterial.get());
    FTextureOffset->Assign(s->FTextureOffset.get());
    FTextureScale->Assign(s->FTextureScale.get());
    CalculateTextureMatrix();
    return;
  }
  TPersistent::Assign(source);
}

void TGLLibMaterial::RegisterUser(TGLMaterial* user) {
  if (std::find(FUsers.begin(), FUsers.end(), user) != FUsers.end()) throw EAssertionFailed("Assertion failure");
  FUsers.push_back(user);
}

void TGLLibMaterial::UnregisterUser(TGLMaterial* user) {
  FUsers.erase(std::remove(FUsers.begin(), FUsers.end(), user), FUsers.end());
}

void TGLLibMaterial::NotifyUsers() {
  for (TGLMaterial* m : std::vector<TGLMaterial*>(FUsers)) m->NotifyChange(m);
}

void TGLLibMaterial::DoOnTextureNeeded(TPersistent* sender, std::string& fileName) {
  TGLMaterialLibrary* lib = FCollection ? FCollection->Library() : nullptr;
  if (!lib) return;
  if (lib->OnTextureNeeded) lib->OnTextureNeeded(sender, fileName);
  if (fileName.find(':') != std::string::npos || (!fileName.empty() && IsPathDelimiter(fileName[0]))) return;
  for (const std::string& path : lib->TexturePathList()) {
    if (FileExists(ToNativePath(path + fileName))) {
      fileName = path + fileName;
      return;
    }
  }
}

// --- the collection

TGLLibMaterials::~TGLLibMaterials() { Clear(); }

TPersistent* TGLLibMaterials::GetOwner() const { return FOwner; }

TGLLibMaterial* TGLLibMaterials::Add() {
  FItems.push_back(std::make_unique<TGLLibMaterial>(this));
  return FItems.back().get();
}

void TGLLibMaterials::Delete(int i) {
  std::unique_ptr<TGLLibMaterial> item = std::move(FItems.at(static_cast<size_t>(i)));
  FItems.erase(FItems.begin() + i);
}

void TGLLibMaterials::Clear() {
  while (!FItems.empty()) Delete(Count() - 1);
}

int TGLLibMaterials::IndexOf(const TGLLibMaterial* item) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i) == item) return i;
  return -1;
}

TGLLibMaterial* TGLLibMaterials::GetLibMaterialByName(const std::string& name) const {
  for (const auto& m : FItems)
    if (m->Name() == name) return m.get();
  return nullptr;
}

std::string TGLLibMaterials::MakeUniqueName(const std::string& name, const TGLLibMaterial* except) const {
  auto taken = [&](const std::string& n) {
    for (const auto& m : FItems)
      if (m.get() != except && m->Name() == n) return true;
    return false;
  };
  if (!taken(name)) return name;
  for (int i = 1;; ++i)
    if (!taken(name + std::to_string(i))) return name + std::to_string(i);
}

void TGLLibMaterials::Assign(const TPersistent* source) {
  if (auto* s = dynamic_cast<const TGLLibMaterials*>(source)) {
    Clear();
    for (const auto& m : s->FItems) Add()->Assign(m.get());
    return;
  }
  TPersistent::Assign(source);
}

void TGLLibMaterials::DestroyHandles(bool contextGone) {
  for (const auto& m : FItems) m->Material().DestroyHandle(contextGone);
}

// --- the library

TGLMaterialLibrary::TGLMaterialLibrary(TComponent* owner)
    : TGLCadenceAbleComponent(owner), FMaterials(std::make_unique<TGLLibMaterials>(this)) {}

TGLMaterialLibrary::~TGLMaterialLibrary() {
  BeginDestruction();
  FMaterials.reset();
}

void TGLMaterialLibrary::SetTexturePaths(const std::string& paths) {
  FTexturePaths = paths;
  FTexturePathList.clear();
  size_t start = 0;
  while (start <= paths.size()) {
    size_t end = paths.find(';', start);
    if (end == std::string::npos) end = paths.size();
    std::string piece = Trim(paths.substr(start, end - start));
    if (!piece.empty()) {
      if (piece.back() != '\\') piece += '\\';
      FTexturePathList.push_back(piece);
    }
    start = end + 1;
  }
}

void TGLMaterialLibrary::Loaded() {
  TGLCadenceAbleComponent::Loaded();
  for (int i = 0; i < FMaterials->Count(); ++i) FMaterials->Items(i)->CalculateTextureMatrix();
}
