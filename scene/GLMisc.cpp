#include "scene/GLMisc.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>

#include "platform/Exceptions.h"
#include "platform/ScopeGuard.h"
#include "platform/Streams.h"
#include "scene/OpenGL12.h"
#include "scene/Spline.h"

static_assert(std::endian::native == std::endian::little, "stored coordinates are little-endian floats");

// --- notification

void TGLUpdateAbleObject::NotifyChange(TPersistent*) {
  if (FUpdating != 0 || !Owner) return;
  if (auto* o = dynamic_cast<TGLUpdateAbleObject*>(Owner))
    o->NotifyChange(this);
  else if (auto* c = dynamic_cast<TGLUpdateAbleComponent*>(Owner))
    c->NotifyChange(this);
  if (OnNotifyChange) OnNotifyChange(this);
}

void TGLCadenceAbleComponent::DoProgress(double, double) {}

void TGLUpdateAbleComponent::NotifyChange(TPersistent*) {
  if (!Owner()) return;
  auto* o = dynamic_cast<TGLUpdateAbleComponent*>(Owner());
  if (!o) throw EInvalidCast("Invalid class typecast");
  o->NotifyChange(this);
}

void ReleaseReferencedComponent(TComponent* self, TComponent* old) {
  if (!self || !old) return;
  self->RemoveFreeNotification(old);
  old->Notification(self, opRemove);
}

// --- coordinates

TGLCoordinates::TGLCoordinates(TPersistent* owner, const TVector& value)
    : TGLUpdateAbleObject(owner), FCoords(value), FDefault(value) {}

void TGLCoordinates::Initialize(const TVector& value) {
  FCoords = value;
  FDefault = value;
}

void TGLCoordinates::Assign(const TPersistent* source) {
  if (auto* c = dynamic_cast<const TGLCoordinates*>(source)) {
    FCoords = c->FCoords;
    return;
  }
  TGLUpdateAbleObject::Assign(source);
}

void TGLCoordinates::NotifyChange(TPersistent* sender) {
  // Coordinates of a scene object are not a plain change: the object decides what they mean.
  if (auto* o = dynamic_cast<ICoordinateOwner*>(Owner)) {
    o->CoordinateChanged(this);
    return;
  }
  TGLUpdateAbleObject::NotifyChange(sender);
}

void TGLCoordinates::SetCoordinate(int index, float value) {
  FCoords.at(static_cast<size_t>(index)) = value;
  NotifyChange(this);
}

void TGLCoordinates::SetVector(float x, float y, float z, float w) {
  FCoords = {x, y, z, w};
  NotifyChange(this);
}

void TGLCoordinates::AddScaledVector(float factor, const TVector& v) {
  CombineVector(FCoords, v, factor);
  NotifyChange(this);
}

void TGLCoordinates::AddScaledVector(float factor, const TAffineVector& v) {
  for (int i = 0; i < 3; ++i) FCoords[i] = static_cast<float>(FCoords[i] + double(v[i]) * factor);
  NotifyChange(this);
}

void TGLCoordinates::Normalize() { NormalizeVector(FCoords); }

void TGLCoordinates::WriteData(TStream& s) const { s.WriteBuffer(FCoords.data(), 16); }

void TGLCoordinates::ReadData(TStream& s) {
  TVector v;
  s.ReadBuffer(v.data(), 16);  // a short stream raises and leaves the value as it was
  FCoords = v;
}

// --- nodes

void TGLNode::SetCoordinate(int index, float v) {
  FCoords.at(static_cast<size_t>(index)) = v;
  if (FCollection) FCollection->NotifyChange();
}

std::string TGLNode::DisplayName() const {
  // Formatted without the C locale, which a GUI application may have switched to a comma.
  std::string s;
  for (int i = 0; i < 3; ++i) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, FCoords[i], std::chars_format::fixed, 4);
    if (i) s += "; ";
    s.append(buf, r.ptr);
  }
  return s;
}

TGLNode* TGLNodes::Add() {
  FItems.push_back(std::make_unique<TGLNode>(this));
  NotifyChange();
  return FItems.back().get();
}

TGLNode* TGLNodes::AddNode(float x, float y, float z) {
  BeginUpdate();
  TGLNode* n = Add();
  n->SetX(x);
  n->SetY(y);
  n->SetZ(z);
  EndUpdate();
  return n;
}

void TGLNodes::Delete(int i) {
  FItems.erase(FItems.begin() + i);
  NotifyChange();
}

void TGLNodes::Clear() {
  FItems.clear();
  NotifyChange();
}

void TGLNodes::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) NotifyChange();
}

void TGLNodes::NotifyChange() {
  if (FUpdateCount != 0) return;
  if (auto* c = dynamic_cast<TGLUpdateAbleComponent*>(Owner)) c->NotifyChange(nullptr);
}

std::unique_ptr<TCubicSpline> TGLNodes::CreateNewCubicSpline() const {
  std::vector<float> x, y, z;
  for (const auto& n : FItems) {
    x.push_back(n->X());
    y.push_back(n->Y());
    z.push_back(n->Z());
  }
  return std::make_unique<TCubicSpline>(x.data(), y.data(), z.data(), nullptr, Count());
}

namespace {

// State of one tessellation. GLU calls back through C frames, so an error is recorded here and
// raised after the polygon is finished instead of being thrown through GLU.
struct TTessState {
  std::deque<TAffineVector> Points;  // stable addresses for GLU, also for combined points
  GLenum Error = 0;
};
TTessState* GTess = nullptr;

void GLAPIENTRY TessBegin(GLenum mode) { GL.glBegin(mode); }
void GLAPIENTRY TessEnd() { GL.glEnd(); }
void GLAPIENTRY TessVertex(void* data) { GL.glVertex3fv(static_cast<const GLfloat*>(data)); }
void GLAPIENTRY TessTexturedVertex(void* data) {
  GL.glTexCoord2fv(static_cast<const GLfloat*>(data));
  GL.glVertex3fv(static_cast<const GLfloat*>(data));
}
void GLAPIENTRY TessError(GLenum error) {
  if (GTess && GTess->Error == 0) GTess->Error = error;
}
void GLAPIENTRY TessCombine(GLdouble coords[3], void* [4], GLfloat[4], void** outData) {
  GTess->Points.push_back({float(coords[0]), float(coords[1]), float(coords[2])});
  *outData = GTess->Points.back().data();
}

}  // namespace

void TGLNodes::RenderTesselatedPolygon(bool textured, const TAffineVector* normal, int splineDivisions,
                                       bool invertNormals) {
  const int n = Count();
  if (n < 3) return;
  std::vector<TAffineVector> outline;
  if (splineDivisions > 1) {
    auto spline = CreateNewCubicSpline();
    const int steps = (n - 1) * splineDivisions;
    for (int i = 0; i <= steps; ++i) {
      TAffineVector v;
      spline->SplineAffineVector(static_cast<float>(i) / splineDivisions, v);
      outline.push_back(v);
    }
  } else {
    for (const auto& node : FItems) outline.push_back(AffineVectorMake(node->AsVector()));
  }
  if (invertNormals) std::reverse(outline.begin(), outline.end());
  RenderTesselatedContours({outline}, textured, normal, GLU_TESS_WINDING_ODD);
}

void RenderTesselatedContours(const std::vector<std::vector<TAffineVector>>& contours, bool textured,
                              const TAffineVector* normal, uint32_t windingRule) {
  TTessState state;
  GLUtesselator* tess = GL.gluNewTess();
  GTess = &state;
  {
    TScopeGuard deleteTess([tess] {
      GTess = nullptr;
      GL.gluDeleteTess(tess);
    });
    GL.gluTessCallback(tess, GLU_TESS_BEGIN, reinterpret_cast<_GLUfuncptr>(&TessBegin));
    GL.gluTessCallback(tess, GLU_TESS_VERTEX,
                       textured ? reinterpret_cast<_GLUfuncptr>(&TessTexturedVertex)
                                : reinterpret_cast<_GLUfuncptr>(&TessVertex));
    GL.gluTessCallback(tess, GLU_TESS_END, reinterpret_cast<_GLUfuncptr>(&TessEnd));
    GL.gluTessCallback(tess, GLU_TESS_ERROR, reinterpret_cast<_GLUfuncptr>(&TessError));
    GL.gluTessCallback(tess, GLU_TESS_COMBINE, reinterpret_cast<_GLUfuncptr>(&TessCombine));
    if (windingRule != GLU_TESS_WINDING_ODD) GL.gluTessProperty(tess, GLU_TESS_WINDING_RULE, windingRule);
    if (normal) {
      GL.glNormal3fv(normal->data());
      GL.gluTessNormal(tess, (*normal)[0], (*normal)[1], (*normal)[2]);
    }
    GL.gluTessBeginPolygon(tess, nullptr);
    std::deque<std::array<GLdouble, 3>> coords;  // GLU keeps the addresses until the polygon ends
    for (const auto& contour : contours) {
      GL.gluTessBeginContour(tess);
      for (const TAffineVector& p : contour) {
        state.Points.push_back(p);
        coords.push_back({p[0], p[1], p[2]});
        GL.gluTessVertex(tess, coords.back().data(), state.Points.back().data());
      }
      GL.gluTessEndContour(tess);
    }
    GL.gluTessEndPolygon(tess);
  }
  if (state.Error) {
    const GLubyte* text = GL.gluErrorString(state.Error);
    throw EAssertionFailed(std::string(text ? reinterpret_cast<const char*>(text) : "") + ": " +
                           std::to_string(state.Error));
  }
}

// --- data files

std::unique_ptr<TDataFile> TDataFile::CreateCopy(const TDataFile* self, TPersistent* owner) {
  return self ? self->NewInstance(owner) : nullptr;
}

void TDataFile::LoadFromFile(const std::string& fileName) {
  TFileStream fs(fileName, fmOpenRead);
  LoadFromStream(fs);
}

void TDataFile::SaveToFile(const std::string& fileName) {
  TSafeFileStream fs(fileName);
  SaveToStream(fs);
  fs.Commit();
}

void TDataFile::SaveToStream(TStream&) { throw EAssertionFailed("Assertion failure"); }

// --- capability cache

namespace {
constexpr std::array<GLenum, cGLStateCount> cGLStateToGLEnum = {GL_ALPHA_TEST,      GL_AUTO_NORMAL,  GL_BLEND,
                                                                GL_COLOR_MATERIAL,  GL_CULL_FACE,    GL_DEPTH_TEST,
                                                                GL_DITHER,          GL_FOG,          GL_LIGHTING,
                                                                GL_LINE_SMOOTH,     GL_LINE_STIPPLE, GL_LOGIC_OP,
                                                                GL_NORMALIZE,       GL_POINT_SMOOTH, GL_POLYGON_SMOOTH,
                                                                GL_POLYGON_STIPPLE, GL_SCISSOR_TEST, GL_STENCIL_TEST,
                                                                GL_TEXTURE_1D,      GL_TEXTURE_2D};

GLenum GFrontPolygonMode = 0, GBackPolygonMode = 0;
// emission, ambient, diffuse, specular of the front and back faces
std::array<std::array<TVector, 4>, 2> GMaterialCache{};
bool GTextureMatrixIsIdentity = false;
}  // namespace

uint32_t GLStateCapability(TGLState s) { return cGLStateToGLEnum.at(s); }

void SetGLState(TGLStates& states, TGLState state) {
  if (HasState(states, state)) return;
  GL.glEnable(cGLStateToGLEnum[state]);
  states |= StateBit(state);
}

void UnSetGLState(TGLStates& states, TGLState state) {
  if (!HasState(states, state)) return;
  GL.glDisable(cGLStateToGLEnum[state]);
  states &= ~StateBit(state);
}

void EnableGLStates(TGLStates states) {
  for (int i = 0; i < cGLStateCount; ++i)
    if (states & (TGLStates(1) << i)) GL.glEnable(cGLStateToGLEnum[i]);
}

void SetGLPolygonMode(uint32_t face, uint32_t mode) {
  switch (face) {
    case GL_FRONT:
      if (GFrontPolygonMode == mode) return;
      GFrontPolygonMode = mode;
      break;
    case GL_BACK:
      if (GBackPolygonMode == mode) return;
      GBackPolygonMode = mode;
      break;
    default:
      if (GFrontPolygonMode == mode && GBackPolygonMode == mode) return;
      GFrontPolygonMode = GBackPolygonMode = mode;
  }
  GL.glPolygonMode(face, mode);
}

void ResetGLPolygonMode() { GFrontPolygonMode = GBackPolygonMode = 0; }

void SetGLMaterialColors(uint32_t face, const TVector& emission, const TVector& ambient, const TVector& diffuse,
                         const TVector& specular) {
  auto& cache = GMaterialCache[face == GL_FRONT ? 0 : 1];
  const TVector* colours[4] = {&emission, &ambient, &diffuse, &specular};
  static constexpr GLenum names[4] = {GL_EMISSION, GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR};
  for (int i = 0; i < 4; ++i)
    if (std::memcmp(cache[i].data(), colours[i]->data(), 16) != 0) {
      GL.glMaterialfv(face, names[i], colours[i]->data());
      cache[i] = *colours[i];
    }
}

void SetGLMaterialAlphaChannel(uint32_t face, float alpha) {
  TVector& diffuse = GMaterialCache[face == GL_FRONT ? 0 : 1][2];
  if (std::memcmp(&diffuse[3], &alpha, 4) == 0) return;
  diffuse[3] = alpha;
  GL.glMaterialfv(face, GL_DIFFUSE, diffuse.data());
}

void ResetGLMaterialColors() {
  static constexpr GLfloat ambient[4] = {0.2f, 0.2f, 0.2f, 1}, diffuse[4] = {0.8f, 0.8f, 0.8f, 1},
                           black[4] = {0, 0, 0, 1};
  GL.glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
  GL.glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
  GL.glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
  GL.glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, black);
  // A pattern no real colour request matches, so the next request of any colour reaches OpenGL.
  std::memset(GMaterialCache.data(), 0x7F, sizeof GMaterialCache);
}

void SetGLTextureMatrix(const TMatrix& matrix) {
  GTextureMatrixIsIdentity = false;
  GL.glMatrixMode(GL_TEXTURE);
  GL.glLoadMatrixf(&matrix[0][0]);
  GL.glMatrixMode(GL_MODELVIEW);
}

void ResetGLTextureMatrix() {
  if (GTextureMatrixIsIdentity) return;
  GL.glMatrixMode(GL_TEXTURE);
  GL.glLoadIdentity();
  GL.glMatrixMode(GL_MODELVIEW);
  GTextureMatrixIsIdentity = true;
}

// --- other routines

int RoundUpToPowerOf2(int value) {
  if (value <= 1) return 1;
  if (value > (1 << 30)) return 1 << 30;  // the largest power of two an int holds
  return static_cast<int>(std::bit_ceil(static_cast<unsigned>(value)));
}

float NormalizeDegAngle(float a) {
  if (a >= -180 && a <= 180) return a;
  if (a > 180 && a <= 540) return a - 360;
  if (a > 540) return a - 360.0f * static_cast<float>(Trunc64((double(a) + 180) / 360));
  if (a >= -540 && a < -180) return a + 360;
  if (a < -540) return a + 360.0f * static_cast<float>(Trunc64((180 - double(a)) / 360));
  return a;  // not a number
}

const std::array<uint8_t, 256>& GetSqrt255Array() {
  static std::array<uint8_t, 256> table{};
  if (table[255] < 255)
    for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(Trunc(float(std::sqrt(i / 255.0) * 255)));
  return table;
}

void SaveStringToFile(const std::string& fileName, const std::string& data) { WriteFileAtomically(fileName, data); }

std::string LoadStringFromFile(const std::string& fileName) {
  std::vector<uint8_t> bytes = ReadWholeFile(fileName);
  return std::string(bytes.begin(), bytes.end());
}
