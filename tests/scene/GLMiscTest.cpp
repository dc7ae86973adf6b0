// Change notification, coordinates and their stored form, the OpenGL state caches (counted on
// the recording table) and the small routines.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "platform/Streams.h"
#include "scene/GLMisc.h"
#include "scene/RecordingFixture.h"
#include "tests/support/Scratch.h"

namespace {

class CountingObject : public TGLUpdateAbleObject {
 public:
  using TGLUpdateAbleObject::TGLUpdateAbleObject;
  void NotifyChange(TPersistent* sender) override {
    ++Changes;
    TGLUpdateAbleObject::NotifyChange(sender);
  }
  int Changes = 0;
};

class CountingComponent : public TGLUpdateAbleComponent {
 public:
  using TGLUpdateAbleComponent::TGLUpdateAbleComponent;
  void NotifyChange(TPersistent*) override { ++Changes; }
  int Changes = 0;
};

TEST(Notification, ClimbsTheOwnerChainUnlessUpdating) {
  CountingComponent top;
  CountingObject middle(&top);
  TGLUpdateAbleObject leaf(&middle);
  int fired = 0;
  leaf.OnNotifyChange = [&](TPersistent* s) {
    EXPECT_EQ(s, &leaf);
    ++fired;
  };
  leaf.NotifyChange(nullptr);
  EXPECT_EQ(middle.Changes, 1);
  EXPECT_EQ(top.Changes, 1);
  EXPECT_EQ(fired, 1);
  leaf.BeginUpdate();
  leaf.NotifyChange(nullptr);  // nothing while updating, not even the event
  EXPECT_EQ(middle.Changes, 1);
  EXPECT_EQ(fired, 1);
  leaf.EndUpdate();
  // Without an owner nothing happens, the event included.
  TGLUpdateAbleObject orphan(nullptr);
  orphan.OnNotifyChange = [&](TPersistent*) { ++fired; };
  orphan.NotifyChange(nullptr);
  EXPECT_EQ(fired, 1);
  // An owner of any other kind gets nothing, but the event fires.
  TPersistent plain;
  TGLUpdateAbleObject odd(&plain);
  odd.OnNotifyChange = [&](TPersistent*) { ++fired; };
  odd.NotifyChange(nullptr);
  EXPECT_EQ(fired, 2);
}

TEST(Notification, ComponentOwnerMustBeUpdatable) {
  TComponent plainOwner;
  TGLUpdateAbleComponent child(&plainOwner);
  EXPECT_THROW(child.NotifyChange(nullptr), EInvalidCast);
  CountingComponent owner;
  TGLUpdateAbleComponent child2(&owner);
  child2.NotifyChange(nullptr);
  EXPECT_EQ(owner.Changes, 1);
  TGLUpdateAbleComponent lonely;
  EXPECT_NO_THROW(lonely.NotifyChange(nullptr));
}

TEST(Notification, FreeNotificationTellsBothSides) {
  struct Watcher : TComponent {
    TComponent* Watched = nullptr;
    void Notification(TComponent* c, TOperation op) override {
      if (op == opRemove && c == Watched) Watched = nullptr;
    }
  } watcher;
  {
    TComponent target;
    watcher.Watched = &target;
    watcher.FreeNotification(&target);
  }
  EXPECT_EQ(watcher.Watched, nullptr);
  // A watcher destroyed first leaves nothing dangling in the target.
  TComponent target2;
  {
    Watcher w;
    w.FreeNotification(&target2);
  }
}

TEST(Coordinates, StoredFormAndNotification) {
  CountingObject owner(nullptr);
  TGLCoordinates c(&owner, {0, 0, 0, 1});
  EXPECT_FALSE(c.StoredCoordinates());
  c.SetCoordinate(3, 0);  // W alone
  EXPECT_TRUE(c.StoredCoordinates());
  TMemoryStream s;
  c.WriteData(s);
  ASSERT_EQ(s.Bytes().size(), 16u);
  const uint8_t one[4] = {0, 0, 0x80, 0x3F};  // 1.0f little-endian
  c.SetVector(1, 2, 3, 1);
  s.Clear();
  c.WriteData(s);
  EXPECT_EQ(std::memcmp(s.Memory(), one, 4), 0);
  // Reading overwrites all four; a short stream raises and keeps the value.
  TGLCoordinates d(nullptr, {9, 9, 9, 9});
  s.SetPosition(0);
  d.ReadData(s);
  EXPECT_EQ(d.AsVector(), (TVector{1, 2, 3, 1}));
  TMemoryStream shortStream(std::vector<uint8_t>(10, 0));
  EXPECT_THROW(d.ReadData(shortStream), EReadError);
  EXPECT_EQ(d.AsVector(), (TVector{1, 2, 3, 1}));
  // Setting X to the value it has still notifies.
  const int before = owner.Changes;
  c.SetX(c.X());
  EXPECT_EQ(owner.Changes, before + 1);
  // Assign copies the vector but not the default, and does not notify.
  TGLCoordinates e(&owner, {5, 5, 5, 0});
  const int before2 = owner.Changes;
  e.Assign(&c);
  EXPECT_EQ(owner.Changes, before2);
  EXPECT_EQ(e.AsVector(), c.AsVector());
  EXPECT_EQ(e.Default(), (TVector{5, 5, 5, 0}));
  TPersistent other;
  EXPECT_THROW(e.Assign(&other), EConvertError);
}

TEST(Coordinates, OwnedByAnObjectThatInterpretsThem) {
  struct Owner : TPersistent, ICoordinateOwner {
    int Calls = 0;
    void CoordinateChanged(TGLCoordinates*) override { ++Calls; }
  } owner;
  TGLCoordinates c(&owner, {0, 0, 1, 0});
  c.BeginUpdate();
  c.SetZ(2);  // the object decides, even while the coordinates are updating
  EXPECT_EQ(owner.Calls, 1);
  c.AddScaledVector(2.0f, TAffineVector{1, 1, 1});
  EXPECT_EQ(c.AsVector(), (TVector{2, 2, 4, 0}));
  c.AddScaledVector(1.0f, TVector{0, 0, 0, 1});
  EXPECT_EQ(c.W(), 1.0f);
  EXPECT_EQ(owner.Calls, 3);
}

TEST(GLMiscRoutines, PowersAnglesAndTables) {
  const int in[] = {0, 1, 2, 3, 64, 65, -5, 1 << 30, (1 << 30) + 1};
  const int out[] = {1, 1, 2, 4, 64, 128, 1, 1 << 30, 1 << 30};
  for (size_t i = 0; i < std::size(in); ++i) EXPECT_EQ(RoundUpToPowerOf2(in[i]), out[i]) << in[i];
  const float a[] = {180, 181, 540, 541, -181, -541, 900, -900, -180, 1e6f};
  const float b[] = {180, -179, 180, -179, 179, 179, -180, 180, -180, 1e6f - 360.0f * 2778};
  for (size_t i = 0; i < std::size(a); ++i) EXPECT_FLOAT_EQ(NormalizeDegAngle(a[i]), b[i]) << a[i];
  const auto& t = GetSqrt255Array();
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[255], 255);
  EXPECT_EQ(t[64], 127);  // sqrt(64/255) * 255 = 127.75
}

TEST(GLMiscRoutines, StringFilesRoundTrip) {
  const testsupport::TScratchDir scratch("glmisc");
  const std::string name = scratch / "string.bin";
  std::string data("a\0b\r\n\xff", 6);
  SaveStringToFile(name, data);
  EXPECT_EQ(LoadStringFromFile(name), data);
  std::filesystem::remove(name);
  EXPECT_THROW(LoadStringFromFile(name), EInOutError);
}

TEST(GLMiscRoutines, NodeNamesIgnoreTheLocale) {
  TGLNodes nodes(nullptr);
  TGLNode* n = nodes.AddNode(1.5f, -2.25f, 0);
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // may not exist; then the test still checks the text
  EXPECT_EQ(n->DisplayName(), "1.5000; -2.2500; 0.0000");
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_TRUE(n->StoredX());
  EXPECT_FALSE(n->StoredZ());
}

class StateCaches : public RecordingGL {
 protected:
  void SetUp() override {
    RecordingGL::SetUp();
    ResetGLPolygonMode();
    ResetGLMaterialColors();
    rec.Clear();
  }
};

TEST_F(StateCaches, CapabilitiesSwitchOnlyOnChange) {
  TGLStates states = 0;
  SetGLState(states, stDepthTest);
  SetGLState(states, stDepthTest);
  UnSetGLState(states, stLighting);  // not in the set: nothing
  UnSetGLState(states, stDepthTest);
  UnSetGLState(states, stDepthTest);
  EXPECT_EQ(rec.Names(), "glEnable glDisable");
  EXPECT_EQ(rec.Count("glEnable", GL_DEPTH_TEST), 1);
  rec.Clear();
  EnableGLStates(StateBit(stTexture2D) | StateBit(stAlphaTest) | StateBit(stLogicOp));
  ASSERT_EQ(rec.Calls.size(), 3u);  // in TGLState order
  EXPECT_EQ(rec.Calls[0].Args[0], GL_ALPHA_TEST);
  EXPECT_EQ(rec.Calls[1].Args[0], GL_LOGIC_OP);
  EXPECT_EQ(rec.Calls[2].Args[0], GL_TEXTURE_2D);
}

TEST_F(StateCaches, PolygonModeAndMaterialColours) {
  SetGLPolygonMode(GL_FRONT, GL_LINE);
  SetGLPolygonMode(GL_FRONT, GL_LINE);
  SetGLPolygonMode(GL_BACK, GL_LINE);
  SetGLPolygonMode(GL_FRONT_AND_BACK, GL_LINE);  // both already hold it
  SetGLPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  SetGLPolygonMode(GL_BACK, GL_FILL);
  EXPECT_EQ(rec.Count("glPolygonMode"), 3);
  ResetGLPolygonMode();
  SetGLPolygonMode(GL_BACK, GL_FILL);  // after a reset it always reaches OpenGL
  EXPECT_EQ(rec.Count("glPolygonMode"), 4);

  rec.Clear();
  const TVector black{0, 0, 0, 1}, grey{0.2f, 0.2f, 0.2f, 1}, white{1, 1, 1, 1};
  SetGLMaterialColors(GL_FRONT, black, grey, white, black);
  SetGLMaterialColors(GL_FRONT, black, grey, white, black);
  EXPECT_EQ(rec.Count("glMaterialfv"), 4);
  SetGLMaterialColors(GL_FRONT, black, white, white, black);  // ambient alone changed
  EXPECT_EQ(rec.Count("glMaterialfv"), 5);
  EXPECT_EQ(rec.Count("glMaterialfv", GL_FRONT, GL_AMBIENT), 2);
  SetGLMaterialColors(GL_BACK, black, white, white, black);  // the back cache is separate
  EXPECT_EQ(rec.Count("glMaterialfv", GL_BACK), 4);
  SetGLMaterialAlphaChannel(GL_FRONT, 1.0f);
  EXPECT_EQ(rec.Count("glMaterialfv"), 9);
  SetGLMaterialAlphaChannel(GL_FRONT, 0.5f);
  EXPECT_EQ(rec.Count("glMaterialfv", GL_FRONT, GL_DIFFUSE), 2);
  rec.Clear();
  ResetGLMaterialColors();
  EXPECT_EQ(rec.Count("glMaterialfv", GL_FRONT_AND_BACK), 4);
  SetGLMaterialColors(GL_FRONT, black, grey, white, black);
  EXPECT_EQ(rec.Count("glMaterialfv", GL_FRONT), 4);
}

TEST_F(StateCaches, TextureMatrixResetsOnce) {
  ResetGLTextureMatrix();
  const int first = rec.Count("glLoadIdentity");
  ResetGLTextureMatrix();
  EXPECT_EQ(rec.Count("glLoadIdentity"), first);
  SetGLTextureMatrix(CreateTranslationMatrix({1, 2, 3}));
  ResetGLTextureMatrix();
  EXPECT_EQ(rec.Count("glLoadIdentity"), first + 1);
  EXPECT_EQ(rec.MatrixMode, static_cast<GLenum>(GL_MODELVIEW));
}

TEST_F(StateCaches, TessellatorGetsTheOutlineInOrder) {
  TGLNodes nodes(nullptr);
  nodes.AddNode(0, 0, 0);
  nodes.AddNode(1, 0, 0);
  nodes.AddNode(1, 1, 0);
  nodes.AddNode(0, 1, 0);
  const TAffineVector normal{0, 0, 1};
  nodes.RenderTesselatedPolygon(false, &normal, 1);
  EXPECT_EQ(rec.Count("gluTessVertex"), 4);
  EXPECT_EQ(rec.Count("gluTessCallback"), 5);
  EXPECT_EQ(rec.Count("gluTessNormal"), 1);
  EXPECT_EQ(rec.Count("gluDeleteTess"), 1);
  rec.Clear();
  nodes.RenderTesselatedPolygon(true, nullptr, 4);  // sampled from the spline: 3 segments x 4 + 1
  EXPECT_EQ(rec.Count("gluTessVertex"), 13);
  EXPECT_EQ(rec.Count("gluTessNormal"), 0);
  rec.Clear();
  TGLNodes two(nullptr);
  two.AddNode(0, 0, 0);
  two.AddNode(1, 0, 0);
  two.RenderTesselatedPolygon(false, nullptr, 1);  // fewer than three nodes: nothing
  EXPECT_TRUE(rec.Calls.empty());
}

}  // namespace

namespace {

// The real GLU tessellator (it needs no display) calling back into the recording table.
class RealTessellator : public RecordingGL {
 protected:
  void SetUp() override {
    RecordingGL::SetUp();
    glu = dlopen("libGLU.so.1", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(glu, nullptr) << "libGLU.so.1 is missing (scripts/install-deps installs libglu1-mesa)";
    auto bind = [&](auto& slot, const char* name) {
      void* p = dlsym(glu, name);
      ASSERT_NE(p, nullptr) << name;
      std::memcpy(&slot, &p, sizeof p);
    };
    bind(GL.gluNewTess, "gluNewTess");
    bind(GL.gluDeleteTess, "gluDeleteTess");
    bind(GL.gluTessCallback, "gluTessCallback");
    bind(GL.gluTessNormal, "gluTessNormal");
    bind(GL.gluTessBeginPolygon, "gluTessBeginPolygon");
    bind(GL.gluTessBeginContour, "gluTessBeginContour");
    bind(GL.gluTessVertex, "gluTessVertex");
    bind(GL.gluTessEndContour, "gluTessEndContour");
    bind(GL.gluTessEndPolygon, "gluTessEndPolygon");
  }
  void TearDown() override {
    RecordingGL::TearDown();  // the table goes back to the raising stubs before GLU is closed
    if (glu) dlclose(glu);
  }
  // Triangles of the recorded primitives (GLU emits triangles, fans and strips).
  std::vector<std::array<TAffineVector, 3>> Triangles() const {
    std::vector<std::array<TAffineVector, 3>> tris;
    std::vector<TAffineVector> v;
    double mode = 0;
    auto flush = [&] {
      for (size_t i = 2; i < v.size(); ++i) {
        if (mode == GL_TRIANGLES && i % 3 == 2) tris.push_back({v[i - 2], v[i - 1], v[i]});
        if (mode == GL_TRIANGLE_FAN) tris.push_back({v[0], v[i - 1], v[i]});
        if (mode == GL_TRIANGLE_STRIP) tris.push_back({v[i - 2], v[i - 1], v[i]});
      }
      v.clear();
    };
    for (const auto& c : rec.Calls) {
      if (c.Name == "glBegin") mode = c.Args[0];
      if (c.Name == "glVertex3fv") v.push_back({float(c.Args[0]), float(c.Args[1]), float(c.Args[2])});
      if (c.Name == "glEnd") flush();
    }
    return tris;
  }
  static double Area(const std::array<TAffineVector, 3>& t) {
    return 0.5 * VectorLength(VectorCrossProduct(VectorSubtract(t[1], t[0]), VectorSubtract(t[2], t[0])));
  }
  void* glu = nullptr;
};

TEST_F(RealTessellator, ConcaveOutlineCoversItsArea) {
  TGLNodes nodes(nullptr);
  // An L: 2 x 2 square minus its top-right quarter, area 3.
  for (auto [x, y] : {std::pair{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}}) nodes.AddNode(float(x), float(y), 0);
  const TAffineVector normal{0, 0, 1};
  nodes.RenderTesselatedPolygon(true, &normal, 1);
  const auto tris = Triangles();
  ASSERT_EQ(tris.size(), 4u);
  double area = 0;
  for (const auto& t : tris) area += Area(t);
  EXPECT_NEAR(area, 3.0, 1e-5);
  EXPECT_EQ(rec.Count("glTexCoord2fv"), rec.Count("glVertex3fv"));
  EXPECT_EQ(rec.Count("glNormal3fv"), 1);
  EXPECT_EQ(rec.Count("glBegin"), rec.Count("glEnd"));
}

TEST_F(RealTessellator, SelfCrossingOutlineUsesCombinedPoints) {
  TGLNodes nodes(nullptr);
  // A bow tie: the edges cross at (0.5, 0.5), a point GLU asks the combine callback for.
  for (auto [x, y] : {std::pair{0, 0}, {1, 1}, {1, 0}, {0, 1}}) nodes.AddNode(float(x), float(y), 0);
  nodes.RenderTesselatedPolygon(false, nullptr, 1, true);
  const auto tris = Triangles();
  ASSERT_EQ(tris.size(), 2u);
  int centre = 0;
  double area = 0;
  for (const auto& t : tris) {
    area += Area(t);
    for (const auto& p : t) centre += std::fabs(p[0] - 0.5f) < 1e-6 && std::fabs(p[1] - 0.5f) < 1e-6;
  }
  EXPECT_EQ(centre, 2);
  EXPECT_NEAR(area, 0.5, 1e-6);
  EXPECT_EQ(rec.Count("glTexCoord2fv"), 0);
}

}  // namespace
