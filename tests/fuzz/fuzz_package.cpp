// Package loading: the reader's tables, object paths and property lists on arbitrary bytes.
// Only the reader's own errors (Exception) are expected; anything else is a finding.
#include <cstdint>
#include <cstdio>
#include <string>

#include "packages/ut_objects.h"
#include "packages/ut_packages.h"
#include "platform/Exceptions.h"
#include "tests/fuzz/FuzzScratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string file = (FuzzScratchFolder("package") / "input.u").string();
  FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  try {
    TUTPackage package(file);
    std::string path;
    for (int32_t i = 0; i < package.GetExportCount() && i < 64; ++i) {
      const TExportTableData& e = package.GetExport(i);
      package.GetObjectPath(-1, e.Package, path);
      package.FindExport(e.ObjectNameStr, e.ClassNameStr);
      if (e.SerialSize <= 0) continue;
      // Every export's data read as a property list, whatever its class.
      TUTObjectWithProperties props(&package, i);
      try {
        props.ReadObject();
      } catch (const Exception&) {
      }
      if (e.Obj) {
        try {
          e.Obj->ReadObject();
        } catch (const Exception&) {
        }
      }
    }
  } catch (const Exception&) {
  }
  return 0;
}
