#include "scene/Classes.h"

#include <algorithm>

#include "platform/Exceptions.h"

void TPersistent::Assign(const TPersistent* source) {
  throw EConvertError(std::string("Cannot assign a ") + (source ? source->ClassName() : "nil") + " to a " +
                      ClassName());
}

std::string TPersistent::GetNamePath() const { return ClassName(); }

TComponent::TComponent(TComponent* owner) : FOwner(owner) {}

TComponent::~TComponent() {
  BeginDestruction();
  // Tell everyone who asked; they drop their references to this component.
  std::vector<TComponent*> others;
  others.swap(FFreeNotifies);
  for (TComponent* c : others) {
    auto& v = c->FFreeNotifies;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    c->Notification(this, opRemove);
  }
}

void TComponent::BeginDestruction() { ComponentState |= csDestroying; }

void TComponent::FreeNotification(TComponent* other) {
  if (!other || other == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), other) == FFreeNotifies.end())
    FFreeNotifies.push_back(other);
  auto& v = other->FFreeNotifies;
  if (std::find(v.begin(), v.end(), this) == v.end()) v.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (!other) return;
  FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), other), FFreeNotifies.end());
  auto& v = other->FFreeNotifies;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

void TComponent::Notification(TComponent*, TOperation) {}
