// Removes the suite's scratch folder when the run ends.
#include <gtest/gtest.h>

#include "tests/packages/PackageTestSupport.h"

namespace {
class TScratchCleanup : public ::testing::Environment {
 public:
  void TearDown() override {
    std::error_code ec;
    pkgtest::fs::remove_all(pkgtest::ScratchRoot(), ec);
  }
};
const auto* const kCleanup = ::testing::AddGlobalTestEnvironment(new TScratchCleanup);
}  // namespace
