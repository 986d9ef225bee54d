// Cancel / Finish: starting Veloran and ending, or stopping a running download.
#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/support/wizard_fixture.h"

namespace {

using vlrtest::WizardTest;

class Command3Test : public WizardTest {};

std::wstring Expected(const wchar_t* folder, const wchar_t* exe) {
  return std::wstring(folder) + platform::kPathSeparator + exe;
}

TEST_F(Command3Test, CancelInEachStepStartsVeloranAndEnds) {
  for (int step = 0; step < 2; ++step) {
    for (const wchar_t* language : {L"E site.test/v", L"F site.test/v"}) {
      SCOPED_TRACE(testing::Message() << "step " << step << " " << platform::ToUtf8(language));
      vlrtest::ResetWizardState();
      system.started.clear();
      system.endCount = 0;
      vlr::Form1& f = Start(language);
      if (step == 1) windows.Click(f.Command2);
      ASSERT_TRUE(windows.Click(f.Command3));
      ASSERT_EQ(system.started.size(), 1u);
      EXPECT_EQ(system.started[0],
                Expected(L"C:\\Veloran", language[0] == L'F' ? L"vlrmainfr.exe" : L"vlrmain.exe"));
      EXPECT_EQ(system.endCount, 1);
      EXPECT_TRUE(f.Ended());
      EXPECT_FALSE(windows.WindowAlive());
      EXPECT_TRUE(windows.messageBoxes.empty());
    }
  }
}

TEST_F(Command3Test, FolderAtTheRootIsTakenAsReported) {
  system.updaterFolder = L"C:";
  vlr::Form1& f = Start(L"E");
  windows.Click(f.Command3);
  ASSERT_EQ(system.started.size(), 1u);
  EXPECT_EQ(system.started[0], Expected(L"C:", L"vlrmain.exe"));
}

TEST_F(Command3Test, DuringADownloadOnlyAsksItToStop) {
  vlr::Form1& f = Start(L"E site.test/v");
  windows.Click(f.Command2);
  std::wstring message = f.Label1.Caption();
  vlr::DownloadState = 1;
  f.Command3_Click();
  EXPECT_EQ(vlr::DownloadState, 2);
  f.Command3_Click();
  EXPECT_EQ(vlr::DownloadState, 2);
  EXPECT_TRUE(system.started.empty());
  EXPECT_EQ(system.endCount, 0);
  EXPECT_TRUE(windows.WindowAlive());
  EXPECT_EQ(f.Label1.Caption(), message);
  EXPECT_EQ(f.Command3.Caption(), L"Cancel");
}

TEST_F(Command3Test, MissingVeloranShowsTheSystemErrorAndEnds) {
  system.startFails = true;
  system.startError = L"The system cannot find the file specified.";
  vlr::Form1& f = Start(L"F");
  windows.Click(f.Command3);
  ASSERT_EQ(windows.messageBoxes.size(), 1u);
  const auto& box = windows.messageBoxes[0];
  EXPECT_NE(box.text.find(L"The system cannot find the file specified."), std::wstring::npos);
  EXPECT_NE(box.text.find(L"vlrmainfr.exe"), std::wstring::npos);
  EXPECT_EQ(box.title, L"Mise-à-jour de Veloran");
  EXPECT_EQ(box.style, platform::kMbOk | platform::kMbIconError);
  EXPECT_TRUE(system.started.empty());
  EXPECT_EQ(system.endCount, 1);
  EXPECT_FALSE(windows.WindowAlive());
}

}  // namespace
