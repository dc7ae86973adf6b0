#include "scene/VectorLists.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/Exceptions.h"

TBaseList::TBaseList(int itemSize) : FItemSize(itemSize) {}

TBaseList::~TBaseList() {
  std::free(FData);
  std::free(FBuffer);
}

void TBaseList::SetCount(int n) {
  if (n < 0) throw EAssertionFailed("Assertion failure");
  if (n > FCapacity) SetCapacity(n);
  if (n <= FCount)
    FCount = n;
  else
    AddNulls(n - FCount);
}

void TBaseList::SetCapacity(int n) {
  if (n < 0) throw EAssertionFailed("Assertion failure");
  if (n == FCapacity) return;
  const size_t bytes = static_cast<size_t>(n) * static_cast<size_t>(FItemSize);
  if (n > 0 && bytes / static_cast<size_t>(n) != static_cast<size_t>(FItemSize)) throw EOutOfMemory("Out of memory");
  if (n == 0) {
    std::free(FData);
    FData = nullptr;
  } else {
    void* p = std::realloc(FData, bytes);
    if (!p) throw EOutOfMemory("Out of memory");  // Count and Capacity stay as they were
    FData = static_cast<uint8_t*>(p);
  }
  FCapacity = n;
  if (FCount > n) FCount = n;  // items beyond the new block no longer exist
}

void TBaseList::AddNulls(int n) {
  if (n <= 0) return;
  if (n > std::numeric_limits<int>::max() - FCount) throw EOutOfMemory("Out of memory");
  if (FCount + n > FCapacity) SetCapacity(FCount + n);
  std::memset(ItemAddress(FCount), 0, static_cast<size_t>(n) * static_cast<size_t>(FItemSize));
  FCount += n;
}

void TBaseList::GrowForOne() {
  if (FCount == FCapacity) SetCapacity(FCapacity + (GrowthDelta > 0 ? GrowthDelta : 1));
}

void TBaseList::Exchange(int i, int j) {
  if (i == j) return;
  if (!FBuffer) {
    FBuffer = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(FItemSize)));
    if (!FBuffer) throw EOutOfMemory("Out of memory");
  }
  const size_t s = static_cast<size_t>(FItemSize);
  std::memcpy(FBuffer, ItemAddress(i), s);
  std::memcpy(ItemAddress(i), ItemAddress(j), s);
  std::memcpy(ItemAddress(j), FBuffer, s);
}

void TBaseList::Clear() {
  SetCount(0);
  SetCapacity(0);
}

void TBaseList::Assign(const TPersistent* source) {
  if (!source) {
    Clear();
    return;
  }
  // Only a list of the same class can be copied; any other would leave items uninitialised.
  auto* src = dynamic_cast<const TBaseList*>(source);
  if (!src || std::strcmp(src->ClassName(), ClassName()) != 0) {
    TPersistent::Assign(source);
    return;
  }
  SetCapacity(src->FCount);
  GrowthDelta = src->GrowthDelta;
  FCount = FCapacity;
  if (FCount) std::memcpy(FData, src->FData, static_cast<size_t>(FCount) * static_cast<size_t>(FItemSize));
}

// --- vector lists: the first three floats of every item

void TBaseVectorList::GetExtents(TAffineVector& min, TAffineVector& max) const {
  const float inf = std::numeric_limits<float>::infinity();
  min = {inf, inf, inf};
  max = {-inf, -inf, -inf};
  for (int i = 0; i < FCount; ++i) {
    const float* v = static_cast<const float*>(ItemAddress(i));
    for (int k = 0; k < 3; ++k) {
      if (v[k] < min[k]) min[k] = v[k];
      if (v[k] > max[k]) max[k] = v[k];
    }
  }
}

TAffineVector TBaseVectorList::Sum() const {
  double s[3] = {0, 0, 0};
  for (int i = 0; i < FCount; ++i) {
    const float* v = static_cast<const float*>(ItemAddress(i));
    for (int k = 0; k < 3; ++k) s[k] += v[k];
  }
  return {float(s[0]), float(s[1]), float(s[2])};
}

void TBaseVectorList::Normalize() {
  for (int i = 0; i < FCount; ++i) {
    TAffineVector* v = static_cast<TAffineVector*>(ItemAddress(i));
    NormalizeVector(*v);
  }
}

void TBaseVectorList::Translate(const TAffineVector& delta) {
  for (int i = 0; i < FCount; ++i) AddVector(*static_cast<TAffineVector*>(ItemAddress(i)), delta);
}

void TBaseVectorList::Lerp(const TBaseVectorList& list1, const TBaseVectorList& list2, float t) {
  if (list1.Count() != list2.Count() || list1.ItemSize() != ItemSize() || list2.ItemSize() != ItemSize())
    throw EAssertionFailed("Assertion failure");
  const int n = list1.Count();
  // Read the sources before this list is resized: one of them may be this list.
  std::vector<float> out(static_cast<size_t>(n) * static_cast<size_t>(ItemSize() / 4));
  const int comps = ItemSize() / 4;
  for (int i = 0; i < n; ++i) {
    const float* a = static_cast<const float*>(list1.ItemAddress(i));
    const float* b = static_cast<const float*>(list2.ItemAddress(i));
    for (int k = 0; k < comps; ++k)
      out[static_cast<size_t>(i * comps + k)] = static_cast<float>(a[k] + (double(b[k]) - a[k]) * t);
  }
  Clear();
  SetCount(n);
  if (n) std::memcpy(FData, out.data(), out.size() * 4);
}

// --- typed lists

int TAffineVectorList::Add(const TAffineVector& v) {
  GrowForOne();
  List()[FCount] = v;
  return FCount++;
}

int TAffineVectorList::Add(const TAffineVector& v1, const TAffineVector& v2, const TAffineVector& v3) {
  const int first = FCount;
  int cap = FCapacity;
  while (cap < FCount + 3) cap += GrowthDelta > 0 ? GrowthDelta : 1;
  SetCapacity(cap);
  FCount += 3;
  List()[first] = v1;
  List()[first + 1] = v2;
  List()[first + 2] = v3;
  return first;
}

void TAffineVectorList::Assign(const TPersistent* source) { TBaseList::Assign(source); }

int TVectorList::Add(const TVector& v) {
  GrowForOne();
  List()[FCount] = v;
  return FCount++;
}
void TVectorList::Assign(const TPersistent* source) { TBaseList::Assign(source); }

int TIntegerList::Add(int32_t v) {
  GrowForOne();
  List()[FCount] = v;
  return FCount++;
}
void TIntegerList::Assign(const TPersistent* source) { TBaseList::Assign(source); }

int TSingleList::Add(float v) {
  GrowForOne();
  List()[FCount] = v;
  return FCount++;
}
void TSingleList::Assign(const TPersistent* source) { TBaseList::Assign(source); }

// --- depth sort

void QuickSort(int lo, int hi, TSingleList& keys, std::vector<void*>& objects) {
  if (lo < 0 || hi >= keys.Count() || hi >= static_cast<int>(objects.size())) return;
  auto exchange = [&](int i, int j) {
    keys.Exchange(i, j);
    std::swap(objects[static_cast<size_t>(i)], objects[static_cast<size_t>(j)]);
  };
  if (hi - lo > 1) {
    int i;
    do {
      i = lo;
      int j = hi;
      const float pivot = keys[(lo + hi) >> 1];
      do {
        while (keys[i] < pivot) ++i;
        while (keys[j] > pivot) --j;
        if (i <= j) {
          exchange(i, j);
          ++i;
          --j;
        }
      } while (i <= j);
      if (lo < j) QuickSort(lo, j, keys, objects);
      lo = i;
    } while (i < hi);
  } else if (hi - lo > 0) {
    if (keys[hi] < keys[lo]) exchange(lo, hi);  // equal keys keep their order
  }
}
