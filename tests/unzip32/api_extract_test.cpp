// Extraction through the exported interface: archives written by other tools, the
// per-member reports and totals, the version record, the list and test modes, and the
// option values that are refused.
#include <gtest/gtest.h>

#include <cstring>

#include "unzip32_harness.h"

namespace uz32test {
namespace {

const std::map<std::string, std::string> kExpected = {
    {"alpha.txt", "expect_alpha.txt"},
    {"beta.bin", "expect_sub_dir_beta.bin"},
    {"empty.txt", "expect_empty.txt"},
    {"gamma.txt", "expect_gamma.txt"},
};

uint32_t Crc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

// The tree after a good extraction: the sentinels untouched, the four members added.
void ExpectGoodExtraction(const Sandbox& box, std::map<std::string, std::string> before) {
  auto after = box.Snapshot();
  for (const auto& [file, expect] : kExpected) {
    EXPECT_EQ(ReadText(box.target() / file), ReadText(Fixture(expect))) << file;
    EXPECT_EQ(after.erase("target/" + file), 1u) << file;
  }
  EXPECT_EQ(after, before);
}

class GoodArchive : public ::testing::TestWithParam<const char*> {};

TEST_P(GoodArchive, ExtractsEveryFileStraightIntoTheFolder) {
  Sandbox box("good");
  const auto before = box.Snapshot();
  Call call;
  ASSERT_EQ(call.Go(Fixture(GetParam()), box.folder()), UNZIP_OK) << call.calls.printed;
  ExpectGoodExtraction(box, before);
  ASSERT_EQ(call.calls.messages.size(), kExpected.size());
  for (const Message& m : call.calls.messages) {
    const std::string base = std::string(m.name).substr(std::string(m.name).rfind('/') + 1);
    const std::string content = ReadText(Fixture(kExpected.at(base)));
    EXPECT_EQ(m.size, content.size()) << m.name;
    EXPECT_EQ(m.crc, Crc32(content)) << m.name;
    EXPECT_EQ(m.encrypted, ' ');
  }
  EXPECT_EQ(call.calls.serviced.size(), kExpected.size());
}

INSTANTIATE_TEST_SUITE_P(Unzip32, GoodArchive,
                         ::testing::Values("py_stored.zip", "py_deflated.zip", "py_zip64.zip",
                                           "py_streamed.zip", "bsdtar.zip", "bsdtar_stored.zip",
                                           "forge_zip64.zip", "forge_nosig_descriptor.zip",
                                           "forge_sfx.zip"));

TEST(Unzip32Reports, MessagesTotalsAndPrintedLinesDescribeTheArchive) {
  Sandbox box("reports");
  Call call;
  call.options.DisplayComment = 1;
  ASSERT_EQ(call.Go(Fixture("py_deflated.zip"), box.folder()), UNZIP_OK);
  const Message& alpha = call.calls.messages.at(0);
  EXPECT_STREQ(alpha.name.c_str(), "alpha.txt");
  EXPECT_EQ(alpha.method, "Defl:N");
  EXPECT_EQ((std::vector<uint32_t>{alpha.month, alpha.day, alpha.year, alpha.hour, alpha.minute}),
            (std::vector<uint32_t>{1, 3, 2004, 9, 5}));
  EXPECT_GT(alpha.factor, 0u);
  EXPECT_EQ(call.calls.messages.at(1).name, "sub/dir/beta.bin");

  EXPECT_EQ(call.callbacks.MemberCount, 5);  // the folder entry counts
  EXPECT_EQ(call.callbacks.TotalUncompressedSize, 3000 + 70000 + 0 + 300000);
  EXPECT_GT(call.callbacks.TotalCompressedSize, 0);
  EXPECT_LT(call.callbacks.TotalCompressedSize, call.callbacks.TotalUncompressedSize);
  EXPECT_EQ(call.callbacks.CommentLength, 20);

  EXPECT_NE(call.calls.printed.find("Archive:  "), std::string::npos);
  EXPECT_NE(call.calls.printed.find("inflating: alpha.txt\n"), std::string::npos);
  EXPECT_NE(call.calls.printed.find("Veloran update 7.5.3\n"), std::string::npos);
}

TEST(Unzip32Reports, QuietLevelsSilenceThePrintProcedureOnly) {
  for (int quiet : {1, 2}) {
    Sandbox box("quiet");
    Call call;
    call.options.Quiet = quiet;
    ASSERT_EQ(call.Go(Fixture("py_deflated.zip"), box.folder()), UNZIP_OK);
    EXPECT_EQ(call.calls.printCalls, 0) << call.calls.printed;
    EXPECT_EQ(call.calls.messages.size(), 4u);
  }
  Call failing;
  failing.options.Quiet = 1;
  Sandbox box("quiet");
  EXPECT_EQ(failing.Go(Fixture("bad_crc_last.zip"), box.folder()), UNZIP_ERR_FORMAT);
  EXPECT_NE(failing.calls.printed.find("error: three.txt: bad CRC"), std::string::npos)
      << failing.calls.printed;
}

TEST(Unzip32Reports, MissingProceduresAreSkipped) {
  Sandbox box("noprocs");
  Call call;
  call.callbacks = UnzipCallbacksRecord{};
  ASSERT_EQ(call.Go(Fixture("py_deflated.zip"), box.folder()), UNZIP_OK);
  EXPECT_EQ(call.callbacks.MemberCount, 5);
  EXPECT_EQ(ReadText(box.target() / "alpha.txt"), ReadText(Fixture("expect_alpha.txt")));
}

TEST(Unzip32Version, FillsTheFixedLengthRecordOnly) {
  ASSERT_TRUE(VersionFunction());
  UnzipVersionRecord v{};
  v.StructLength = 64;
  std::memset(v.BetaLevel, ' ', 9);
  std::memset(v.Date, ' ', 19);
  std::memset(v.ZlibVersion, ' ', 9);
  VersionFunction()(&v);
  EXPECT_EQ(v.StructLength, 64u);
  EXPECT_EQ(std::string(v.ZlibVersion).substr(0, 2), "1.");
  EXPECT_EQ(std::string(v.BetaLevel), "");
  EXPECT_EQ(v.Date[sizeof v.Date - 1], '\0');
  EXPECT_EQ(v.UnzipVersion.Major, 1);
  EXPECT_EQ(v.WindowsDllVersion.Major, 1);

  UnzipVersionRecord shortRecord{};
  shortRecord.StructLength = 60;
  VersionFunction()(&shortRecord);
  EXPECT_EQ(shortRecord.UnzipVersion.Major, 0);
  VersionFunction()(nullptr);  // must not crash
}

TEST(Unzip32Modes, ListingReportsEveryEntryAndWritesNothing) {
  Sandbox box("listing");
  const auto before = box.Snapshot();
  Call call;
  call.options.VerboseListing = 1;
  ASSERT_EQ(call.Go(Fixture("py_stored.zip"), box.folder()), UNZIP_OK);
  ASSERT_EQ(call.calls.messages.size(), 5u);
  EXPECT_EQ(call.calls.messages[0].name, "sub/");
  EXPECT_EQ(call.calls.messages[4].size, 300000u);
  EXPECT_EQ(call.calls.messages[4].method, "Stored");
  EXPECT_EQ(box.Snapshot(), before);
}

TEST(Unzip32Modes, TestingChecksEveryMemberAndWritesNothing) {
  Sandbox box("testing");
  const auto before = box.Snapshot();
  Call good;
  good.options.TestArchive = 1;
  EXPECT_EQ(good.Go(Fixture("py_deflated.zip"), ""), UNZIP_OK);
  EXPECT_EQ(good.calls.messages.size(), 4u);
  Call bad;
  bad.options.TestArchive = 1;
  EXPECT_EQ(bad.Go(Fixture("bad_crc_last.zip"), box.folder()), UNZIP_ERR_FORMAT);
  EXPECT_EQ(box.Snapshot(), before);
}

TEST(Unzip32Options, ValuesThatAreNotImplementedAreRefusedBeforeAnythingHappens) {
  using Field = int32_t UnzipOptionsRecord::*;
  const std::vector<std::pair<Field, int32_t>> refused = {
      {&UnzipOptionsRecord::ExtractOnlyNewer, 2},  {&UnzipOptionsRecord::SpaceToUnderscore, 2},
      {&UnzipOptionsRecord::WriteStdout, 1},       {&UnzipOptionsRecord::FreshenOnly, 2},
      {&UnzipOptionsRecord::RecreateFolders, 2},   {&UnzipOptionsRecord::TranslateLineEnds, 1},
      {&UnzipOptionsRecord::ZipInfoListing, 1},    {&UnzipOptionsRecord::IgnoreCase, 2},
      {&UnzipOptionsRecord::RestoreAcl, 2},        {&UnzipOptionsRecord::Quiet, 3},
      {&UnzipOptionsRecord::OverwriteAll, 2},      {&UnzipOptionsRecord::PromptToOverwrite, -1},
      {&UnzipOptionsRecord::TestArchive, 7},
  };
  Sandbox box("options");
  const auto before = box.Snapshot();
  for (const auto& [field, value] : refused) {
    Call call;
    call.options.*field = value;
    EXPECT_EQ(call.Go(Fixture("py_deflated.zip"), box.folder()), UNZIP_ERR_BAD_OPTIONS) << value;
    EXPECT_NE(call.calls.printed.find("not supported"), std::string::npos);
    EXPECT_TRUE(call.calls.messages.empty());
    EXPECT_EQ(call.callbacks.MemberCount, 0);
  }
  Call both;
  both.options.TestArchive = both.options.VerboseListing = 1;
  EXPECT_EQ(both.Go(Fixture("py_deflated.zip"), box.folder()), UNZIP_ERR_BAD_OPTIONS);
  Call names;
  names.includeCount = 1;
  EXPECT_EQ(names.Go(Fixture("py_deflated.zip"), box.folder()), UNZIP_ERR_BAD_OPTIONS);
  Call noFolder;
  EXPECT_EQ(noFolder.Go(Fixture("py_deflated.zip"), ""), UNZIP_ERR_BAD_OPTIONS);
  EXPECT_EQ(box.Snapshot(), before);
}

TEST(Unzip32Options, MissingArchiveOrFolder) {
  Sandbox box("missing");
  const auto before = box.Snapshot();
  Call noArchive;
  EXPECT_EQ(noArchive.Go(Fixture("no-such.zip"), box.folder()), UNZIP_ERR_NOT_FOUND);
  Call noFolder;
  EXPECT_EQ(noFolder.Go(Fixture("py_deflated.zip"), (box.target() / "absent").string()),
            UNZIP_ERR_DISK_FULL);
  EXPECT_EQ(box.Snapshot(), before);
}

#ifndef _WIN32
TEST(Unzip32Options, AFolderReachedThroughASymbolicLinkIsAFolder) {
  Sandbox box("linked");
  fs::create_directory_symlink(box.target(), box.root() / "link");
  Call call;
  ASSERT_EQ(call.Go(Fixture("small.zip"), (box.root() / "link").string()), UNZIP_OK)
      << call.calls.printed;
  EXPECT_EQ(ReadText(box.target() / "s1.txt"), "small one");
}
#endif

TEST(Unzip32Names, Utf8AndCodePage437NamesBecomeTheRightFileNames) {
  Sandbox box("unicode");
  Call call;
  ASSERT_EQ(call.Go(Fixture("unicode.zip"), box.folder()), UNZIP_OK) << call.calls.printed;
  EXPECT_EQ(ReadText(box.target() / fs::path(u8"caf\u00e9.txt")), "utf8 name");
  EXPECT_EQ(ReadText(box.target() / fs::path(u8"na\u00e4ve.txt")), "cp437 name");
}

}  // namespace
}  // namespace uz32test
