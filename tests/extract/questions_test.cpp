// OnUnzipReplace and OnUnzipPassword: the two questions put to the user.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "extract/unzip_callbacks.h"
#include "platform/text.h"
#include "tests/extract/extract_fixture.h"

namespace {

using platform::kIdCancel;
using platform::kIdNo;
using platform::kIdOk;
using platform::kIdYes;

// A window system whose boxes cannot be shown.
class BrokenBoxes : public platform::HeadlessWindowSystem {
 public:
  int ShowMessageBox(const std::wstring&, const std::wstring&, unsigned) override {
    throw std::runtime_error("no box");
  }
  std::optional<std::wstring> InputBox(const std::wstring&, const std::wstring&,
                                       const std::wstring&) override {
    throw std::runtime_error("no box");
  }
};

using ReplaceTest = vlrtest::ExtractTest;

std::int32_t Replace(std::string name) { return vlr::OnUnzipReplace(name.data()); }

TEST_F(ReplaceTest, YesNoAndCancelGive102And100And104) {
  windows.messageBoxAnswers = {kIdYes, kIdNo, kIdCancel};
  EXPECT_EQ(Replace("C:\\Veloran\\vlrmain.exe"), 102);
  EXPECT_EQ(Replace("a.txt"), 100);
  EXPECT_EQ(Replace("b.txt"), 104);
  ASSERT_EQ(windows.messageBoxes.size(), 3u);
  EXPECT_EQ(windows.messageBoxes[0].text, L"Overwrite C:\\Veloran\\vlrmain.exe?");
  EXPECT_EQ(windows.messageBoxes[0].title, L"VBUnZip32 - File Already Exists!");
  EXPECT_EQ(windows.messageBoxes[0].style, 51u);
  EXPECT_EQ(windows.messageBoxes[2].text, L"Overwrite b.txt?");
}

TEST_F(ReplaceTest, AnyOtherAnswerOrABoxThatCannotBeShownKeepsTheFile) {
  windows.messageBoxAnswers = {kIdOk, 0};
  EXPECT_EQ(Replace("a.txt"), 100);
  EXPECT_EQ(Replace("a.txt"), 100);
  BrokenBoxes broken;
  platform::Use<platform::WindowSystem> useBroken(broken);
  EXPECT_EQ(Replace("a.txt"), 100);
}

TEST_F(ReplaceTest, NameIsReadUpToIndex255) {
  std::vector<char> name(300, 'n');
  name[299] = '\0';
  windows.messageBoxAnswers = {kIdYes};
  EXPECT_EQ(vlr::OnUnzipReplace(name.data()), 102);
  ASSERT_EQ(windows.messageBoxes.size(), 1u);
  EXPECT_EQ(windows.messageBoxes[0].text, L"Overwrite " + std::wstring(256, L'n') + L"?");

  windows.messageBoxAnswers = {kIdNo};
  EXPECT_EQ(vlr::OnUnzipReplace(nullptr), 100);
  EXPECT_EQ(windows.messageBoxes[1].text, L"Overwrite ?");
}

class PasswordTest : public vlrtest::ExtractTest {
 protected:
  // A buffer of 300 bytes filled with 'X', of which the procedure is told `size`.
  std::int32_t Ask(std::int32_t size) {
    buffer.assign(300, 'X');
    return vlr::OnUnzipPassword(buffer.data(), size, "Enter password for member.txt",
                                "member.txt");
  }
  std::vector<char> buffer;
};

TEST_F(PasswordTest, AnAnswerGoesIntoTheBufferWithAZeroByteAndTheRestZeroed) {
  windows.inputBoxAnswers = {std::wstring(L"secret")};
  EXPECT_EQ(Ask(20), 0);
  EXPECT_EQ(std::string(buffer.data(), 6), "secret");
  for (size_t i = 6; i < 20; ++i) EXPECT_EQ(buffer[i], '\0') << i;
  for (size_t i = 20; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 'X') << i;
  ASSERT_EQ(windows.inputBoxes.size(), 1u);
  EXPECT_EQ(windows.inputBoxes[0].prompt, L"Please Enter The Password!");
  EXPECT_EQ(windows.inputBoxes[0].title, L"");
  EXPECT_EQ(windows.inputBoxes[0].defaultText, L"");
  EXPECT_EQ(vlr::PasswordDeclined, 0);
}

TEST_F(PasswordTest, ZeroingStopsAtIndex256WhateverTheSize) {
  windows.inputBoxAnswers = {std::wstring(L"pw")};
  EXPECT_EQ(Ask(300), 0);
  EXPECT_EQ(std::string(buffer.data()), "pw");
  for (size_t i = 2; i <= 256; ++i) ASSERT_EQ(buffer[i], '\0') << i;
  for (size_t i = 257; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 'X') << i;
}

TEST_F(PasswordTest, AnAnswerThatJustFitsIsTaken) {
  windows.inputBoxAnswers = {std::wstring(L"abcd"), std::wstring(256, L'p')};
  EXPECT_EQ(Ask(5), 0);
  EXPECT_EQ(std::string(buffer.data(), 5), std::string("abcd\0", 5));
  EXPECT_EQ(buffer[5], 'X');
  EXPECT_EQ(Ask(300), 0);
  EXPECT_EQ(std::string(buffer.data()), std::string(256, 'p'));
  EXPECT_EQ(buffer[256], '\0');
  EXPECT_EQ(buffer[257], 'X');
}

TEST_F(PasswordTest, AnAnswerTooLongForTheBufferIsRefusedAndTheBufferLeftAlone) {
  windows.inputBoxAnswers = {std::wstring(L"abcd"), std::wstring(257, L'p'),
                             std::wstring(L"ok")};
  EXPECT_EQ(Ask(4), 1);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(300, 'X'));
  EXPECT_EQ(Ask(300), 1);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(300, 'X'));
  // Not a refusal by the user: the next request asks again.
  EXPECT_EQ(vlr::PasswordDeclined, 0);
  EXPECT_EQ(Ask(4), 0);
  EXPECT_EQ(std::string(buffer.data()), "ok");
  EXPECT_EQ(windows.inputBoxes.size(), 3u);
}

TEST_F(PasswordTest, AnAnswerWithoutAnExactSystemCodePageFormIsRefused) {
  // A character that the system code page cannot carry (on Linux, where the code
  // page is UTF-8, a lone surrogate half).
  std::wstring uncodable;
  for (wchar_t c : {L'\u65E5', L'\u0101', static_cast<wchar_t>(0xD800)}) {
    std::wstring s(1, c);
    if (platform::FromAnsi(platform::ToAnsi(s)) != s) {
      uncodable = s;
      break;
    }
  }
  ASSERT_FALSE(uncodable.empty());
  windows.inputBoxAnswers = {L"pass" + uncodable, std::wstring(L"ab\0cd", 5)};
  EXPECT_EQ(Ask(257), 1);
  EXPECT_EQ(Ask(257), 1);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(300, 'X'));
  EXPECT_EQ(vlr::PasswordDeclined, 0);
}

TEST_F(PasswordTest, AnAnswerIsWrittenInTheSystemCodePage) {
  const std::wstring answer = L"caf\u00e9";
  const std::string bytes = platform::ToAnsi(answer);
  windows.inputBoxAnswers = {answer};
  EXPECT_EQ(Ask(257), 0);
  EXPECT_EQ(std::string(buffer.data()), bytes);
}

TEST_F(PasswordTest, AnEmptyOrCancelledAnswerDeclinesForTheRestOfTheProgram) {
  windows.inputBoxAnswers = {std::wstring()};
  EXPECT_EQ(Ask(257), 1);
  EXPECT_EQ(vlr::PasswordDeclined, 1);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(300, 'X'));
  windows.inputBoxAnswers = {std::wstring(L"too late")};
  EXPECT_EQ(Ask(257), 1);
  EXPECT_EQ(windows.inputBoxes.size(), 1u);  // no second box
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(300, 'X'));

  vlrtest::ResetExtractState();
  windows.inputBoxAnswers = {std::nullopt};  // the box cancelled
  EXPECT_EQ(Ask(257), 1);
  EXPECT_EQ(vlr::PasswordDeclined, 1);
  EXPECT_EQ(Ask(257), 1);
  EXPECT_EQ(windows.inputBoxes.size(), 2u);
}

TEST_F(PasswordTest, ABoxThatCannotBeShownGivesNoPassword) {
  BrokenBoxes broken;
  platform::Use<platform::WindowSystem> useBroken(broken);
  EXPECT_EQ(Ask(257), 1);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(300, 'X'));
  // No answer could be had: that counts as declining, so no box is tried again.
  EXPECT_EQ(vlr::PasswordDeclined, 1);
}

TEST_F(PasswordTest, NoBufferOrNoSizeGivesNoPasswordAndWritesNothing) {
  windows.inputBoxAnswers = {std::wstring(L"pw"), std::wstring(L"pw"), std::wstring(L"pw")};
  EXPECT_EQ(vlr::OnUnzipPassword(nullptr, 257, nullptr, nullptr), 1);
  EXPECT_EQ(Ask(0), 1);
  EXPECT_EQ(Ask(-5), 1);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(300, 'X'));
}

// An unattended run shows no box: the overwrite question answers 102 and a password
// request is refused, the buffer untouched, however the boxes would have answered.
TEST_F(PasswordTest, AnUnattendedRunAsksNothing) {
  vlr::Unattended = 1;
  windows.messageBoxAnswers = {kIdNo};
  windows.inputBoxAnswers = {std::wstring(L"pw")};
  EXPECT_EQ(Replace("a.txt"), 102);
  EXPECT_EQ(Ask(257), 1);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(300, 'X'));
  EXPECT_TRUE(windows.messageBoxes.empty());
  EXPECT_TRUE(windows.inputBoxes.empty());
}

}  // namespace
