#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ByteReader.h"
#include "platform/Streams.h"
#include "tests/support/Files.h"
#include "tests/support/Scratch.h"

namespace fs = std::filesystem;

using testsupport::ReadText;

TEST(SafeFileStream, ReplacesOnlyOnCommitAndLeavesNoTemporaryFile) {
  const testsupport::TScratchDir scratch("streams");
  const fs::path& dir = scratch.Path();
  fs::path target = dir / "project.cvp";
  WriteFileAtomically(target.string(), std::string("old contents"));
  {
    TSafeFileStream s(target.string());
    s.WriteString("half-written");
    // destroyed without Commit: the old file must survive
  }
  EXPECT_EQ(ReadText(target), "old contents");
  {
    TSafeFileStream s(target.string());
    s.WriteString("new");
    s.Commit();
  }
  EXPECT_EQ(ReadText(target), "new");
  int files = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 1) << "a temporary file was left behind";
}

TEST(SafeFileStream, UnwritableFolderRaisesAndCreatesNothing) {
  EXPECT_THROW(TSafeFileStream("/nonexistent-corvane-dir/x.bin"), EFCreateError);
}

TEST(FileStream, ReadErrorsAreInputOutputErrors) {
  EXPECT_THROW(ReadWholeFile("/nonexistent-corvane-dir/x.bin"), EInOutError);
  try {
    ReadWholeFile("/nonexistent-corvane-file");
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message, "File not found");
  }
  TMemoryStream m;
  m.WriteU16(7);
  m.SetPosition(0);
  uint32_t v;
  EXPECT_THROW(m.ReadBuffer(&v, 4), EReadError);
}

TEST(ByteReader, ChecksEveryReadCountAndIndex) {
  const uint8_t data[] = {0x34, 0x12, 0xFF, 0xFF, 0xFF, 0x7F};
  TByteReader r(data, sizeof data, [](const std::string& m) { throw EInvalidGraphic("test: " + m); });
  EXPECT_EQ(r.U16("version"), 0x1234);
  EXPECT_EQ(r.I32("count"), 0x7FFFFFFF);
  EXPECT_TRUE(r.AtEnd());
  try {
    r.U8("flags");
    FAIL() << "read past the end";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(e.Message.find("flags"), std::string::npos);
  }
  TByteReader r2(data, sizeof data);
  // 0x7FFFFFFF records of 12 bytes cannot fit in 6 bytes, and the product must not overflow.
  EXPECT_THROW(r2.RequireCount(0xFFFFFFFFull, 12, "vertex"), EReadError);
  EXPECT_NO_THROW(r2.RequireCount(3, 2, "words"));
  EXPECT_THROW(r2.CheckIndex(3, 3, "material"), EReadError);
  EXPECT_THROW(r2.CheckIndex(-1, 3, "material"), EReadError);
  EXPECT_THROW(r2.Seek(7, "table"), EReadError);
}

TEST(ByteReader, SubReadsOnlyItsRegionAndRaisesAsItsParent) {
  const uint8_t data[] = {1, 2, 3, 4, 5, 6};
  TByteReader r(data, sizeof data, [](const std::string& m) { throw EInvalidGraphic("test: " + m); });
  r.Skip(1, "lead");
  struct Case {
    uint64_t Offset, Length;
    bool Fits;
  } cases[] = {
      {2, 3, true},  {0, 6, true},  {6, 0, true},
      {7, 0, false}, {4, 3, false}, {2, UINT64_MAX, false},  // offset + length wraps round to a small number
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Offset << "+" << c.Length);
    if (!c.Fits) {
      EXPECT_THROW(r.Sub(c.Offset, c.Length, "chunk"), EInvalidGraphic);
      continue;
    }
    TByteReader sub = r.Sub(c.Offset, c.Length, "chunk");
    EXPECT_EQ(sub.Size(), c.Length);
    if (c.Length) {
      EXPECT_EQ(sub.U8("first"), data[c.Offset]);
    }
    sub.Skip(sub.Remaining(), "rest");
    EXPECT_THROW(sub.U8("past the region"), EInvalidGraphic);
  }
  EXPECT_EQ(r.Pos(), 1u);
}
