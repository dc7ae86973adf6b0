#pragma once
// Growable arrays of fixed-size items in one contiguous block (so a list can be handed to OpenGL
// vertex arrays), growing by GrowthDelta items rather than doubling, and the quicksort whose
// exact tie order decides the depth order of scene objects.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "model/Geometry.h"
#include "scene/Classes.h"

class TBaseList : public TPersistent {
 public:
  explicit TBaseList(int itemSize);
  ~TBaseList() override;
  TBaseList(const TBaseList&) = delete;
  TBaseList& operator=(const TBaseList&) = delete;
  const char* ClassName() const override { return "TBaseList"; }

  int Count() const { return FCount; }
  int Capacity() const { return FCapacity; }
  int GrowthDelta = 16;
  int ItemSize() const { return FItemSize; }
  // Negative counts fail with "Assertion failure"; more than the capacity grows it first.
  void SetCount(int n);
  // Reallocates to n items; below Count, Count is lowered too.
  virtual void SetCapacity(int n);
  void AddNulls(int n);  // n zero items after the last one
  void Exchange(int i, int j);
  void Clear();
  void Assign(const TPersistent* source) override;
  void* ItemAddress(int i) { return FData + static_cast<size_t>(i) * static_cast<size_t>(FItemSize); }
  const void* ItemAddress(int i) const { return FData + static_cast<size_t>(i) * static_cast<size_t>(FItemSize); }

 protected:
  // Makes room for one more item, growing by GrowthDelta.
  void GrowForOne();
  uint8_t* FData = nullptr;
  int FCount = 0;
  int FCapacity = 0;

 private:
  int FItemSize;
  uint8_t* FBuffer = nullptr;  // one item of scratch for exchanges
};

class TBaseVectorList : public TBaseList {
 public:
  using TBaseList::TBaseList;
  const char* ClassName() const override { return "TBaseVectorList"; }
  // +infinity / -infinity for an empty list.
  void GetExtents(TAffineVector& min, TAffineVector& max) const;
  TAffineVector Sum() const;
  // Every item as a 3-float vector (no guard against zero length).
  virtual void Normalize();
  void Translate(const TAffineVector& delta);
  // item i := list1[i] + (list2[i] - list1[i]) * t; unequal counts fail with "Assertion failure".
  void Lerp(const TBaseVectorList& list1, const TBaseVectorList& list2, float t);
};

class TAffineVectorList : public TBaseVectorList {
 public:
  TAffineVectorList() : TBaseVectorList(12) {}
  const char* ClassName() const override { return "TAffineVectorList"; }
  int Add(const TAffineVector& v);
  // Three vectors at once (one triangle's corners).
  int Add(const TAffineVector& v1, const TAffineVector& v2, const TAffineVector& v3);
  int Add(float x, float y, float z) { return Add(TAffineVector{x, y, z}); }
  int AddTexPoint(float s, float t) { return Add(TAffineVector{s, t, 0}); }
  TAffineVector& operator[](int i) { return List()[i]; }
  const TAffineVector& operator[](int i) const { return List()[i]; }
  TAffineVector* List() { return reinterpret_cast<TAffineVector*>(FData); }
  const TAffineVector* List() const { return reinterpret_cast<const TAffineVector*>(FData); }
  void Assign(const TPersistent* source) override;
};

class TVectorList : public TBaseVectorList {
 public:
  TVectorList() : TBaseVectorList(16) {}
  const char* ClassName() const override { return "TVectorList"; }
  int Add(const TVector& v);
  TVector& operator[](int i) { return List()[i]; }
  const TVector& operator[](int i) const { return List()[i]; }
  TVector* List() { return reinterpret_cast<TVector*>(FData); }
  const TVector* List() const { return reinterpret_cast<const TVector*>(FData); }
  void Assign(const TPersistent* source) override;
};

class TIntegerList : public TBaseList {
 public:
  TIntegerList() : TBaseList(4) {}
  const char* ClassName() const override { return "TIntegerList"; }
  int Add(int32_t v);
  int32_t& operator[](int i) { return List()[i]; }
  int32_t operator[](int i) const { return List()[i]; }
  int32_t* List() { return reinterpret_cast<int32_t*>(FData); }
  const int32_t* List() const { return reinterpret_cast<const int32_t*>(FData); }
  void Assign(const TPersistent* source) override;
};

class TSingleList : public TBaseList {
 public:
  TSingleList() : TBaseList(4) {}
  const char* ClassName() const override { return "TSingleList"; }
  int Add(float v);
  float& operator[](int i) { return List()[i]; }
  float operator[](int i) const { return List()[i]; }
  float* List() { return reinterpret_cast<float*>(FData); }
  const float* List() const { return reinterpret_cast<const float*>(FData); }
  void Assign(const TPersistent* source) override;
};

// Sorts keys[lo..hi] ascending and applies every exchange to objects at the same indices.
void QuickSort(int lo, int hi, TSingleList& keys, std::vector<void*>& objects);
