// The package reader: header versions, tables, object paths, streams, and bad files that must
// fail as "Exception processing <file>" with empty tables, never crash or hang.
#include <gtest/gtest.h>

#include "packages/TexturePackage.h"
#include "packages/ut_objects.h"
#include "packages/ut_packages.h"
#include "platform/Exceptions.h"
#include "tests/packages/PackageTestSupport.h"
#include "tests/packages/RawPackage.h"

using namespace pkgtest;

namespace {
std::string Store(const std::vector<uint8_t>& bytes, const std::string& name) {
  static const fs::path dir = ProcessScratchDir("reader");
  const fs::path p = dir / name;
  WriteBytes(p, bytes);
  return p.string();
}

// Loads the file and expects the load to fail cleanly.
void ExpectLoadFailure(const std::string& file) {
  TUTPackage p;
  try {
    p.LoadFromFile(file);
    ADD_FAILURE() << file << " loaded";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message, "Exception processing " + file);
  }
  EXPECT_TRUE(p.Names.empty());
  EXPECT_TRUE(p.Imports.empty());
  EXPECT_TRUE(p.Exports.empty());
  EXPECT_EQ(p.OpenCount, 0);
  EXPECT_EQ(p.Stream, nullptr);
}

// The same bytes fail the same way from a file and from memory.
void ExpectLoadFailures(const std::vector<uint8_t>& bytes, const std::string& name) {
  SCOPED_TRACE(name);
  ExpectLoadFailure(Store(bytes, name));
  TUTPackage p;
  try {
    p.LoadFromMemory(bytes, name + " (in memory)");
    ADD_FAILURE() << name << " loaded from memory";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message, "Exception processing " + name + " (in memory)");
  }
  EXPECT_TRUE(p.Names.empty() && p.Imports.empty() && p.Exports.empty());
  EXPECT_EQ(p.OpenCount, 0);
  EXPECT_EQ(p.Stream, nullptr);
}

// Engine, Texture import in Engine, and an export "Skin" of class Texture in a group "Group".
RawPackage SmallPackage(int32_t version = 68) {
  RawPackage r;
  r.Version = version;
  r.Names = {"None", "Core", "Engine", "Package", "Class", "Texture", "Group", "Skin", "Wall"};
  r.Imports.push_back({1, 3, 0, 2});                        // Core.Package Engine
  r.Imports.push_back({1, 4, -1, 5});                       // Core.Class Texture in Engine
  r.Imports.push_back({2, 5, -1, 8});                       // Engine.Texture Wall in Engine
  r.Exports.push_back({0, 0, 0, 6, 0x70004, {0x00}, -1});   // Group (no class)
  r.Exports.push_back({-2, 0, 1, 7, 0xF0004, {0x00}, -1});  // Skin in Group
  r.Exports.push_back({-2, 0, 1, 8, 0xF0004, {}, -1});      // an export without data
  return r;
}
}  // namespace

TEST(Reader, TablesAndObjectPaths) {
  const std::string file = Store(SmallPackage().Build(), "small.u");
  TUTPackage p(file);
  EXPECT_EQ(p.Names.size(), 9u);
  EXPECT_EQ(p.FindName("TEXTURE"), 5);
  EXPECT_EQ(p.FindName("nothing"), -1);
  EXPECT_EQ(p.GetName(99), "");
  EXPECT_EQ(p.GetName(-1), "");
  EXPECT_EQ(p.Imports[1].PackagePath, "Engine");
  EXPECT_EQ(p.Exports[1].ClassNameStr, "Texture");
  EXPECT_EQ(p.Exports[1].PackagePath, "Group");
  EXPECT_EQ(p.Exports[0].ClassNameStr, "");
  EXPECT_EQ(p.Exports[2].SerialSize, 0);
  EXPECT_EQ(p.Exports[2].SerialOffset, 0);
  EXPECT_EQ(p.FindExport("skin", "texture"), 1);
  EXPECT_EQ(p.FindExport("skin", "palette"), -1);
  std::string path;
  p.GetObjectPath(1, -3, path);
  EXPECT_EQ(path, "Wall");
  p.GetObjectPath(-1, -3, path);
  EXPECT_EQ(path, "Engine.Wall");
  p.GetObjectPath(-1, 2, path);
  EXPECT_EQ(path, "Group.Skin");
  p.GetObjectPath(-1, 0, path);
  EXPECT_EQ(path, "");
  p.GetObjectPath(-1, 40, path);
  EXPECT_EQ(path, "");
  p.GetObjectPath(-1, INT32_MIN, path);
  EXPECT_EQ(path, "");
  EXPECT_THROW(p.GetExport(3), EListError);
  EXPECT_THROW(p.GetImport(-1), EListError);
  EXPECT_EQ(p.OpenCount, 0);
}

TEST(Reader, VersionRulesOfTheHeader) {
  TPackageGUID g{};
  for (int i = 0; i < 16; ++i) g[i] = static_cast<uint8_t>(i * 17);
  RawPackage old = SmallPackage(61);
  old.Heritage = {g, g};
  TUTPackage p(Store(old.Build(), "v61.u"));
  EXPECT_EQ(p.Version, 61);
  EXPECT_EQ(p.Heritage, (std::vector<std::string>{GUIDToString(g), GUIDToString(g)}));
  EXPECT_EQ(p.Exports[1].ObjectNameStr, "Skin");  // names without length bytes

  // The high half of the version word counts: 0x0001003F compares as 68 or more.
  RawPackage high = SmallPackage(68);
  high.Version = 0x0001003F;
  TUTPackage h(Store(high.Build(), "high.u"));
  EXPECT_EQ(h.Version, 0x0001003F);
  EXPECT_TRUE(h.Heritage.empty());
  EXPECT_EQ(h.Exports[1].ObjectNameStr, "Skin");

  // With bit 31 set the word is negative: below 63.
  RawPackage negative = SmallPackage(61);
  negative.Version = static_cast<int32_t>(0x8000003Fu);
  negative.Heritage = {g};
  TUTPackage n(Store(negative.Build(), "negative.u"));
  EXPECT_LT(n.Version, 0);
  EXPECT_EQ(n.Heritage.size(), 1u);
  EXPECT_EQ(n.Names[7].Name, "Skin");
}

TEST(Reader, OpenCloseCountAndPushedStreams) {
  const std::string file = Store(SmallPackage().Build(), "streams.u");
  TUTPackage p(file);
  p.Open();
  p.Open();
  TStream* fileStream = p.Stream;
  ASSERT_NE(fileStream, nullptr);
  p.Close();
  EXPECT_EQ(p.Stream, fileStream);  // still open
  p.Seek(0);
  EXPECT_EQ(static_cast<uint32_t>(p.ReadDWord()), UT_PACKAGE_SIGNATURE);

  TMemoryStream a(std::vector<uint8_t>{0x05, 0x41, 0x42, 0x00, 0x43});
  TMemoryStream b(std::vector<uint8_t>{0x7F});
  p.PushStream(&a);
  p.PushStream(&b);
  EXPECT_EQ(p.ReadCompactIndex(), 63);
  EXPECT_EQ(p.ReadByte(), 0);  // past the end: zero
  p.PopStream();
  EXPECT_EQ(p.Stream, &a);
  EXPECT_EQ(p.ReadShortString(), std::string("AB\0C\0", 5));  // length 5, only 4 bytes left
  p.PopStream();
  EXPECT_EQ(p.Stream, fileStream);  // the second push did not lose the file stream
  p.Close();
  EXPECT_EQ(p.OpenCount, 0);
  EXPECT_EQ(p.Stream, nullptr);
  p.Close();  // an extra close changes nothing
  EXPECT_EQ(p.OpenCount, 0);

  // A file that cannot be opened leaves the count as it was.
  TUTPackage missing;
  missing.FileName = file + ".gone";
  EXPECT_THROW(missing.Open(), Exception);
  EXPECT_EQ(missing.OpenCount, 0);
  EXPECT_EQ(missing.ReadDWord(), 0);  // no stream: zeros
  EXPECT_EQ(missing.ReadASCIIZ(), "");
}

// Loaded from memory, a package reads its object data from the bytes it keeps, exactly as one
// loaded from its file reads them from the file.
TEST(Reader, APackageInMemoryReadsLikeItsFile) {
  TProjectFixture f = OneSkinExample();
  f.Bitmaps[0]->SetSize(8, 4);
  std::vector<uint8_t> bytes = BuildTexturePackage(f.Project).Utx;
  TUTPackage file(Store(bytes, "same.utx")), memory;
  memory.LoadFromMemory(bytes, "same.utx");
  std::fill(bytes.begin(), bytes.end(), 0);  // the package keeps its own copy
  ASSERT_EQ(memory.GetExportCount(), file.GetExportCount());
  ASSERT_GT(memory.GetExportCount(), 0);
  for (int32_t i = 0; i < file.GetExportCount(); ++i) {
    SCOPED_TRACE(file.GetExport(i).ObjectNameStr);
    EXPECT_EQ(memory.GetExport(i).ObjectNameStr, file.GetExport(i).ObjectNameStr);
    EXPECT_EQ(memory.GetExport(i).ClassNameStr, file.GetExport(i).ClassNameStr);
    if (file.GetExport(i).SerialSize <= 0) continue;
    TUTObjectWithProperties a(&file, i), b(&memory, i);
    a.ReadObject();
    b.ReadObject();
    EXPECT_EQ(b.PropertyCount, a.PropertyCount);
    EXPECT_EQ(b.PropertiesEnd, a.PropertiesEnd);
    EXPECT_EQ(memory.OpenCount, 0);
  }
  // Reads start at the beginning each time the package is opened, as a file opened afresh does.
  memory.Open();
  memory.Seek(8);
  memory.Close();
  memory.Open();
  EXPECT_EQ(static_cast<uint32_t>(memory.ReadDWord()), UT_PACKAGE_SIGNATURE);
  memory.Close();
}

TEST(Reader, FailuresAreReportedAsExceptionProcessing) {
  ExpectLoadFailure((fs::temp_directory_path() / "corvane-no-such-folder" / "does-not-exist.u").string());
  ExpectLoadFailures({'B', 'M', 0, 0, 0, 0, 0, 0}, "not-a-package.u");
  ExpectLoadFailures({}, "empty.u");

  const std::vector<uint8_t> good = SmallPackage().Build();
  struct Patch {
    const char* Name;
    size_t At;
    uint32_t Value;
  };
  const Patch patches[] = {
      {"huge-name-count", 12, 0x7FFFFFFF},      {"negative-name-count", 12, 0x80000000},
      {"name-offset-past-end", 16, 0x00100000}, {"negative-name-offset", 16, 0xFFFFFFFF},
      {"huge-export-count", 20, 0x10000000},    {"export-offset-past-end", 24, static_cast<uint32_t>(good.size() + 1)},
      {"huge-import-count", 28, 0x7FFFFFFF},    {"import-offset-past-end", 32, 0xFFFFFF00},
      {"huge-generation-count", 52, 0x40000000}};
  for (const Patch& pt : patches) {
    std::vector<uint8_t> bad = good;
    RawPackage::Patch(bad, pt.At, pt.Value);
    ExpectLoadFailures(bad, pt.Name);
  }
  RawPackage heritage = SmallPackage(61);
  heritage.Heritage.resize(1);
  std::vector<uint8_t> bad = heritage.Build();
  RawPackage::Patch(bad, 36, 0x01000000);  // heritage count
  ExpectLoadFailures(bad, "huge-heritage-count");
}

TEST(Reader, BadRowsAreRefused) {
  RawPackage outside = SmallPackage();
  outside.Exports[1].OffsetOverride = 100000;
  ExpectLoadFailures(outside.Build(), "data-outside.u");

  RawPackage straddle = SmallPackage();
  straddle.Exports[1].Data.assign(40, 0);
  straddle.Exports[1].OffsetOverride = static_cast<int64_t>(straddle.Build().size()) - 10;  // ends past the end
  ExpectLoadFailures(straddle.Build(), "data-straddles-end.u");

  RawPackage badName = SmallPackage();
  badName.Exports[0].ObjectName = 9;
  ExpectLoadFailures(badName.Build(), "name-index-outside.u");
  RawPackage badImport = SmallPackage();
  badImport.Imports[0].ClassName = -1;
  ExpectLoadFailures(badImport.Build(), "import-name-negative.u");

  // Package references that go round in a circle would never end a path.
  RawPackage cycle = SmallPackage();
  cycle.Exports[0].Package = 2;  // Group in Skin, Skin in Group
  ExpectLoadFailures(cycle.Build(), "export-cycle.u");
  RawPackage self = SmallPackage();
  self.Imports[0].Package = -1;
  ExpectLoadFailures(self.Build(), "import-self.u");
  RawPackage mixed = SmallPackage();
  mixed.Imports[0].Package = 1;   // Engine in export Group
  mixed.Exports[0].Package = -1;  // Group in import Engine
  ExpectLoadFailures(mixed.Build(), "mixed-cycle.u");

  // A compact index whose five bytes carry more than 32 bits.
  std::vector<uint8_t> raw = SmallPackage().Build();
  const uint32_t exportOffset = raw[24] | (raw[25] << 8) | (raw[26] << 16) | (static_cast<uint32_t>(raw[27]) << 24);
  for (int k = 0; k < 5; ++k) raw[exportOffset + k] = 0xFF;
  ExpectLoadFailures(raw, "bad-compact-index.u");
}

TEST(Reader, EveryTruncationOfARealPackageFailsCleanly) {
  TProjectFixture f = OneSkinExample();
  f.Bitmaps[0]->SetSize(8, 4);
  const std::vector<uint8_t> full = BuildTexturePackage(f.Project).Utx;
  ASSERT_NO_THROW(TUTPackage(Store(full, "full.utx")));
  const std::string file = Store({}, "truncated.utx");
  int failures = 0;
  for (size_t len = 0; len < full.size(); ++len) {
    WriteBytes(file, std::vector<uint8_t>(full.begin(), full.begin() + static_cast<long>(len)));
    TUTPackage p;
    try {
      p.LoadFromFile(file);
    } catch (const EReadError& e) {
      ASSERT_EQ(e.Message, "Exception processing " + file);
      ASSERT_TRUE(p.Exports.empty() && p.Names.empty() && p.Imports.empty());
      ++failures;
    }
    ASSERT_EQ(p.OpenCount, 0);
  }
  // The export table is last, so every shorter file lacks part of it.
  EXPECT_EQ(failures, static_cast<int>(full.size()));
}

TEST(Reader, LoadingAgainReplacesTheTables) {
  const std::string a = Store(SmallPackage().Build(), "first.u");
  TProjectFixture f = OneSkinExample();
  f.Bitmaps[0]->SetSize(4, 4);
  const std::string b = Store(BuildTexturePackage(f.Project).Utx, "second.utx");
  TUTPackage p(a);
  p.LoadFromFile(b);
  EXPECT_EQ(p.Names[0].Name, "SkinPack");
  EXPECT_EQ(p.Exports.size(), 3u);
  EXPECT_THROW(p.LoadFromFile(b + ".missing"), EReadError);
  EXPECT_TRUE(p.Exports.empty());
}

// Long chains of packages: a small file must not make the reader build paths of megabytes for
// every row. Real paths are a few names long; a path beyond any real one is refused.
TEST(Reader, PathsTooLongForAnyRealPackageAreRefused) {
  const auto chain = [](int Levels, int Rows, size_t NameLength) {
    RawPackage r;
    r.Names = {"None", std::string(NameLength, 'g')};
    for (int i = 0; i < Levels; ++i) r.Exports.push_back({0, 0, i, 1, 0, {}, -1});  // each in the one before
    for (int i = 0; i < Rows; ++i) r.Exports.push_back({0, 0, Levels, 1, 0, {}, -1});
    return r.Build();
  };
  // Five levels of long names load; their paths are whole.
  TUTPackage ok(Store(chain(5, 2, 60), "chain-short.u"));
  EXPECT_EQ(ok.Exports.back().PackagePath.size(), 5 * 61 - 1);
  ExpectLoadFailures(chain(250, 3000, 200), "chain-long.u");
}
