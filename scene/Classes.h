#pragma once
// The small object model the scene library stands on: persistent objects that can be assigned
// and know their owner, and components with a name, an owner, a loading/destroying state and
// free notification (a component is told when one it refers to is destroyed).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#define CORVANE_CLASS_NAME(Name)                        \
  static constexpr const char* StaticClassName = #Name; \
  const char* ClassName() const override { return #Name; }

class TPersistent {
 public:
  virtual ~TPersistent() = default;
  virtual const char* ClassName() const { return "TPersistent"; }
  // Copies what the class knows how to copy; the base raises EConvertError
  // ("Cannot assign a <source> to a <this>").
  virtual void Assign(const TPersistent* source);
  virtual TPersistent* GetOwner() const { return nullptr; }
  // "Owner.Name.Sub" path used in messages.
  virtual std::string GetNamePath() const;
};

using TNotifyEvent = std::function<void(TPersistent* sender)>;

enum TComponentStateFlag : unsigned { csLoading = 1, csDesigning = 2, csDestroying = 4 };
enum TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner = nullptr);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  const char* ClassName() const override { return "TComponent"; }

  TComponent* Owner() const { return FOwner; }
  TPersistent* GetOwner() const override { return FOwner; }
  std::string GetNamePath() const override { return Name; }
  std::string Name;
  unsigned ComponentState = 0;
  bool Loading() const { return ComponentState & csLoading; }
  bool Destroying() const { return ComponentState & csDestroying; }
  // Form loading: sets csLoading; Loaded clears it (subclasses finish their set-up there).
  void BeginLoading() { ComponentState |= csLoading; }
  virtual void Loaded() { ComponentState &= ~csLoading; }

  // Both components are told (Notification with opRemove) when the other is destroyed.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);
  virtual void Notification(TComponent* component, TOperation operation);

 protected:
  // Called first thing by the destructors of subclasses that must not be notified while
  // half-destroyed; safe to call twice.
  void BeginDestruction();

 private:
  TComponent* FOwner;
  std::vector<TComponent*> FFreeNotifies;
};
