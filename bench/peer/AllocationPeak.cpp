// Counts the heap bytes the process has live and their peak, by standing in for the C
// allocator's entry points (C++'s new and delete reach them too) and handing every call on to
// glibc's own. Linked only into the in-process peer benchmarks.
#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <unistd.h>

extern "C" {
void* __libc_malloc(size_t);
void __libc_free(void*);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
}

namespace {

std::atomic<long long> gLive{0}, gPeak{0}, gBase{0};

void Added(void* p) {
  if (!p) return;
  const long long now =
      gLive.fetch_add(static_cast<long long>(malloc_usable_size(p))) + static_cast<long long>(malloc_usable_size(p));
  long long peak = gPeak.load(std::memory_order_relaxed);
  while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
  }
}
void Removed(void* p) {
  if (p) gLive.fetch_sub(static_cast<long long>(malloc_usable_size(p)));
}

}  // namespace

namespace peers {
void ResetAllocationPeak() {
  gBase.store(gLive.load());
  gPeak.store(gBase.load());
}
long long AllocationPeak() { return gPeak.load() - gBase.load(); }
}  // namespace peers

extern "C" {

void* malloc(size_t n) {
  void* p = __libc_malloc(n);
  Added(p);
  return p;
}
void free(void* p) {
  Removed(p);
  __libc_free(p);
}
void* calloc(size_t n, size_t size) {
  void* p = __libc_calloc(n, size);
  Added(p);
  return p;
}
void* realloc(void* p, size_t n) {
  const long long before = p ? static_cast<long long>(malloc_usable_size(p)) : 0;
  void* q = __libc_realloc(p, n);
  if (q || n == 0) gLive.fetch_sub(before);
  Added(q);
  return q;
}
void* reallocarray(void* p, size_t n, size_t size) {
  if (size && n > static_cast<size_t>(-1) / size) {
    errno = ENOMEM;
    return nullptr;
  }
  return realloc(p, n * size);
}
void* memalign(size_t alignment, size_t n) {
  void* p = __libc_memalign(alignment, n);
  Added(p);
  return p;
}
void* aligned_alloc(size_t alignment, size_t n) { return memalign(alignment, n); }
int posix_memalign(void** out, size_t alignment, size_t n) {
  void* p = memalign(alignment, n);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}
void* valloc(size_t n) { return memalign(static_cast<size_t>(sysconf(_SC_PAGESIZE)), n); }
void* pvalloc(size_t n) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return memalign(page, (n + page - 1) / page * page);
}

}  // extern "C"
