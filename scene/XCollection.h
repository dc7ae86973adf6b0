#pragma once
// A heterogeneous, streamable collection of items of registered classes: the base of the
// behaviours and effects of scene objects.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scene/Classes.h"

class TReader;
class TWriter;
class TXCollection;

class TXCollectionItem : public TPersistent {
 public:
  TXCollectionItem() = default;
  const char* ClassName() const override { return "TXCollectionItem"; }
  TXCollection* Owner() const { return FOwner; }
  TPersistent* GetOwner() const override;
  const std::string& Name() const { return FName; }
  virtual void SetName(const std::string& name) { FName = name; }
  virtual void WriteToFiler(TWriter& writer) const;  // version 0, then Name
  virtual void ReadFromFiler(TReader& reader);       // other versions fail with "Assertion failure"
  virtual std::string FriendlyName() const = 0;
  virtual std::string FriendlyDescription() const { return FriendlyName(); }
  virtual std::string ItemCategory() const { return ""; }
  virtual bool UniqueItem() const { return false; }
  virtual void Loaded() {}
  // A new item of the same class, not yet in any collection.
  virtual std::unique_ptr<TXCollectionItem> CreateSame() const = 0;
  void Assign(const TPersistent* source) override;  // copies Name from another item
  int Index() const;
  std::string GetNamePath() const override;

 private:
  friend class TXCollection;
  TXCollection* FOwner = nullptr;
  std::string FName;
};

class TXCollection : public TPersistent {
 public:
  explicit TXCollection(TPersistent* owner) : Owner(owner) {}
  ~TXCollection() override;
  TXCollection(const TXCollection&) = delete;
  TXCollection& operator=(const TXCollection&) = delete;
  const char* ClassName() const override { return "TXCollection"; }
  TPersistent* GetOwner() const override { return Owner; }
  TPersistent* Owner;

  int Count() const { return static_cast<int>(FItems.size()); }
  TXCollectionItem* Items(int i) const { return FItems.at(static_cast<size_t>(i)).get(); }
  // Takes the item, sets its owner and names it after its class's friendly name.
  TXCollectionItem* Add(std::unique_ptr<TXCollectionItem> item);
  void Remove(TXCollectionItem* item);  // frees it
  int IndexOf(const TXCollectionItem* item) const;
  void Clear();
  void Loaded();
  void Assign(const TPersistent* source) override;
  std::string GetNamePath() const override;

  // Count, then per item its class (the name the first time, afterwards the index of the class
  // in the order of first appearance) and the item's own data.
  void WriteToFiler(TWriter& writer) const;
  void ReadFromFiler(TReader& reader);

 private:
  std::vector<std::unique_ptr<TXCollectionItem>> FItems;
};

// The process-wide registry of item classes, searched by exact class name.
using TXCollectionItemFactory = std::function<std::unique_ptr<TXCollectionItem>()>;
void RegisterXCollectionItemClass(const std::string& className, TXCollectionItemFactory factory);
void UnregisterXCollectionItemClass(const std::string& className);
// nullptr when no class of that name is registered.
const TXCollectionItemFactory* FindXCollectionItemClass(const std::string& className);
