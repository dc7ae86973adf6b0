// Package loading: the reader's tables, object paths and property lists on arbitrary bytes.
// Only the reader's own errors (Exception) are expected; anything else is a finding.
#include <cstdint>
#include <string>
#include <vector>

#include "packages/ut_objects.h"
#include "packages/ut_packages.h"
#include "platform/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    TUTPackage package;
    package.LoadFromMemory(std::vector<uint8_t>(data, data + size), "fuzz.u");
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
