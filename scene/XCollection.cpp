#include "scene/XCollection.h"

#include <algorithm>
#include <utility>

#include "platform/Exceptions.h"
#include "scene/Filer.h"

namespace {
std::vector<std::pair<std::string, TXCollectionItemFactory>>& Registry() {
  static std::vector<std::pair<std::string, TXCollectionItemFactory>> r;
  return r;
}
}  // namespace

void RegisterXCollectionItemClass(const std::string& className, TXCollectionItemFactory factory) {
  Registry().emplace_back(className, std::move(factory));
}

void UnregisterXCollectionItemClass(const std::string& className) {
  auto& r = Registry();
  r.erase(std::remove_if(r.begin(), r.end(), [&](const auto& e) { return e.first == className; }), r.end());
}

const TXCollectionItemFactory* FindXCollectionItemClass(const std::string& className) {
  for (const auto& e : Registry())
    if (e.first == className) return &e.second;
  return nullptr;
}

// --- items

TPersistent* TXCollectionItem::GetOwner() const { return FOwner; }

void TXCollectionItem::WriteToFiler(TWriter& writer) const {
  writer.WriteInteger(0);
  writer.WriteString(FName);
}

void TXCollectionItem::ReadFromFiler(TReader& reader) {
  if (reader.ReadInteger() != 0) throw EAssertionFailed("Assertion failure");
  FName = reader.ReadString();
}

void TXCollectionItem::Assign(const TPersistent* source) {
  if (auto* s = dynamic_cast<const TXCollectionItem*>(source)) {
    FName = s->FName;
    return;
  }
  TPersistent::Assign(source);
}

int TXCollectionItem::Index() const { return FOwner ? FOwner->IndexOf(this) : -1; }

std::string TXCollectionItem::GetNamePath() const {
  if (!FOwner) return TPersistent::GetNamePath();
  return FOwner->GetNamePath() + "[" + std::to_string(Index()) + "]";
}

// --- collection

TXCollection::~TXCollection() { Clear(); }

TXCollectionItem* TXCollection::Add(std::unique_ptr<TXCollectionItem> item) {
  item->FOwner = this;
  item->FName = item->FriendlyName();
  FItems.push_back(std::move(item));
  return FItems.back().get();
}

void TXCollection::Remove(TXCollectionItem* item) {
  auto it = std::find_if(FItems.begin(), FItems.end(), [&](const auto& p) { return p.get() == item; });
  if (it != FItems.end()) FItems.erase(it);
}

int TXCollection::IndexOf(const TXCollectionItem* item) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].get() == item) return static_cast<int>(i);
  return -1;
}

void TXCollection::Clear() {
  for (auto& item : FItems) item->FOwner = nullptr;
  FItems.clear();
}

void TXCollection::Loaded() {
  for (auto& item : FItems) item->Loaded();
}

void TXCollection::Assign(const TPersistent* source) {
  if (!source) {
    Clear();
    return;
  }
  auto* src = dynamic_cast<const TXCollection*>(source);
  if (!src || std::string(src->ClassName()) != ClassName()) {
    TPersistent::Assign(source);
    return;
  }
  if (src == this) return;
  Clear();
  for (const auto& s : src->FItems) {
    TXCollectionItem* item = Add(s->CreateSame());
    item->Assign(s.get());
  }
}

std::string TXCollection::GetNamePath() const {
  if (Owner) {
    const std::string path = Owner->GetNamePath();
    if (!path.empty()) return path + ".XCollection";
  }
  return ClassName();
}

void TXCollection::WriteToFiler(TWriter& writer) const {
  writer.WriteInteger(Count());
  std::vector<std::string> written;
  for (const auto& item : FItems) {
    const std::string cls = item->ClassName();
    auto it = std::find(written.begin(), written.end(), cls);
    if (it != written.end()) {
      writer.WriteInteger(static_cast<int32_t>(it - written.begin()));
    } else {
      writer.WriteString(cls);
      written.push_back(cls);
    }
    item->WriteToFiler(writer);
  }
}

void TXCollection::ReadFromFiler(TReader& reader) {
  Clear();
  const int32_t n = reader.ReadInteger();
  if (n < 0) throw EAssertionFailed("Assertion failure");
  std::vector<const TXCollectionItemFactory*> classes;
  for (int32_t i = 0; i < n; ++i) {
    const TXCollectionItemFactory* factory;
    const TValueType t = reader.NextValue();
    if (t == vaString || t == vaLString) {
      factory = FindXCollectionItemClass(reader.ReadString());
      if (!factory) throw EAssertionFailed("Assertion failure");
      classes.push_back(factory);
    } else {
      // An index of a class written earlier in this stream; one out of range is refused.
      const int32_t idx = reader.ReadInteger();
      if (idx < 0 || idx >= static_cast<int32_t>(classes.size())) throw EAssertionFailed("Assertion failure");
      factory = classes[static_cast<size_t>(idx)];
    }
    TXCollectionItem* item = Add((*factory)());
    item->ReadFromFiler(reader);
  }
}
