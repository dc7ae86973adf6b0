// Behaviours and effects of scene objects, and the proxy object.
#include "platform/Exceptions.h"
#include "platform/ScopeGuard.h"
#include "scene/Filer.h"
#include "scene/GLViewerCore.h"
#include "scene/OpenGL12.h"
#include "scene/SceneGraph.h"

// --- behaviours

TGLBaseSceneObject* TGLBaseBehaviour::OwnerBaseSceneObject() const {
  return Owner() ? dynamic_cast<TGLBaseSceneObject*>(Owner()->Owner) : nullptr;
}

void TGLBaseBehaviour::WriteToFiler(TWriter& writer) const {
  writer.WriteInteger(0);
  TXCollectionItem::WriteToFiler(writer);
}

void TGLBaseBehaviour::ReadFromFiler(TReader& reader) {
  if (reader.ReadInteger() != 0) throw EAssertionFailed("Assertion failure");
  TXCollectionItem::ReadFromFiler(reader);
}

void TGLBaseBehaviour::DoProgress(double, double) {}

TGLBehaviours::TGLBehaviours(TPersistent* owner) : TXCollection(owner) {
  if (!dynamic_cast<TGLBaseSceneObject*>(owner)) throw EAssertionFailed("Assertion failure");
}

void TGLBehaviours::DoProgress(double deltaTime, double newTime) {
  for (int i = 0; i < Count(); ++i)
    if (auto* b = dynamic_cast<TGLBaseBehaviour*>(Items(i))) b->DoProgress(deltaTime, newTime);
}

// --- stored form of both collections

namespace {
void WriteCollection(const TXCollection& c, TStream& s) {
  TWriter w(s);
  c.WriteToFiler(w);
}
void ReadCollection(TXCollection& c, TStream& s) {
  TReader r(s);
  c.ReadFromFiler(r);
}
}  // namespace

void TGLBaseSceneObject::WriteBehavioursData(TStream& s) const { WriteCollection(*FBehaviours, s); }
void TGLBaseSceneObject::ReadBehavioursData(TStream& s) { ReadCollection(*FBehaviours, s); }
void TGLBaseSceneObject::WriteEffectsData(TStream& s) const { WriteCollection(*FEffects, s); }
void TGLBaseSceneObject::ReadEffectsData(TStream& s) { ReadCollection(*FEffects, s); }

// --- effects

void TGLObjectEffect::Render(TGLViewerCore*, TRenderContextInfo&) {}

TGLObjectEffects::TGLObjectEffects(TPersistent* owner) : TXCollection(owner) {
  if (!dynamic_cast<TGLBaseSceneObject*>(owner)) throw EAssertionFailed("Assertion failure");
}

void TGLObjectEffects::DoProgress(double deltaTime, double newTime) {
  for (int i = 0; i < Count(); ++i)
    if (auto* e = dynamic_cast<TGLBaseBehaviour*>(Items(i))) e->DoProgress(deltaTime, newTime);
}

void TGLObjectEffects::RenderPreEffects(TRenderContextInfo& rci) {
  for (int i = 0; i < Count(); ++i)
    if (auto* e = dynamic_cast<TGLObjectPreEffect*>(Items(i))) e->Render(rci.Viewer, rci);
}

void TGLObjectEffects::RenderPostEffects(TRenderContextInfo& rci) {
  for (int i = 0; i < Count(); ++i) {
    if (auto* e = dynamic_cast<TGLObjectPostEffect*>(Items(i)))
      e->Render(rci.Viewer, rci);
    else if (auto* a = dynamic_cast<TGLObjectAfterEffect*>(Items(i)); a && rci.Viewer)
      rci.Viewer->AfterEffects.push_back(a);
  }
}

// --- proxy

TGLProxyObject::TGLProxyObject(TComponent* owner) : TGLBaseSceneObject(owner) { FObjectStyle = osDirectDraw; }

TGLProxyObject::~TGLProxyObject() {
  BeginDestruction();
  if (FMasterObject) RemoveFreeNotification(FMasterObject);
}

void TGLProxyObject::SetMasterObject(TGLBaseSceneObject* master) {
  if (master == FMasterObject) return;
  if (FMasterObject) ReleaseReferencedComponent(this, FMasterObject);
  FMasterObject = master;
  if (master) FreeNotification(master);
  StructureChanged();
}

void TGLProxyObject::SetProxyOptions(TGLProxyObjectOptions o) {
  if (o == FProxyOptions) return;
  FProxyOptions = o;
  NotifyChange(this);
}

void TGLProxyObject::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component == FMasterObject) {
    FMasterObject = nullptr;
    StructureChanged();
  }
  TGLBaseSceneObject::Notification(component, operation);
}

void TGLProxyObject::Render(TRenderContextInfo& rci) {
  // A master that contains this proxy would draw it again, and so on without end.
  if (FRendering) return;
  FRendering = true;
  const bool saved = rci.DrawRelativeToParent;
  {
    TScopeGuard restore([&] {
      rci.DrawRelativeToParent = saved;
      FRendering = false;
    });
    if (FMasterObject && (FProxyOptions & pooObjects)) {
      rci.DrawRelativeToParent = true;
      FMasterObject->Render(rci);
      rci.DrawRelativeToParent = saved;
    }
    if (Count() > 0) RenderChildren(0, Count() - 1, rci);
    if (FMasterObject && (FProxyOptions & pooEffects) && FMasterObject->Effects().Count() > 0)
      FMasterObject->Effects().RenderPostEffects(rci);
  }
}

void TGLProxyObject::Assign(const TPersistent* source) {
  TGLBaseSceneObject::Assign(source);
  if (auto* p = dynamic_cast<const TGLProxyObject*>(source)) {
    SetMasterObject(p->FMasterObject);
    FProxyOptions = p->FProxyOptions;
  }
}
