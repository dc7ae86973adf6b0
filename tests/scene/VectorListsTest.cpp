// Vector lists (growth, counts, the depth sort's exact tie order), XCollection streaming with
// malformed input, and the cubic spline.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "scene/Filer.h"
#include "scene/FilerBytes.h"
#include "scene/Spline.h"
#include "scene/VectorLists.h"
#include "scene/XCollection.h"

namespace {

TEST(VectorLists, GrowthByDeltaAndCounts) {
  TAffineVectorList l;
  for (int i = 0; i < 17; ++i) EXPECT_EQ(l.Add(float(i), 0, 0), i);
  EXPECT_EQ(l.Capacity(), 32);
  EXPECT_EQ(l[16][0], 16.0f);

  TAffineVectorList t;
  t.SetCapacity(16);
  t.SetCount(15);
  EXPECT_EQ(t.Add({1, 1, 1}, {2, 2, 2}, {3, 3, 3}), 15);
  EXPECT_EQ(t.Count(), 18);
  EXPECT_EQ(t.Capacity(), 32);
  EXPECT_EQ(t[17][2], 3.0f);

  TAffineVectorList z;
  z.SetCount(5);
  EXPECT_EQ(z.Capacity(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(z[i], (TAffineVector{0, 0, 0}));
  z.SetCount(2);
  EXPECT_EQ(z.Capacity(), 5);
  EXPECT_THROW(z.SetCount(-1), EAssertionFailed);
  EXPECT_EQ(z.Count(), 2);
  // Lowering the capacity below the count lowers the count: no item lives outside the block.
  TIntegerList ints;
  for (int i = 0; i < 10; ++i) ints.Add(i);
  ints.SetCapacity(4);
  EXPECT_EQ(ints.Count(), 4);
  EXPECT_EQ(ints[3], 3);
  ints.Clear();
  EXPECT_EQ(ints.Capacity(), 0);
}

TEST(VectorLists, AssignExtentsLerpAndTranslate) {
  TVectorList a;
  a.Add({1, 2, 3, 1});
  a.Add({-1, 5, 0, 1});
  TVectorList b;
  b.Assign(&a);
  EXPECT_EQ(b.Count(), 2);
  EXPECT_EQ(b[1], (TVector{-1, 5, 0, 1}));
  TAffineVectorList wrong;
  EXPECT_THROW(wrong.Assign(&a), EConvertError);  // another item type is refused, not misread
  EXPECT_EQ(wrong.Count(), 0);
  b.Assign(nullptr);
  EXPECT_EQ(b.Count(), 0);

  TAffineVector mn, mx;
  TAffineVectorList empty;
  empty.GetExtents(mn, mx);
  EXPECT_TRUE(std::isinf(mn[0]) && mn[0] > 0 && std::isinf(mx[2]) && mx[2] < 0);
  a.GetExtents(mn, mx);
  EXPECT_EQ(mn, (TAffineVector{-1, 2, 0}));
  EXPECT_EQ(mx, (TAffineVector{1, 5, 3}));
  EXPECT_EQ(a.Sum(), (TAffineVector{0, 7, 3}));

  TAffineVectorList p, q, r;
  p.Add(0, 0, 0);
  p.Add(2, 2, 2);
  q.Add(10, 0, 0);
  q.Add(4, 4, 4);
  r.Lerp(p, q, 0.5f);
  EXPECT_EQ(r[0], (TAffineVector{5, 0, 0}));
  EXPECT_EQ(r[1], (TAffineVector{3, 3, 3}));
  p.Lerp(p, q, 1.0f);  // a source may be the target
  EXPECT_EQ(p[1], (TAffineVector{4, 4, 4}));
  q.Add(1, 1, 1);
  EXPECT_THROW(r.Lerp(p, q, 0.5f), EAssertionFailed);
  r.Translate({1, 0, 0});
  EXPECT_EQ(r[0][0], 6.0f);
  r.Normalize();
  EXPECT_FLOAT_EQ(r[0][0], 1.0f);
}

// Sorts keys with objects 1..n and returns the objects in drawing order (last sorted first).
std::vector<intptr_t> DrawOrder(const std::vector<float>& keys) {
  TSingleList k;
  std::vector<void*> objects;
  for (size_t i = 0; i < keys.size(); ++i) {
    k.Add(keys[i]);
    objects.push_back(reinterpret_cast<void*>(i + 1));
  }
  QuickSort(0, k.Count() - 1, k, objects);
  std::vector<intptr_t> order;
  for (auto it = objects.rbegin(); it != objects.rend(); ++it) order.push_back(reinterpret_cast<intptr_t>(*it));
  return order;
}

TEST(DepthSort, TieOrderDecidesTheDrawOrder) {
  EXPECT_EQ(DrawOrder(std::vector<float>(8, 5.0f)), (std::vector<intptr_t>{3, 4, 2, 1, 7, 8, 6, 5}));
  EXPECT_EQ(DrawOrder({5, 5}), (std::vector<intptr_t>{2, 1}));
  EXPECT_EQ(DrawOrder({5, 5, 5}), (std::vector<intptr_t>{1, 2, 3}));
  // Keys 3, 1, 2 with A, B, C give 1, 2, 3 with B, C, A.
  EXPECT_EQ(DrawOrder({3, 1, 2}), (std::vector<intptr_t>{1, 3, 2}));
  EXPECT_EQ(DrawOrder({}), (std::vector<intptr_t>{}));
  EXPECT_EQ(DrawOrder({7}), (std::vector<intptr_t>{1}));
}

TEST(DepthSort, SortsLikeAnyCorrectSortAndKeepsPairs) {
  std::mt19937 gen(7);
  for (int round = 0; round < 200; ++round) {
    const int n = 1 + static_cast<int>(gen() % 60);
    TSingleList k;
    std::vector<void*> objects;
    std::vector<float> keys;
    for (int i = 0; i < n; ++i) {
      keys.push_back(static_cast<float>(gen() % 10));  // many ties
      k.Add(keys.back());
      objects.push_back(reinterpret_cast<void*>(static_cast<intptr_t>(i)));
    }
    QuickSort(0, n - 1, k, objects);
    std::vector<float> sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(k[i], sorted[static_cast<size_t>(i)]);
      EXPECT_EQ(keys[static_cast<size_t>(reinterpret_cast<intptr_t>(objects[static_cast<size_t>(i)]))], k[i]);
    }
  }
}

class NamedItem : public TXCollectionItem {
 public:
  const char* ClassName() const override { return "TNamedItem"; }
  std::string FriendlyName() const override { return "Named"; }
  std::unique_ptr<TXCollectionItem> CreateSame() const override { return std::make_unique<NamedItem>(); }
};
class OtherItem : public NamedItem {
 public:
  const char* ClassName() const override { return "TOtherItem"; }
  std::string FriendlyName() const override { return "Other"; }
  std::unique_ptr<TXCollectionItem> CreateSame() const override { return std::make_unique<OtherItem>(); }
};

class XCollectionStreaming : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterXCollectionItemClass("TNamedItem", [] { return std::make_unique<NamedItem>(); });
    RegisterXCollectionItemClass("TOtherItem", [] { return std::make_unique<OtherItem>(); });
  }
  void TearDown() override {
    UnregisterXCollectionItemClass("TNamedItem");
    UnregisterXCollectionItemClass("TOtherItem");
  }
};

TEST_F(XCollectionStreaming, ClassNamesAreWrittenOnce) {
  TXCollection c(nullptr);
  c.Add(std::make_unique<NamedItem>());
  c.Add(std::make_unique<OtherItem>())->SetName("second");
  c.Add(std::make_unique<NamedItem>());
  EXPECT_EQ(c.Items(0)->Name(), "Named");
  TMemoryStream s;
  TWriter w(s);
  c.WriteToFiler(w);
  const std::string bytes(s.Bytes().begin(), s.Bytes().end());
  // count 3; "TNamedItem" v0 "Named"; "TOtherItem" v0 "second"; index 0, v0 "Named"
  const std::string expected = FilerBytes()
                                   .Int8(3)
                                   .Str("TNamedItem")
                                   .Int8(0)
                                   .Str("Named")
                                   .Str("TOtherItem")
                                   .Int8(0)
                                   .Str("second")
                                   .Int8(0)
                                   .Int8(0)
                                   .Str("Named")
                                   .Bytes();
  EXPECT_EQ(bytes, expected);

  TXCollection d(nullptr);
  s.SetPosition(0);
  TReader r(s);
  d.ReadFromFiler(r);
  ASSERT_EQ(d.Count(), 3);
  EXPECT_STREQ(d.Items(1)->ClassName(), "TOtherItem");
  EXPECT_EQ(d.Items(1)->Name(), "second");
  EXPECT_STREQ(d.Items(2)->ClassName(), "TNamedItem");
  EXPECT_EQ(d.Items(2)->Index(), 2);
  EXPECT_EQ(d.Items(2)->GetNamePath(), "TXCollection[2]");

  TXCollection e(nullptr);
  e.Assign(&c);
  ASSERT_EQ(e.Count(), 3);
  EXPECT_EQ(e.Items(1)->Name(), "second");
  EXPECT_STREQ(e.Items(1)->ClassName(), "TOtherItem");
}

TEST_F(XCollectionStreaming, MalformedStreamsFailCleanly) {
  auto read = [](const std::string& bytes) {
    TMemoryStream s(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    TReader r(s);
    TXCollection c(nullptr);
    c.ReadFromFiler(r);
    return c.Count();
  };
  EXPECT_EQ(read(std::string("\x02\x00", 2)), 0);
  // Unknown class, class index never introduced, version 1, negative count.
  EXPECT_THROW(read(std::string("\x02\x01\x06\x04TFoo\x02\x00\x06\x00", 12)), EAssertionFailed);
  EXPECT_THROW(read(std::string("\x02\x01\x02\x00\x02\x00\x06\x00", 8)), EAssertionFailed);
  EXPECT_THROW(read(std::string("\x02\x01\x06\x0ATNamedItem\x02\x01\x06\x00", 18)), EAssertionFailed);
  EXPECT_THROW(read(std::string("\x02\xFF", 2)), EAssertionFailed);
  // A huge count or string length with nothing behind it ends in a read error, not an allocation.
  EXPECT_THROW(read(std::string("\x04\xFF\xFF\xFF\x7F\x06\x0ATNamedItem\x02\x00", 18)), EReadError);
  EXPECT_THROW(read(std::string("\x02\x01\x0C\xFF\xFF\xFF\x7F", 7)), EReadError);
  EXPECT_THROW(read(std::string("\x02", 1)), EReadError);
  EXPECT_THROW(read(std::string("\x09", 1)), EReadError);  // a boolean where the count belongs
}

TEST(Spline, InterpolatesThroughThePoints) {
  const float line[] = {0, 1, 2};
  TCubicSpline s(line, nullptr, nullptr, nullptr, 3);
  EXPECT_FLOAT_EQ(s.SplineX(0.5f), 0.5f);
  EXPECT_FLOAT_EQ(s.SplineX(1.75f), 1.75f);
  EXPECT_EQ(s.SplineY(1), 0.0f);  // no table
  const float ys[] = {0, 3, -1, 4, 2};
  const float zs[] = {1, 1, 1, 1, 1};
  TCubicSpline c(ys, ys, zs, nullptr, 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_NEAR(c.SplineX(float(i)), ys[i], 1e-4) << i;
    EXPECT_NEAR(c.SplineZ(float(i) + 0.3f), 1.0f, 1e-5) << i;
  }
  // The slopes are continuous at the inner points.
  // (second-order one-sided differences; the coefficients are single precision)
  const float h = 4e-3f;
  for (int i = 1; i < 4; ++i) {
    const float x = float(i);
    const float left = (3 * c.SplineX(x) - 4 * c.SplineX(x - h) + c.SplineX(x - 2 * h)) / (2 * h);
    const float right = (-3 * c.SplineX(x) + 4 * c.SplineX(x + h) - c.SplineX(x + 2 * h)) / (2 * h);
    EXPECT_NEAR(left, right, 0.05f) << i;
  }
  // Outside the range the end segments go on; NaN uses the first segment.
  TAffineVector v;
  c.SplineAffineVector(-1, v);
  EXPECT_TRUE(std::isfinite(v[0]));
  EXPECT_TRUE(std::isfinite(c.SplineX(100)));
  EXPECT_TRUE(std::isnan(c.SplineX(std::nanf(""))));
  const float single[] = {7};
  TCubicSpline one(single, nullptr, nullptr, nullptr, 1);
  EXPECT_FLOAT_EQ(one.SplineX(3), 7.0f);
  TCubicSpline none(nullptr, nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(none.SplineX(0), 0.0f);
}

}  // namespace
