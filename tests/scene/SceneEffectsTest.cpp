// Behaviours, effects and the proxy object: order of progress and drawing, ownership rules,
// stored form, and the proxy following (and outliving) its master.
#include <gtest/gtest.h>

#include "platform/Streams.h"
#include "scene/Filer.h"
#include "scene/FilerBytes.h"
#include "scene/GLViewerCore.h"
#include "scene/RecordingFixture.h"
#include "scene/SceneGraph.h"

namespace {

std::vector<std::string> gLog;

class LoggingBehaviour : public TGLBehaviour {
 public:
  const char* ClassName() const override { return "TLoggingBehaviour"; }
  std::string FriendlyName() const override { return "Logger"; }
  std::unique_ptr<TXCollectionItem> CreateSame() const override { return std::make_unique<LoggingBehaviour>(); }
  void DoProgress(double, double) override { gLog.push_back("behaviour of " + OwnerBaseSceneObject()->Name); }
  void Loaded() override { gLog.push_back("loaded " + Name()); }
};

template <typename Base>
class LoggingEffect : public Base {
 public:
  explicit LoggingEffect(std::string tag = "") : Tag(std::move(tag)) {}
  const char* ClassName() const override { return "TLoggingEffect"; }
  std::string FriendlyName() const override { return "Effect"; }
  std::unique_ptr<TXCollectionItem> CreateSame() const override { return std::make_unique<LoggingEffect>(Tag); }
  void Render(TGLViewerCore*, TRenderContextInfo&) override { gLog.push_back(Tag); }
  std::string Tag;
};

template <typename Base>
class FailingEffect : public Base {
 public:
  const char* ClassName() const override { return "TFailingEffect"; }
  std::string FriendlyName() const override { return "Failing"; }
  std::unique_ptr<TXCollectionItem> CreateSame() const override { return std::make_unique<FailingEffect>(); }
  void Render(TGLViewerCore*, TRenderContextInfo&) override { throw EOpenGLError("effect failed"); }
};

using EffectsTest = RecordingGL;

TEST_F(EffectsTest, ProgressVisitsChildrenBackwardsThenBehaviours) {
  gLog.clear();
  TGLScene scene;
  auto* parent = scene.Objects().AddNewChild<TGLSceneObject>();
  parent->Name = "parent";
  for (const char* n : {"a", "b"}) {
    auto* c = parent->AddNewChild<TGLSceneObject>();
    c->Name = n;
    c->Behaviours().Add(std::make_unique<LoggingBehaviour>());
  }
  parent->Behaviours().Add(std::make_unique<LoggingBehaviour>());
  parent->OnProgress = [](TPersistent*, double dt, double t) {
    gLog.push_back("event " + std::to_string(int(dt * 10)) + " " + std::to_string(int(t)));
  };
  parent->DoProgress(0.5, 3);
  EXPECT_EQ(gLog, (std::vector<std::string>{"behaviour of b", "behaviour of a", "behaviour of parent", "event 5 3"}));
  // The collections insist on a scene object as owner.
  TPersistent plain;
  EXPECT_THROW(TGLBehaviours{&plain}, EAssertionFailed);
  EXPECT_THROW(TGLObjectEffects{nullptr}, EAssertionFailed);
}

TEST_F(EffectsTest, PreAndPostAroundTheObjectAfterEffectsAfterTheScene) {
  gLog.clear();
  TGLScene scene;
  auto* cam = scene.Cameras().AddNewChild<TGLCamera>();
  cam->Position().SetVector(0, 0, 10);
  scene.Objects().SetObjectsSorting(osNone);
  auto* first = scene.Objects().AddNewChild<TDirectOpenGL>();
  first->OnRender = [](TDirectOpenGL*, TRenderContextInfo&) { gLog.push_back("first"); };
  first->Effects().Add(std::make_unique<LoggingEffect<TGLObjectAfterEffect>>("after"));
  first->Effects().Add(std::make_unique<LoggingEffect<TGLObjectPostEffect>>("post"));
  first->Effects().Add(std::make_unique<LoggingEffect<TGLObjectPreEffect>>("pre"));
  auto* second = scene.Objects().AddNewChild<TDirectOpenGL>();
  second->OnRender = [](TDirectOpenGL*, TRenderContextInfo&) { gLog.push_back("second"); };
  FakeViewer v;
  v.CreateContext();
  v.SetCamera(cam);
  rec.Clear();
  v.Paint();
  EXPECT_EQ(gLog, (std::vector<std::string>{"pre", "first", "post", "second", "after"}));
  EXPECT_EQ(rec.Count("glPushMatrix"), rec.Count("glPopMatrix"));
  EXPECT_EQ(rec.Count("glPushMatrix"), 2);
  gLog.clear();
  v.Paint();  // the queue starts empty each frame
  EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "after"), 1);
  // A copied object copies its effects.
  TDirectOpenGL copy;
  copy.Assign(first);
  EXPECT_EQ(copy.Effects().Count(), 3);
  EXPECT_STREQ(copy.Effects().Items(2)->ClassName(), "TLoggingEffect");
}

// A failing effect leaves no matrix pushed: the next frames would draw from the wrong place and
// the stack would overflow after a few dozen of them.
TEST_F(EffectsTest, AFailingEffectLeavesTheMatrixStackAsItFoundIt) {
  for (bool pre : {true, false}) {
    SCOPED_TRACE(pre ? "pre-effect" : "post-effect");
    TGLScene scene;
    auto* cam = scene.Cameras().AddNewChild<TGLCamera>();
    auto* object = scene.Objects().AddNewChild<TDirectOpenGL>();
    if (pre)
      object->Effects().Add(std::make_unique<FailingEffect<TGLObjectPreEffect>>());
    else
      object->Effects().Add(std::make_unique<FailingEffect<TGLObjectPostEffect>>());
    FakeViewer v;
    v.CreateContext();
    v.SetCamera(cam);
    rec.Clear();
    EXPECT_THROW(v.Paint(), EOpenGLError);
    EXPECT_GT(rec.Count("glPushMatrix"), 0) << rec.Names();
    EXPECT_EQ(rec.Count("glPopMatrix"), rec.Count("glPushMatrix")) << rec.Names();
  }
}

TEST_F(EffectsTest, BehavioursStoreTheirOwnVersion) {
  RegisterXCollectionItemClass("TLoggingBehaviour", [] { return std::make_unique<LoggingBehaviour>(); });
  TGLSceneObject o;
  EXPECT_FALSE(o.StoredBehaviours());  // an empty collection is not stored
  o.Behaviours().Add(std::make_unique<LoggingBehaviour>())->SetName("walk");
  EXPECT_TRUE(o.StoredBehaviours());
  EXPECT_FALSE(o.StoredEffects());
  TMemoryStream s;
  o.WriteBehavioursData(s);
  // count, class name, the behaviour's version, the item's version, the name
  const std::string expected = FilerBytes().Int8(1).Str("TLoggingBehaviour").Int8(0).Int8(0).Str("walk").Bytes();
  EXPECT_EQ(std::string(s.Bytes().begin(), s.Bytes().end()), expected);
  // Read back while the object loads; its behaviours hear about the end of loading.
  gLog.clear();
  TGLSceneObject p;
  p.BeginLoading();
  s.SetPosition(0);
  p.ReadBehavioursData(s);
  ASSERT_EQ(p.Behaviours().Count(), 1);
  EXPECT_EQ(p.Behaviours().Items(0)->Name(), "walk");
  EXPECT_TRUE(gLog.empty());
  p.Loaded();
  EXPECT_EQ(gLog, std::vector<std::string>{"loaded walk"});
  TMemoryStream none;
  p.WriteEffectsData(none);
  EXPECT_EQ(std::string(none.Bytes().begin(), none.Bytes().end()), FilerBytes().Int8(0).Bytes());
  // Version 1 of the behaviour's own data is refused.
  std::vector<uint8_t> bad(s.Bytes());
  bad[2 + 19 + 1] = 1;
  TMemoryStream badStream(bad);
  TReader br(badStream);
  EXPECT_THROW(p.Behaviours().ReadFromFiler(br), EAssertionFailed);
  UnregisterXCollectionItemClass("TLoggingBehaviour");
}

TEST_F(EffectsTest, ProxyDrawsItsMasterAndForgetsIt) {
  gLog.clear();
  TGLScene scene;
  auto* cam = scene.Cameras().AddNewChild<TGLCamera>();
  cam->Position().SetVector(0, 0, 10);
  scene.Objects().SetObjectsSorting(osNone);
  auto* master = scene.Objects().AddNewChild<TDirectOpenGL>();
  master->OnRender = [](TDirectOpenGL*, TRenderContextInfo& rci) {
    gLog.push_back(rci.DrawRelativeToParent ? "master relative" : "master");
  };
  auto* proxy = scene.Objects().AddNewChild<TGLProxyObject>();
  proxy->SetMasterObject(master);
  proxy->AddNewChild<TDirectOpenGL>()->OnRender = [](TDirectOpenGL*, TRenderContextInfo& rci) {
    gLog.push_back(rci.DrawRelativeToParent ? "child relative" : "child");
  };
  // A proxy inside its own master's tree does not draw itself without end.
  auto* loop = proxy->AddNewChild<TGLProxyObject>();
  loop->SetMasterObject(proxy);
  FakeViewer v;
  v.CreateContext();
  v.SetCamera(cam);
  v.Paint();
  // (the inner proxy would draw the outer one, which is already being drawn: nothing more)
  EXPECT_EQ(gLog, (std::vector<std::string>{"master", "master relative", "child"}));
  gLog.clear();
  proxy->SetProxyOptions(pooEffects);
  v.Paint();
  EXPECT_EQ(gLog, (std::vector<std::string>{"master", "child"}));
  delete master;
  EXPECT_EQ(proxy->MasterObject(), nullptr);
  gLog.clear();
  v.Paint();
  EXPECT_EQ(gLog, (std::vector<std::string>{"child"}));
}

}  // namespace
