// Feeds arbitrary bytes to the reader of stored collections (behaviours and effects of scene
// objects). Refusals must be the reader's own errors; a collection that was read must write
// back and read again to the same classes and names.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "scene/Filer.h"
#include "scene/XCollection.h"

namespace {

class FuzzItemA : public TXCollectionItem {
 public:
  const char* ClassName() const override { return "TFuzzItemA"; }
  std::string FriendlyName() const override { return "A"; }
  std::unique_ptr<TXCollectionItem> CreateSame() const override { return std::make_unique<FuzzItemA>(); }
};
class FuzzItemB : public FuzzItemA {
 public:
  const char* ClassName() const override { return "TFuzzItemB"; }
  std::string FriendlyName() const override { return "B"; }
  std::unique_ptr<TXCollectionItem> CreateSame() const override { return std::make_unique<FuzzItemB>(); }
};

[[maybe_unused]] const bool gRegistered = [] {
  RegisterXCollectionItemClass("TFuzzItemA", [] { return std::make_unique<FuzzItemA>(); });
  RegisterXCollectionItemClass("TFuzzItemB", [] { return std::make_unique<FuzzItemB>(); });
  return true;
}();

std::vector<std::string> Describe(const TXCollection& c) {
  std::vector<std::string> d;
  for (int i = 0; i < c.Count(); ++i) d.push_back(std::string(c.Items(i)->ClassName()) + ":" + c.Items(i)->Name());
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream in(std::vector<uint8_t>(data, data + size));
  TXCollection c(nullptr);
  try {
    TReader reader(in);
    c.ReadFromFiler(reader);
  } catch (const EReadError&) {
    return 0;
  } catch (const EAssertionFailed&) {
    return 0;
  }
  TMemoryStream out;
  TWriter writer(out);
  c.WriteToFiler(writer);
  out.SetPosition(0);
  TXCollection again(nullptr);
  TReader reader(out);
  again.ReadFromFiler(reader);  // anything raised here is a finding
  if (Describe(again) != Describe(c)) __builtin_trap();
  return 0;
}
