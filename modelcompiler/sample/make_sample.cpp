// Build step: writes the sample model file and compiles it into the program's CustomModels.
// Usage: corvane_make_sample <model.ms3d> <CustomModels folder>
#include <cstdio>
#include <exception>

#include "modelcompiler/SampleModel.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <model.ms3d> <output folder>\n", argv[0]);
    return 2;
  }
  try {
    BuildSampleModel(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
  return 0;
}
