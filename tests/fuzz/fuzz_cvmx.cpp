// Feeds arbitrary bytes to the model extension reader (INI text). Refusals must be the
// catalogue's own errors; every model read must respect the section rules; and a value written
// into any section of the file must read back as written.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "model/ModelCatalogue.h"
#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "tests/fuzz/FuzzScratch.h"

namespace {

std::string Folder() {
  static std::string dir = [] {
    auto d = FuzzScratchFolder("cvmx");
    return d.string() + "/";
  }();
  return dir;
}

void CheckModel(const TModelo& m) {
  if (m.PartCount() > MaxModelSections || m.Presets.empty()) __builtin_trap();
  for (int i = 0; i < m.PartCount(); ++i) {
    const TModeloPart* p = m.Part(i);
    if (p->Section() < 1 || p->Section() > MaxModelSections) __builtin_trap();
    if (p->Width < 0 || p->Height < 0 || p->Width > 8192 || p->Height > 8192) __builtin_trap();
    if ((p->Flags & mpMASKED) && !m.HasMaskedSection) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = Folder() + "fuzz.cvmx";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  TModelList models;
  std::vector<std::string> problems;
  // Broken models are listed, never thrown: every other model of the file must still load.
  ReadModelExtensionFile(file, models, problems);
  for (const auto& m : models) CheckModel(*m);

  TIniFile ini(file);
  ini.AutoUpdate = false;
  std::vector<std::string> sections;
  ini.ReadSections(sections);
  for (const std::string& s : sections) {
    try {
      ini.WriteString(s, "FuzzKey", "value ; with = signs");
    } catch (const EConvertError&) {
      continue;  // a name that cannot be written back as it reads (empty)
    }
    if (ini.ReadString(s, "fuzzkey", "?") != "value ; with = signs") __builtin_trap();
  }
  return 0;
}
