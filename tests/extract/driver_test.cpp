// UnzipArchive and CallUnzipDll against the recording stand-in of the library: the
// bytes of every record the library receives, the results, and the procedures
// called back through the callback record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "extract/unzip_callbacks.h"
#include "extract/unzip_driver.h"
#include "extract/unzip_records.h"
#include "platform/library.h"
#include "platform/text.h"
#include "tests/extract/extract_fixture.h"
#include "tests/extract/recording_unzip32.h"
#include "tests/support/test_paths.h"

namespace {

std::wstring BinFolder(const std::string& name) {
  return platform::FromAnsi(vlrtest::BinDir()) + platform::kPathSeparator +
         platform::FromAnsi(name);
}

std::wstring LibraryIn(const std::string& folder) {
  return BinFolder(folder) + platform::kPathSeparator + platform::SharedLibraryFileName(L"unzip32");
}

std::int32_t Int32At(const unsigned char* bytes, size_t offset) {
  std::int32_t v;
  std::memcpy(&v, bytes + offset, sizeof v);
  return v;
}

template <class T>
T FieldOf(const unsigned char* bytes, size_t offset) {
  T v;
  std::memcpy(&v, bytes + offset, sizeof v);
  return v;
}

// The stand-in's log, reached through the stand-in itself.
RecordingLog* LogOf(platform::DynamicLibrary& library, const std::string& folder) {
  if (!library.Load(LibraryIn(folder))) return nullptr;
  auto logFn = reinterpret_cast<RecordingUnzipLogFn>(library.Symbol("RecordingUnzipLog"));
  if (!logFn) return nullptr;
  RecordingLog* log = logFn();
  std::memset(log, 0, sizeof *log);
  return log;
}

class DriverTest : public vlrtest::ExtractTest {
 protected:
  void SetUp() override {
    system.updaterFolder = BinFolder("recording");
    log = LogOf(library, "recording");
    ASSERT_NE(log, nullptr) << "recording stand-in not found beside the test";
  }

  RecordingAction& AddAction(RecordingActionKind kind, const std::string& text = {},
                             std::int32_t length = 0) {
    RecordingAction& a = log->actions[log->actionCount++];
    a.kind = kind;
    a.length = length;
    std::strncpy(a.text, text.c_str(), sizeof a.text - 1);
    return a;
  }

  RecordingAction& AddMessage(const std::string& name, std::uint32_t size) {
    RecordingAction& a = AddAction(kRecordMessage, name);
    const std::uint32_t values[8] = {size, size / 2, 50, 1, 3, 2004, 9, 5};
    std::memcpy(a.values, values, sizeof values);
    return a;
  }

  const std::wstring zipPath = L"pkg dir" + std::wstring(1, platform::kPathSeparator) +
                               L"vlr753 d\u00e9j\u00e0.zip";
  const std::wstring folder = L"Veloran" + std::wstring(1, platform::kPathSeparator);
  platform::DynamicLibrary library;
  RecordingLog* log = nullptr;
};

TEST_F(DriverTest, OptionRecordGoesOutWithOneAtOffsets8And40AndTheAnsiPaths) {
  EXPECT_TRUE(vlr::UnzipArchive(zipPath, folder));
  ASSERT_EQ(log->unzipCalls, 1);
  for (size_t i = 0; i < 60; ++i) {
    EXPECT_EQ(log->options[i], (i == 8 || i == 40) ? 1 : 0) << "offset " << i;
  }
  EXPECT_EQ(Int32At(log->options, 8), 1);   // ask before overwriting
  EXPECT_EQ(Int32At(log->options, 40), 1);  // always overwrite
  EXPECT_NE(FieldOf<char*>(log->options, offsetof(UnzipOptionsRecord, ZipFileName)), nullptr);
  EXPECT_NE(FieldOf<char*>(log->options, offsetof(UnzipOptionsRecord, ExtractFolder)), nullptr);
  EXPECT_EQ(std::string(log->zipFileName), platform::ToAnsi(zipPath));
  EXPECT_EQ(std::string(log->extractFolder), platform::ToAnsi(folder));
#if UINTPTR_MAX == 0xFFFFFFFFu
  EXPECT_EQ(sizeof log->options, 68u);
  EXPECT_EQ(offsetof(UnzipOptionsRecord, ZipFileName), 60u);
  EXPECT_EQ(offsetof(UnzipOptionsRecord, ExtractFolder), 64u);
#endif
}

TEST_F(DriverTest, UnzipArchiveSetsTheRunStateAndLeavesItsArgumentsAlone) {
  vlr::PrintText = L"old print";
  vlr::ListedCount = 9;
  EXPECT_TRUE(vlr::UnzipArchive(zipPath, folder));
  EXPECT_EQ(vlr::ZipFileName, zipPath);
  EXPECT_EQ(vlr::ExtractFolder, folder);
  EXPECT_TRUE(vlr::PrintText.empty());
  EXPECT_EQ(vlr::ListedCount, 0);
  std::array<std::int16_t, 15> expected{};
  expected[2] = expected[10] = 1;
  EXPECT_EQ(vlr::UnzipSettings, expected);
}

TEST_F(DriverTest, SixteenBitSettingsGoOutSignExtended) {
  vlr::UnzipSettings[3] = -2;
  vlr::UnzipSettings[14] = -32768;
  vlr::UnzipSettings[0] = 32767;
  EXPECT_EQ(vlr::CallUnzipDll(), 0);
  EXPECT_EQ(Int32At(log->options, 12), -2);
  EXPECT_EQ(Int32At(log->options, 56), -32768);
  EXPECT_EQ(Int32At(log->options, 0), 32767);
}

TEST_F(DriverTest, NameListsGoOutAsHundredNullEntriesWithCountsZero) {
  vlr::IncludeNames.Names[0] = L"left from before";
  vlr::ExcludeNames.Names[0] = L"";
  vlr::IncludeCount = 3;
  vlr::ExcludeCount = -1;
  EXPECT_TRUE(vlr::UnzipArchive(zipPath, folder));
  EXPECT_EQ(log->includeCount, 0);
  EXPECT_EQ(log->excludeCount, 0);
  for (size_t i = 0; i < sizeof(UnzipNameListRecord); ++i) {
    ASSERT_EQ(log->includeNames[i], 0) << i;
    ASSERT_EQ(log->excludeNames[i], 0) << i;
  }
  EXPECT_FALSE(vlr::IncludeNames.Names[0].has_value());
  EXPECT_FALSE(vlr::ExcludeNames.Names[0].has_value());
#if UINTPTR_MAX == 0xFFFFFFFFu
  EXPECT_EQ(sizeof(UnzipNameListRecord), 400u);
#endif
}

TEST_F(DriverTest, NameEntriesGoOutAsAnsiStringsAndTheNullStringAsANullPointer) {
  vlr::IncludeNames.Names[1] = L"";
  vlr::IncludeNames.Names[2] = L"caf\u00e9.txt";
  vlr::IncludeCount = 2;
  EXPECT_EQ(vlr::CallUnzipDll(), 0);
  EXPECT_EQ(log->includeCount, 2);
  EXPECT_EQ(log->includeIsNull[0], 1);
  EXPECT_EQ(log->includeIsNull[1], 0);
  EXPECT_EQ(std::string(log->includeText[1]), "");
  EXPECT_EQ(log->includeIsNull[2], 0);
  EXPECT_EQ(std::string(log->includeText[2]), platform::ToAnsi(L"caf\u00e9.txt"));
  EXPECT_EQ(log->includeIsNull[3], 1);
  // Copied back unchanged: the null entry stays null, the empty one empty.
  EXPECT_FALSE(vlr::IncludeNames.Names[0].has_value());
  EXPECT_EQ(vlr::IncludeNames.Names[1], std::optional<std::wstring>(L""));
  EXPECT_EQ(vlr::IncludeNames.Names[2], std::optional<std::wstring>(L"caf\u00e9.txt"));
}

TEST_F(DriverTest, VersionRecordGoesOutAs64WithBlankTextsWhateverTheLastCallLeft) {
  UnzipVersionRecord answer;
  std::memset(&answer, 'Z', sizeof answer);  // texts without any zero byte
  answer.StructLength = 999;
  answer.Flags = 0xA5C3u;
  answer.UnzipVersion = {5, 4, 2, 0};
  answer.WindowsDllVersion = {1, 2, 3, 4};
  log->versionAnswer = answer;

  for (int call = 1; call <= 2; ++call) {
    EXPECT_TRUE(vlr::UnzipArchive(zipPath, folder));
    ASSERT_EQ(log->versionCalls, call);
    const unsigned char* r = log->versionReceived;
    EXPECT_EQ(Int32At(r, 0), 64);
    EXPECT_EQ(FieldOf<std::uint32_t>(r, 4), call == 1 ? 0u : 0xA5C3u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r) + 8, 10), std::string(9, ' ') + '\0');
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r) + 18, 20),
              std::string(19, ' ') + '\0');
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r) + 38, 10), std::string(9, ' ') + '\0');
    const unsigned char first[4] = {0, 0, 0, 0};
    const unsigned char unzip[4] = {5, 4, 2, 0};
    const unsigned char dll[4] = {1, 2, 3, 4};
    const unsigned char untouched[4] = {'Z', 'Z', 'Z', 'Z'};
    EXPECT_EQ(std::memcmp(r + 48, call == 1 ? first : unzip, 4), 0);
    EXPECT_EQ(std::memcmp(r + 52, call == 1 ? first : untouched, 4), 0);
    EXPECT_EQ(std::memcmp(r + 60, call == 1 ? first : dll, 4), 0);

    // The answer is kept in the module's record, texts at their fixed lengths.
    EXPECT_EQ(vlr::UnzipVersionInfo.StructLength, 999u);
    EXPECT_EQ(vlr::UnzipVersionInfo.Flags, 0xA5C3u);
    EXPECT_EQ(vlr::UnzipVersionInfo.BetaLevel, std::wstring(10, L'Z'));
    EXPECT_EQ(vlr::UnzipVersionInfo.Date, std::wstring(20, L'Z'));
    EXPECT_EQ(vlr::UnzipVersionInfo.WindowsDllVersion.Patch, 3);
  }
}

TEST_F(DriverTest, CallbackRecordIsHandedInPlaceWithTheFiveProcedures) {
  log->answerMemberCount = 7;
  EXPECT_TRUE(vlr::UnzipArchive(zipPath, folder));
  EXPECT_EQ(log->callbacksAddress, &vlr::UnzipCallbacks);
  UnzipCallbacksRecord received;
  std::memcpy(&received, log->callbacks, sizeof received);
  EXPECT_EQ(received.Print, &vlr::OnUnzipPrint);
  EXPECT_EQ(received.Sound, nullptr);
  EXPECT_EQ(received.Replace, &vlr::OnUnzipReplace);
  EXPECT_EQ(received.Password, &vlr::OnUnzipPassword);
  EXPECT_EQ(received.Message, &vlr::OnUnzipMessage);
  EXPECT_EQ(received.Service, &vlr::OnUnzipService);
  EXPECT_EQ(received.MemberCount, 0);
  EXPECT_EQ(vlr::UnzipCallbacks.MemberCount, 7);  // written in place

  // The totals the library left are carried into the next call.
  EXPECT_TRUE(vlr::UnzipArchive(zipPath, folder));
  std::memcpy(&received, log->callbacks, sizeof received);
  EXPECT_EQ(received.MemberCount, 7);
#if UINTPTR_MAX == 0xFFFFFFFFu
  EXPECT_EQ(sizeof received, 44u);
  EXPECT_EQ(FieldOf<std::uintptr_t>(log->callbacks, 0),
            vlr::FnPtr(reinterpret_cast<std::uintptr_t>(&vlr::OnUnzipPrint)));
  EXPECT_EQ(FieldOf<std::uintptr_t>(log->callbacks, 4), 0u);
  EXPECT_EQ(FieldOf<std::uintptr_t>(log->callbacks, 20),
            reinterpret_cast<std::uintptr_t>(&vlr::OnUnzipService));
#endif
}

TEST_F(DriverTest, OnlyResultZeroIsSuccess) {
  for (std::int32_t result : {0, 1, 2, 80, -1, 0x7FFFFFFF}) {
    log->result = result;
    EXPECT_EQ(vlr::UnzipArchive(zipPath, folder), result == 0) << result;
    EXPECT_EQ(vlr::CallUnzipDll(), result);
  }
}

TEST_F(DriverTest, APathWithoutAnExactAnsiFormIsNeverHandedToTheLibrary) {
  // A lone surrogate has a code in no code page, and the path does not exist, so it
  // has no short form either: the library is not asked to extract into a look-alike.
  const std::wstring odd = L"Veloran \xD800" + std::wstring(1, platform::kPathSeparator);
  EXPECT_FALSE(vlr::UnzipArchive(zipPath, odd));
  EXPECT_FALSE(vlr::UnzipArchive(L"pkg \xD800.zip", folder));
  EXPECT_EQ(log->unzipCalls, 0);
  EXPECT_TRUE(vlr::UnzipArchive(zipPath, folder));
  EXPECT_EQ(log->unzipCalls, 1);
}

TEST_F(DriverTest, OptionRecordIsCopiedBackAfterTheCall) {
  log->answerQuiet = 2;
  EXPECT_TRUE(vlr::UnzipArchive(zipPath, folder));
  EXPECT_EQ(vlr::UnzipOptions.Fields[3], 2);
  EXPECT_EQ(vlr::UnzipOptions.Fields[2], 1);
  EXPECT_EQ(vlr::UnzipOptions.ZipFileName, L"Q" + platform::FromAnsi(platform::ToAnsi(zipPath)).substr(1));
  EXPECT_EQ(vlr::UnzipOptions.ExtractFolder, folder);
  EXPECT_EQ(vlr::ZipFileName, zipPath);  // the module's own path is not the copy
}

TEST_F(DriverTest, AMissingLibraryGivesFalseAndIsLookedForAgainNextTime) {
  system.updaterFolder = BinFolder("no-such-folder");
  EXPECT_FALSE(vlr::UnzipArchive(zipPath, folder));
  EXPECT_THROW(vlr::CallUnzipDll(), std::exception);
  EXPECT_EQ(log->versionCalls, 0);
  EXPECT_TRUE(windows.messageBoxes.empty());

  system.updaterFolder = BinFolder("recording");
  EXPECT_TRUE(vlr::UnzipArchive(zipPath, folder));
  EXPECT_EQ(log->unzipCalls, 1);
}

TEST_F(DriverTest, AMissingEntryPointGivesFalseAfterTheVersionCall) {
  platform::DynamicLibrary noEntry;
  RecordingLog* noEntryLog = LogOf(noEntry, "recording-noentry");
  ASSERT_NE(noEntryLog, nullptr);
  EXPECT_EQ(noEntry.Symbol("Wiz_SingleEntryUnzip"), nullptr);
  system.updaterFolder = BinFolder("recording-noentry");
  EXPECT_FALSE(vlr::UnzipArchive(zipPath, folder));
  EXPECT_EQ(noEntryLog->versionCalls, 1);
  EXPECT_EQ(log->versionCalls, 0);
}

TEST_F(DriverTest, TheLibraryCallsTheProceduresThroughTheRecord) {
  AddAction(kRecordPrint, "Archive:  vlr753.zip", 20);
  AddAction(kRecordPrint, "\n  inflating: readme.txt", 23);
  AddMessage("readme.txt", 512);
  AddAction(kRecordReplace, "Veloran/readme.txt");
  AddAction(kRecordPassword, "", 257);
  AddAction(kRecordService, "readme.txt", 5);
  windows.messageBoxAnswers = {platform::kIdYes};
  windows.inputBoxAnswers = {std::wstring(L"pw")};
  log->result = 0;

  EXPECT_TRUE(vlr::UnzipArchive(zipPath, folder));
  EXPECT_EQ(vlr::PrintText, L"Archive:  vlr753.zip\r\n");
  EXPECT_EQ(vlr::ListedCount, 1);
  EXPECT_EQ(vlr::ListingText.substr(82, 80),
            L"readme.txt" + std::wstring(40, L' ') + L"    512  01/03/04   9:05      ");
  EXPECT_EQ(log->actions[0].result, 0);
  EXPECT_EQ(log->actions[3].result, 102);
  ASSERT_EQ(windows.messageBoxes.size(), 1u);
  EXPECT_EQ(windows.messageBoxes[0].text, L"Overwrite Veloran/readme.txt?");
  EXPECT_EQ(log->actions[4].result, 0);
  EXPECT_EQ(std::string(log->actions[4].buffer, 3), std::string("pw\0", 3));
  EXPECT_EQ(log->actions[5].result, 0);
}

TEST_F(DriverTest, ASecondRunStartsItsListingAgainButAPasswordStaysDeclined) {
  AddAction(kRecordPrint, "first run", 9);
  AddMessage("one.txt", 1);
  AddMessage("two.txt", 2);
  AddAction(kRecordPassword, "", 257);
  windows.inputBoxAnswers = {std::wstring()};
  EXPECT_TRUE(vlr::UnzipArchive(zipPath, folder));
  EXPECT_EQ(vlr::ListedCount, 2);
  EXPECT_EQ(log->actions[3].result, 1);
  EXPECT_EQ(vlr::PasswordDeclined, 1);

  log->actionCount = 0;
  AddAction(kRecordPrint, "second run", 10);
  AddMessage("three.txt", 3);
  AddAction(kRecordPassword, "", 257);
  windows.inputBoxAnswers = {std::wstring(L"now I know it")};
  EXPECT_TRUE(vlr::UnzipArchive(zipPath, folder));
  EXPECT_EQ(vlr::PrintText, L"second run");
  EXPECT_EQ(vlr::ListedCount, 1);
  ASSERT_EQ(vlr::ListingText.size(), 2 * 82u);
  EXPECT_EQ(vlr::ListingText.substr(0, 9), L"Filename:");
  EXPECT_EQ(vlr::ListingText.substr(82, 9), L"three.txt");
  EXPECT_EQ(log->actions[2].result, 1);
  EXPECT_EQ(windows.inputBoxes.size(), 1u);  // not asked again
}

}  // namespace
