// The steps' messages and the button states DoStep leaves, through the buttons a user
// clicks.
#include <gtest/gtest.h>

#include "tests/support/wizard_fixture.h"

namespace {

using vlrtest::WizardTest;

class StepsTest : public WizardTest {};

// Shown as far as the model goes: visible, and every container visible.
bool ShownInModel(const platform::Control& control) {
  for (const platform::Control* c = &control; c != nullptr; c = c->Container()) {
    if (!c->Visible()) return false;
  }
  return true;
}

const wchar_t kStep0English[] =
    L"Please close all instances of\r\nVeloran application on this machine\r\n"
    L"or connected trough a LAN!";
const wchar_t kStep0French[] =
    L"Veuillez fermer toutes les instances\r\ndu programme Veloran sur cette machine\r\n"
    L"ou connectées par réseau local!";

TEST_F(StepsTest, StepZeroMessageInBothLanguages) {
  vlr::Form1& en = Start(L"E");
  EXPECT_EQ(en.Label1.Caption(), kStep0English);
  EXPECT_FALSE(en.Command1.Enabled());
  EXPECT_TRUE(en.Command2.Enabled());
  EXPECT_FALSE(en.Frame2.Visible());

  vlrtest::ResetWizardState();
  vlr::Form1& fr = Start(L"F");
  EXPECT_EQ(fr.Label1.Caption(), kStep0French);
}

TEST_F(StepsTest, StepOneMessageTable) {
  struct Row {
    const wchar_t* arguments;
    const wchar_t* message;
  };
  const Row rows[] = {
      {L"E", L"Select a site below\r\nfor your update:"},
      {L"E host.test/path", L"Use\r\nhost.test/path\r\n or select a site below\r\nfor your update:"},
      {L"F", L"Sélectionner un site ci-après\r\npour votre mise-à-jour:"},
      {L"F host.test/path",
       L"Utiliser\r\nhost.test/path\r\n ou sélectionner un site ci-après\r\npour votre mise-à-jour:"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(platform::ToUtf8(row.arguments));
    vlrtest::ResetWizardState();
    vlr::Form1& f = Start(row.arguments);
    ASSERT_TRUE(windows.Click(f.Command2));
    EXPECT_EQ(vlr::CurrentStep, 1);
    EXPECT_EQ(f.Label1.Caption(), row.message);
    EXPECT_TRUE(f.Frame2.Visible());
    EXPECT_TRUE(f.Command1.Enabled());
    EXPECT_EQ(f.Command2.Enabled(), !vlr::SiteAddress.empty());
  }
}

TEST_F(StepsTest, EnglishOffersTwoMirrorsAndFrenchThree) {
  vlr::Form1& en = Start(L"E");
  windows.Click(en.Command2);
  EXPECT_TRUE(ShownInModel(en.Option1[0]));
  EXPECT_TRUE(ShownInModel(en.Option1[1]));
  EXPECT_FALSE(ShownInModel(en.Option1[2]));

  vlrtest::ResetWizardState();
  vlr::Form1& fr = Start(L"F");
  windows.Click(fr.Command2);
  for (auto& option : fr.Option1) EXPECT_TRUE(ShownInModel(option));
  // Once shown it stays shown; only its frame hides it again.
  windows.Click(fr.Command1);
  EXPECT_TRUE(fr.Option1[2].Visible());
  EXPECT_FALSE(ShownInModel(fr.Option1[2]));
}

TEST_F(StepsTest, ClickingAMirrorEnablesNextAndLeavesTheMessage) {
  vlr::Form1& f = Start(L"E");
  windows.Click(f.Command2);
  EXPECT_FALSE(f.Command2.Enabled());
  EXPECT_EQ(windows.Focused(), nullptr);  // Next could not take the focus
  std::wstring before = f.Label1.Caption();
  ASSERT_TRUE(windows.Click(f.Option1[1]));
  EXPECT_EQ(vlr::SiteAddress, f.Option1[1].Caption());
  EXPECT_TRUE(f.Command2.Enabled());
  EXPECT_EQ(f.Label1.Caption(), before);
  EXPECT_TRUE(f.Option1[1].Value());
  // The hidden third option cannot be clicked in English.
  EXPECT_FALSE(windows.Click(f.Option1[2]));
}

TEST_F(StepsTest, ClickedMirrorReplacesTheCommandLineMirrorAndShowsAfterPreviousNext) {
  vlr::Form1& f = Start(L"E cmd.test/vlr");
  windows.Click(f.Command2);
  EXPECT_TRUE(f.Command2.Enabled());
  EXPECT_EQ(windows.Focused(), &f.Command2);
  windows.Click(f.Option1[0]);
  EXPECT_EQ(f.Label1.Caption(),
            L"Use\r\ncmd.test/vlr\r\n or select a site below\r\nfor your update:");
  windows.Click(f.Command1);
  EXPECT_EQ(vlr::CurrentStep, 0);
  EXPECT_EQ(f.Label1.Caption(), kStep0English);
  EXPECT_FALSE(f.Frame2.Visible());
  EXPECT_EQ(vlr::SiteAddress, f.Option1[0].Caption());
  windows.Click(f.Command2);
  EXPECT_EQ(f.Label1.Caption(), L"Use\r\n" + f.Option1[0].Caption() +
                                    L"\r\n or select a site below\r\nfor your update:");
}

TEST_F(StepsTest, ButtonStatesForStepsOutsideTheRange) {
  struct Row {
    std::int16_t step;
    bool site;
    bool previous;
    bool next;
    bool frame;
  };
  const Row rows[] = {
      {0, false, false, true, false}, {1, false, true, false, true}, {1, true, true, true, true},
      {3, true, false, false, false}, {3, false, false, false, false},
      {-1, false, false, true, false}, {-1, true, false, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "step " << row.step << " site " << row.site);
    vlrtest::ResetWizardState();
    vlr::Form1& f = Start(row.site ? L"E host.test/p" : L"E");
    vlr::CurrentStep = row.step;
    f.DoStep();
    EXPECT_EQ(f.Command1.Enabled(), row.previous);
    EXPECT_EQ(f.Command2.Enabled(), row.next);
    EXPECT_EQ(f.Frame2.Visible(), row.frame);
    if (row.step == 3 || row.step == -1) {
      EXPECT_EQ(f.Label1.Caption(), L"");
    }
    EXPECT_EQ(windows.Focused() == &f.Command2, row.next);
  }
}

TEST_F(StepsTest, LabelSizesItselfToItsLines) {
  vlr::Form1& f = Start(L"E");
  // Three lines, the longest "Veloran application on this machine" (35 characters).
  EXPECT_EQ(f.Label1.Geometry().width, 35 * 120);
  EXPECT_EQ(f.Label1.Geometry().height, 3 * 225);
  EXPECT_EQ(f.Label1.Geometry().left, 240);
  EXPECT_EQ(f.Label1.Geometry().top, 240);
  windows.Click(f.Command2);
  EXPECT_EQ(f.Label1.Geometry().height, 2 * 225);
  EXPECT_EQ(f.Label1.Geometry().width, 19 * 120);
}

}  // namespace
