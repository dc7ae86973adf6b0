// The vector math against GLM as an independent implementation. GLM multiplies column vectors
// (M * v); our matrices act on row vectors (v x M), so our matrix R corresponds to GLM's
// transpose: glm::make_mat4(R) reads our rows as GLM's columns, which is exactly that transpose.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>
#include <random>

#define GLM_FORCE_SILENT_WARNINGS
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/matrix_access.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "model/Geometry.h"

namespace {

constexpr float kTol = 1e-5f;

glm::vec3 G(const TAffineVector& v) { return {v[0], v[1], v[2]}; }
glm::vec4 G(const TVector& v) { return {v[0], v[1], v[2], v[3]}; }
// The column-vector matrix that does what our row-vector matrix does.
glm::mat4 G(const TMatrix& m) { return glm::make_mat4(&m[0][0]); }

void ExpectNear(const TAffineVector& ours, const glm::vec3& theirs, float tol = kTol) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(ours[i], theirs[i], tol * std::max(1.0f, std::fabs(theirs[i]))) << i;
}
void ExpectNear(const TVector& ours, const glm::vec4& theirs, float tol = kTol) {
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(ours[i], theirs[i], tol * std::max(1.0f, std::fabs(theirs[i]))) << i;
}
void ExpectNear(const TMatrix& ours, const glm::mat4& theirs, float tol = kTol) {
  const glm::mat4 g = G(ours);
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r)
      EXPECT_NEAR(g[c][r], theirs[c][r], tol * std::max(1.0f, std::fabs(theirs[c][r]))) << c << "," << r;
}

struct Random {
  std::mt19937 gen{1234};
  std::uniform_real_distribution<float> d{-1, 1};  // products stay near 1: float rounding in GLM stays below 1e-6
  TAffineVector V3() { return {d(gen), d(gen), d(gen)}; }
  TVector V4() { return {d(gen), d(gen), d(gen), d(gen)}; }
  TMatrix M() { return {V4(), V4(), V4(), V4()}; }
};

TEST(GeometryVsGlm, VectorOperations) {
  Random r;
  for (int n = 0; n < 200; ++n) {
    const TAffineVector a = r.V3(), b = r.V3();
    const float f1 = r.d(r.gen), f2 = r.d(r.gen), t = r.d(r.gen);
    ExpectNear(VectorCrossProduct(a, b), glm::cross(G(a), G(b)), kTol);
    EXPECT_NEAR(VectorDotProduct(a, b), glm::dot(G(a), G(b)), kTol);
    EXPECT_NEAR(VectorLength(a), glm::length(G(a)), kTol);
    ExpectNear(VectorNormalize(a), glm::normalize(G(a)));
    ExpectNear(VectorLerp(a, b, t), glm::mix(G(a), G(b), t));
    ExpectNear(VectorCombine(a, b, f1, f2), f1 * G(a) + f2 * G(b), kTol);
    TAffineVector c = a;
    CombineVector(c, b, f1);
    ExpectNear(c, G(a) + G(b) * f1, kTol);
    ExpectNear(VectorSubtract(a, b), G(a) - G(b));
    const glm::vec3 nb = glm::normalize(G(b));
    ExpectNear(VectorPerpendicular(a, VectorNormalize(b)), G(a) - glm::dot(G(a), nb) * nb, kTol);
    const TVector a4 = r.V4(), b4 = r.V4();
    EXPECT_NEAR(VectorLength(a4), glm::length(G(a4)), kTol);
    TVector n4 = a4;
    NormalizeVector(n4);
    ExpectNear(n4, glm::normalize(G(a4)));
    const TVector x4 = VectorCrossProduct(a4, b4);
    ExpectNear(AffineVectorMake(x4), glm::cross(glm::vec3(G(a4)), glm::vec3(G(b4))), kTol);
    EXPECT_EQ(x4[3], 0.0f);
  }
}

TEST(GeometryVsGlm, MatrixProductTransformAndInverse) {
  Random r;
  for (int n = 0; n < 100; ++n) {
    const TMatrix a = r.M(), b = r.M();
    const TVector v = r.V4();
    // (v x A) x B = v x (A x B): the column-vector product runs the other way.
    ExpectNear(MatrixMultiply(a, b), G(b) * G(a), kTol);
    ExpectNear(VectorTransform(v, a), G(a) * G(v), kTol);
    const TAffineVector v3 = r.V3();
    ExpectNear(VectorTransform(v3, a), glm::mat3(G(a)) * G(v3), kTol);
    // A well-conditioned transform (rotation, scale, translation) for the inverse.
    const TMatrix rst = MatrixMultiply(MatrixMultiply(CreateRotationMatrix(r.V3(), r.d(r.gen)),
                                                      CreateScaleAndTranslationMatrix({2, 0.5f, 3}, r.V3())),
                                       CreateRotationMatrix(r.V3(), r.d(r.gen)));
    ExpectNear(InvertMatrix(rst), glm::inverse(G(rst)), kTol);
    ExpectNear(MatrixMultiply(rst, InvertMatrix(rst)), glm::mat4(1), kTol);
    TMatrix t = a;
    TransposeMatrix(t);
    ExpectNear(t, glm::transpose(G(a)), 0);
  }
  // A singular matrix has no inverse; the identity comes back instead of infinities.
  TMatrix singular = IdentityHmgMatrix;
  singular[2] = {0, 0, 0, 0};
  EXPECT_EQ(InvertMatrix(singular), IdentityHmgMatrix);
}

TEST(GeometryVsGlm, RotationMatricesAreGlmsTransposed) {
  Random r;
  for (int n = 0; n < 100; ++n) {
    const TAffineVector axis = r.V3();
    const float angle = r.d(r.gen) * 3.14159f;
    const TMatrix ours = CreateRotationMatrix(axis, angle);
    const glm::mat4 theirs = glm::rotate(glm::mat4(1), angle, G(axis));
    // Element [i][j] of ours is GLM's row i, column j: our storage is GLM's transposed.
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) EXPECT_NEAR(ours[i][j], glm::row(theirs, i)[j], kTol);
    // So a row vector times ours turns the other way round: by -angle.
    const TVector v = VectorMake(r.V3(), 1);
    ExpectNear(VectorTransform(v, ours), glm::rotate(glm::mat4(1), -angle, G(axis)) * G(v), kTol);
    // The axis is normalised on a copy: a long axis gives the same rotation.
    ExpectNear(CreateRotationMatrix(VectorScale(axis, 7), angle), glm::transpose(theirs));

    const float s = std::sin(angle), c = std::cos(angle);
    // The X and Z matrices built from a sine and a cosine turn row vectors by +angle.
    ExpectNear(CreateRotationMatrixX(s, c), glm::rotate(glm::mat4(1), angle, glm::vec3(1, 0, 0)));
    ExpectNear(CreateRotationMatrixZ(s, c), glm::rotate(glm::mat4(1), angle, glm::vec3(0, 0, 1)));
  }
}

TEST(GeometryVsGlm, TranslationAndScale) {
  const TMatrix t = CreateTranslationMatrix({1, 2, 3});
  ExpectNear(t, glm::translate(glm::mat4(1), glm::vec3(1, 2, 3)));
  // A point moves, a direction does not.
  EXPECT_EQ(VectorTransform(TVector{5, 6, 7, 1}, t), (TVector{6, 8, 10, 1}));
  EXPECT_EQ(VectorTransform(TVector{5, 6, 7, 0}, t), (TVector{5, 6, 7, 0}));
  const TMatrix st = CreateScaleAndTranslationMatrix({2, 3, 4}, {-1, 5, 0.5f});
  ExpectNear(st, glm::translate(glm::mat4(1), glm::vec3(-1, 5, 0.5f)) * glm::scale(glm::mat4(1), glm::vec3(2, 3, 4)));
}

TEST(Geometry, PlaneNormalAndZeroVector) {
  TAffineVector n;
  CalcPlaneNormal({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, n);
  EXPECT_EQ(n, (TAffineVector{0, 0, 1}));
  TAffineVector v{3, 0, 4};
  NormalizeVector(v);
  EXPECT_FLOAT_EQ(v[0], 0.6f);
  EXPECT_FLOAT_EQ(v[1], 0.0f);
  EXPECT_FLOAT_EQ(v[2], 0.8f);
  TAffineVector zero{0, 0, 0};
  NormalizeVector(zero);  // no test for zero: the components become not-a-number
  EXPECT_TRUE(std::isnan(zero[0]) && std::isnan(zero[1]) && std::isnan(zero[2]));
  // Degenerate triangle (collinear points): NaN, not a crash.
  CalcPlaneNormal({0, 0, 0}, {1, 1, 1}, {2, 2, 2}, n);
  EXPECT_TRUE(std::isnan(n[0]));
}

TEST(Geometry, EqualityIsBitwiseAndSpacingIsAbsolute) {
  EXPECT_FALSE(VectorEquals(TVector{0.0f, 0, 0, 0}, TVector{-0.0f, 0, 0, 0}));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_TRUE(VectorEquals(TVector{nan, 1, 2, 3}, TVector{nan, 1, 2, 3}));
  EXPECT_FALSE(VectorEquals(TVector{1, 2, 3, 4}, TVector{1, 2, 3, 4.0000005f}));
  EXPECT_FLOAT_EQ(VectorSpacing(TAffineVector{1, -2, 3}, TAffineVector{-1, 2, 3}), 6.0f);
  EXPECT_FLOAT_EQ(VectorScale(TVector{1, 2, 3, 4}, 2, 10)[3], 40.0f);
}

TEST(Geometry, IntegerConversionsIgnoreOrFollowTheRoundingMode) {
  const int saved = std::fegetround();
  for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD}) {
    std::fesetround(mode);
    EXPECT_EQ(Trunc(-2.7f), -2);
    EXPECT_EQ(Trunc(2.7f), 2);
    EXPECT_EQ(Trunc64(2.7), 2);
    EXPECT_EQ(Trunc64(-1e15 - 0.5), -1000000000000000LL);
    EXPECT_FLOAT_EQ(Frac(-2.75f), -0.75f);
  }
  std::fesetround(saved);
  EXPECT_EQ(Round64(2.5), 2);
  EXPECT_EQ(Round64(3.5), 4);
  EXPECT_EQ(Round64(-2.5), -2);
  // Values an integer cannot hold give the most negative integer instead of undefined behaviour.
  EXPECT_EQ(Trunc(3e9f), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(Trunc(std::numeric_limits<float>::quiet_NaN()), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(Trunc(2147483520.0f), 2147483520);
  EXPECT_EQ(Trunc64(1e19), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(Round64(-1e300), std::numeric_limits<int64_t>::min());
}

TEST(Geometry, AnglesAndRayCast) {
  EXPECT_DOUBLE_EQ(DegToRad(180.0), M_PI);
  EXPECT_FLOAT_EQ(DegToRad(90.0f), static_cast<float>(M_PI / 2));
  TVector point, normal;
  // Straight down onto the triangle in the z = 0 plane.
  ASSERT_TRUE(
      RayCastTriangleIntersect({0.2f, 0.2f, 5, 1}, {0, 0, -1, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, &point, &normal));
  EXPECT_NEAR(point[0], 0.2f, kTol);
  EXPECT_NEAR(point[2], 0.0f, kTol);
  EXPECT_NEAR(std::fabs(normal[2]), 1.0f, kTol);
  // Outside the triangle, pointing away, and parallel to its plane.
  EXPECT_FALSE(
      RayCastTriangleIntersect({0.8f, 0.8f, 5, 1}, {0, 0, -1, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, nullptr, nullptr));
  EXPECT_FALSE(
      RayCastTriangleIntersect({0.2f, 0.2f, 5, 1}, {0, 0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, nullptr, nullptr));
  EXPECT_FALSE(
      RayCastTriangleIntersect({0.2f, 0.2f, 5, 1}, {1, 0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, nullptr, nullptr));
}

}  // namespace
