#pragma once
// A cap on the process's address space for one scope.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>

namespace testsupport {

// Lowers the address-space limit to what the process uses now plus some headroom while it lives:
// a picture allocated from its header alone then fails with bad_alloc, where its untouched
// blocks from calloc would never show in the resident size.
class TAddressSpaceCap {
 public:
  explicit TAddressSpaceCap(uint64_t headroom) {
    getrlimit(RLIMIT_AS, &FOld);
    uint64_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit cap = FOld;
    cap.rlim_cur = std::min<rlim_t>(FOld.rlim_cur, pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) + headroom);
    setrlimit(RLIMIT_AS, &cap);
  }
  ~TAddressSpaceCap() { setrlimit(RLIMIT_AS, &FOld); }
  TAddressSpaceCap(const TAddressSpaceCap&) = delete;
  TAddressSpaceCap& operator=(const TAddressSpaceCap&) = delete;

 private:
  rlimit FOld{};
};

}  // namespace testsupport
