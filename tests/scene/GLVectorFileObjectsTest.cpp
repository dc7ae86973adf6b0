// Mesh objects, face groups, morphing and actor frames on the recording table.
#include <gtest/gtest.h>

#include "scene/GLVectorFileObjects.h"
#include "tests/scene/RecordingFixture.h"

namespace {

class MeshTest : public RecordingGL {
 protected:
  TRenderContextInfo rci;
};

// A mesh object in face-group mode with three vertices, normals and texture coordinates.
TMeshObject* Triangle(TMeshObjectList& list) {
  auto* mo = new TMeshObject(&list);
  mo->Mode = momFaceGroups;
  for (int i = 0; i < 3; ++i) {
    mo->Vertices.Add(float(i), 0, 0);
    mo->Normals.Add(0, 0, 1);
    mo->TexCoords.AddTexPoint(0, float(i));
  }
  return mo;
}

TEST_F(MeshTest, FaceGroupIndicesAreCheckedBeforeDrawing) {
  struct Case {
    const char* What;
    std::vector<std::array<int, 3>> Corners;  // vertex, normal, texture coordinate
    bool Draws;
  } cases[] = {
      {"valid", {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}, true},
      {"vertex past the end", {{0, 0, 0}, {1, 1, 1}, {3, 2, 2}}, false},
      {"negative normal", {{0, 0, 0}, {1, -1, 1}, {2, 2, 2}}, false},
      {"texture coordinate past the end", {{0, 0, 0}, {1, 1, 3}, {2, 2, 2}}, false},
  };
  for (const Case& c : cases) {
    TMeshObjectList list;
    TMeshObject* mo = Triangle(list);
    auto* fg = new TFGVertexNormalTexIndexList(&mo->FaceGroups());
    for (const auto& k : c.Corners) fg->Add(k[0], k[1], k[2]);
    rec.Clear();
    if (c.Draws) {
      EXPECT_NO_THROW(list.BuildList(nullptr, rci)) << c.What;
      EXPECT_EQ(rec.Count("glVertex3fv"), 3) << c.What;
    } else {
      EXPECT_EQ(MessageOf<EAssertionFailed>([&] { list.BuildList(nullptr, rci); }), "Assertion failure") << c.What;
      EXPECT_EQ(rec.Count("glBegin"), 0) << c.What;
    }
  }
  // Unequal index counts, and indices of a drawn-elements group beyond a declared array.
  TMeshObjectList list;
  TMeshObject* mo = Triangle(list);
  auto* fg = new TFGVertexNormalTexIndexList(&mo->FaceGroups());
  fg->VertexIndices.Add(0);
  EXPECT_THROW(list.BuildList(nullptr, rci), EAssertionFailed);
  delete fg;
  mo->Normals.SetCount(2);  // the normal array is read at every index too
  auto* elements = new TFGVertexIndexList(&mo->FaceGroups());
  for (int i : {0, 1, 2}) elements->Add(i);
  rec.Clear();
  EXPECT_THROW(list.BuildList(nullptr, rci), EAssertionFailed);
  EXPECT_EQ(rec.Count("glDrawElements"), 0);
  mo->Normals.Add(0, 0, 1);
  EXPECT_NO_THROW(list.BuildList(nullptr, rci));
  EXPECT_EQ(rec.Count("glDrawElements"), 1);
  EXPECT_EQ(list.Count(), 1);
  delete mo;  // leaves its list
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(MeshTest, DirectModeSendsOnlyListsOfTheVertexCount) {
  TMeshObjectList list;
  auto* coloured = new TMeshObject(&list);
  for (int i = 0; i < 3; ++i) {
    coloured->Vertices.Add(0, 0, 0);
    coloured->Colors.Add({1, 0, 0, 1});
  }
  auto* plain = new TMeshObject(&list);
  for (int i = 0; i < 6; ++i) plain->Vertices.Add(float(i), 0, 0);
  for (int i = 0; i < 5; ++i) plain->Normals.Add(0, 0, 1);
  rec.Clear();
  list.BuildList(nullptr, rci);
  EXPECT_EQ(rec.Count("glVertex3fv"), 9);
  EXPECT_EQ(rec.Count("glNormal3fv"), 0);
  EXPECT_EQ(rec.Count("glColor4fv"), 3);
  EXPECT_EQ(rec.Count("glBegin", GL_TRIANGLES), 2);
  EXPECT_EQ(rec.Count("glEnableClientState", GL_COLOR_ARRAY), 1);
  EXPECT_EQ(rec.Count("glDisableClientState", GL_COLOR_ARRAY), 1);  // by the mesh without colours
  plain->Mode = TMeshObjectMode(7);
  EXPECT_THROW(list.BuildList(nullptr, rci), EAssertionFailed);
}

TEST_F(MeshTest, ActorFramesAndAnimations) {
  TActor a;
  a.CurrentFrameDelta = 0;
  a.SetCurrentFrame(3);
  EXPECT_EQ(a.CurrentFrame(), 0);  // no frames: nothing stored
  a.SetFrameCount(4);
  for (auto [in, out] : {std::pair{10, 3}, {-2, 0}, {2, 2}}) {
    a.SetCurrentFrame(in);
    EXPECT_EQ(a.CurrentFrame(), out) << in;
  }
  a.SetFrameCount(10);
  struct Case {
    TActorAnimationMode Mode;
    int Start, End, Current, Next;
  } cases[] = {{aamLoop, 2, 5, 5, 2},           {aamLoop, 2, 5, 3, 4},           {aamBounceBackward, 2, 5, 2, 5},
               {aamBounceBackward, 2, 5, 4, 3}, {aamBounceBackward, 3, 3, 3, 3}, {aamNone, 0, 0, 0, 0}};
  for (const Case& c : cases) {
    a.SetAnimationMode(aamNone);
    a.SetEndFrame(9);
    a.SetStartFrame(c.Start);
    a.SetEndFrame(c.End);
    a.SetCurrentFrame(c.Current);
    a.SetAnimationMode(c.Mode);
    EXPECT_EQ(a.NextFrameIndex(), c.Next) << int(c.Mode) << " " << c.Start << ".." << c.End << " @" << c.Current;
  }
  // Bouncing forward turns at the end frame; playing once stops there.
  a.SetStartFrame(0);
  a.SetEndFrame(9);
  a.SetStartFrame(1);
  a.SetEndFrame(3);
  a.SetCurrentFrame(2);
  a.SetAnimationMode(aamBounceForward);
  int ends = 0;
  a.OnEndFrameReached = [&](TPersistent*) { ++ends; };
  a.DoProgress(0.15, 0);  // 1.5 frames of 100 ms
  EXPECT_EQ(a.CurrentFrame(), 3);
  EXPECT_EQ(a.AnimationMode(), aamBounceBackward);
  EXPECT_FLOAT_EQ(a.CurrentFrameDelta, 0.5f);
  EXPECT_EQ(ends, 1);
  a.DoProgress(1e12, 0);  // a stalled clock: bounded work, a valid frame
  EXPECT_GE(a.CurrentFrame(), 1);
  EXPECT_LE(a.CurrentFrame(), 3);

  TActorAnimation* anim = a.AddAnimation();
  anim->Name = "run";
  for (auto [in, start, end] : {std::tuple{3, 3, 3}, {-4, 0, 3}, {20, 9, 9}}) {
    anim->SetStartFrame(in);
    EXPECT_EQ(anim->StartFrame(), start) << in;
    EXPECT_EQ(anim->EndFrame(), end) << in;
  }
  EXPECT_EQ(anim->DisplayName(0), "0 - run [9 - 9]");
}

TEST_F(MeshTest, ActorMorphsBetweenFramesAndSkipsMeshesWithoutTargets) {
  TActor a;
  a.SetFrameCount(2);
  a.SetEndFrame(1);
  auto* bare = new TMorphableMeshObject(&a.MeshObjects());
  bare->Vertices.Add(0, 0, 0);
  bare->Vertices.Add(0, 1, 0);
  bare->Vertices.Add(1, 0, 0);
  auto* morph = new TMorphableMeshObject(&a.MeshObjects());
  for (float x : {0.0f, 10.0f}) {
    auto* t = new TMeshMorphTarget(&morph->MorphTargets());
    t->Vertices.Add(x, 0, 0);
    t->Vertices.Add(x, 1, 0);
    t->Vertices.Add(x + 1, 0, 0);
  }
  a.CurrentFrameDelta = 0.25f;
  EXPECT_NO_THROW(a.BuildList(rci));
  EXPECT_FLOAT_EQ(morph->Vertices[0][0], 2.5f);
  EXPECT_FLOAT_EQ(bare->Vertices[2][0], 1);
  EXPECT_THROW(morph->MorphTo(2), EAssertionFailed);
  EXPECT_THROW(morph->Lerp(0, 5, 0.5f), EAssertionFailed);
}

TEST_F(MeshTest, FreeFormAppliesLibraryMaterialsOfItsFaceGroupsAndForgetsAFreedLibrary) {
  TFreeForm form;
  TMeshObject* mo = Triangle(form.MeshObjects());
  auto* fg = new TFGVertexNormalTexIndexList(&mo->FaceGroups());
  fg->MaterialName = "red";
  for (int i : {0, 1, 2}) fg->Add(i, i, i);
  auto lib = std::make_unique<TGLMaterialLibrary>();
  TGLLibMaterial* red = lib->Materials().Add();
  red->SetName("red");
  red->Material().FrontProperties().Diffuse().SetColor({1, 0, 0, 1});
  form.SetMaterialLibrary(lib.get());
  struct Case {
    bool UseMeshMaterials;
    TMeshNormalsOrientation Orientation;
    int RedDiffuse;
    double FrontFace;
  } cases[] = {{true, mnoDefault, 1, GL_CW}, {false, mnoDefault, 0, GL_CW}, {true, mnoInvert, 1, GL_CCW}};
  for (const Case& c : cases) {
    form.SetUseMeshMaterials(c.UseMeshMaterials);
    form.SetNormalsOrientation(c.Orientation);
    ResetGLMaterialColors();
    rec.Clear();
    form.BuildList(rci);
    EXPECT_EQ(rec.Count("glMaterialfv", GL_FRONT, GL_DIFFUSE), c.RedDiffuse);
    EXPECT_EQ(rec.Count("glFrontFace", c.FrontFace), 1);
    EXPECT_EQ(rec.Count("glPopAttrib"), 1);
  }
  lib.reset();
  EXPECT_EQ(form.MaterialLibrary(), nullptr);
  rec.Clear();
  form.BuildList(rci);
  EXPECT_EQ(rec.Count("glVertex3fv"), 3);
}

}  // namespace
