// Start-up: the command line's grammar, the language, and the ways start-up ends.
#include <gtest/gtest.h>

#include "tests/support/wizard_fixture.h"
#include "mirror/built_in_mirrors.h"

namespace {

using vlrtest::WizardTest;

struct GrammarRow {
  const wchar_t* arguments;
  int french;
  const wchar_t* site;
};

class StartupTest : public WizardTest {};

TEST_F(StartupTest, CommandLineGrammar) {
  const GrammarRow rows[] = {
      {L"F", 1, L""},
      {L"f", 1, L""},
      {L"E", 0, L""},
      {L"1", 0, L""},
      {L" ", 0, L""},
      {L"F ", 1, L""},
      {L"Fx", 1, L""},
      {L"F a", 1, L"a"},
      {L"F mirror.test/vlr", 1, L"mirror.test/vlr"},
      {L"E mirror.test/vlr", 0, L"mirror.test/vlr"},
      {L"e 127.0.0.1:8080/x", 0, L"127.0.0.1:8080/x"},
      // The second character is dropped whatever it is.
      {L"Fmirror.test/vlr", 1, L"irror.test/vlr"},
      // The address is taken unchanged: blanks kept, nothing checked.
      {L"E   two  blanks ", 0, L"  two  blanks "},
      {L"xyhttp://Host/", 0, L"http://Host/"},
  };
  for (const GrammarRow& row : rows) {
    SCOPED_TRACE(testing::Message() << "arguments \"" << platform::ToUtf8(row.arguments) << "\"");
    vlrtest::ResetWizardState();
    vlr::Form1& f = Start(row.arguments);
    EXPECT_FALSE(f.Ended());
    EXPECT_EQ(vlr::IsFrench, row.french);
    EXPECT_EQ(vlr::SiteAddress, row.site);
    EXPECT_EQ(vlr::CurrentStep, 0);
  }
}

TEST_F(StartupTest, EmptyCommandLineEndsAtOnceWithoutAWindow) {
  vlr::Form1& f = Start(L"");
  EXPECT_TRUE(f.Ended());
  EXPECT_EQ(system.endCount, 1);
  EXPECT_FALSE(windows.Shown());
  EXPECT_TRUE(system.started.empty());
  EXPECT_TRUE(windows.messageBoxes.empty());
  // DoStep never ran: the label is as created and the captions are English.
  EXPECT_EQ(f.Label1.Caption(), L"");
  EXPECT_EQ(f.Form.Caption(), L"Veloran Update");
}

TEST_F(StartupTest, AnotherCopyRunningEndsAtOnceWithoutAWindow) {
  system.anotherInstance = true;
  vlr::Form1& f = Start(L"F mirror.test/vlr");
  EXPECT_TRUE(f.Ended());
  EXPECT_EQ(system.endCount, 1);
  EXPECT_FALSE(windows.Shown());
  EXPECT_EQ(vlr::IsFrench, 0);
  EXPECT_EQ(vlr::SiteAddress, L"");
  EXPECT_EQ(f.Form.Caption(), L"Veloran Update");
}

TEST_F(StartupTest, EnglishCaptionsAsLaidOut) {
  vlr::Form1& f = Start(L"E");
  EXPECT_EQ(f.Form.Caption(), L"Veloran Update");
  EXPECT_EQ(f.Command1.Caption(), L"< Previous");
  EXPECT_EQ(f.Command2.Caption(), L"Next >");
  EXPECT_EQ(f.Command3.Caption(), L"Cancel");
}

TEST_F(StartupTest, FrenchCaptionsSetBeforeTheWindowShows) {
  vlr::Form1& f = Start(L"f");
  EXPECT_EQ(f.Form.Caption(), L"Mise-à-jour de Veloran");
  EXPECT_EQ(f.Command1.Caption(), L"< Précédent");
  EXPECT_EQ(f.Command2.Caption(), L"Suivant >");
  EXPECT_EQ(f.Command3.Caption(), L"Annuler");
}

TEST_F(StartupTest, LayoutOfANewWindow) {
  vlr::Form1 f;
  using platform::Twips;
  auto expectControl = [](const platform::Control& c, const platform::Control* container,
                          Twips g, int tab, bool visible, bool enabled) {
    SCOPED_TRACE(c.Name());
    EXPECT_EQ(c.Container(), container);
    EXPECT_EQ(c.Geometry().left, g.left);
    EXPECT_EQ(c.Geometry().top, g.top);
    EXPECT_EQ(c.Geometry().width, g.width);
    EXPECT_EQ(c.Geometry().height, g.height);
    EXPECT_EQ(c.TabIndex(), tab);
    EXPECT_EQ(c.Visible(), visible);
    EXPECT_EQ(c.Enabled(), enabled);
    EXPECT_FALSE(c.Value());
  };
  EXPECT_EQ(f.Form.Geometry().width, 7470);
  EXPECT_EQ(f.Form.Geometry().height, 4875);
  expectControl(f.Frame1, &f.Form, {120, 120, 7215, 4095}, 3, true, true);
  expectControl(f.Frame2, &f.Frame1, {240, 2280, 6735, 1575}, 5, false, true);
  expectControl(f.Option1[0], &f.Frame2, {360, 360, 3135, 255}, 6, true, true);
  expectControl(f.Option1[1], &f.Frame2, {360, 720, 3135, 255}, 7, true, true);
  expectControl(f.Option1[2], &f.Frame2, {360, 1080, 3135, 255}, 8, false, true);
  expectControl(f.Label1, &f.Frame1, {240, 240, 120, 225}, 4, true, true);
  expectControl(f.Command3, &f.Form, {3240, 4440, 1215, 375}, 2, true, true);
  expectControl(f.Command2, &f.Form, {6120, 4440, 1215, 375}, 1, true, true);
  expectControl(f.Command1, &f.Form, {4680, 4440, 1215, 375}, 0, true, false);
  EXPECT_TRUE(f.Label1.AutoSize());
  EXPECT_TRUE(f.Label1.FixedPitchFont());
  EXPECT_EQ(f.Label1.Caption(), L"");
  // The button row: Cancel, Previous, Next, 225 twips apart, Next flush with Frame1.
  EXPECT_EQ(f.Command3.Geometry().left + 1215 + 225, f.Command1.Geometry().left);
  EXPECT_EQ(f.Command1.Geometry().left + 1215 + 225, f.Command2.Geometry().left);
  EXPECT_EQ(f.Command2.Geometry().left + 1215, 120 + 7215);
}

TEST_F(StartupTest, MirrorCaptionsAreHostSlashPath) {
  for (const wchar_t* mirror : vlr::kMirrors) {
    std::wstring m = mirror;
    SCOPED_TRACE(platform::ToUtf8(m));
    EXPECT_NE(m.rfind(L"http://", 0), 0u);
    EXPECT_NE(m.rfind(L"HTTP://", 0), 0u);
    ASSERT_FALSE(m.empty());
    EXPECT_NE(m.back(), L'/');
    size_t slash = m.find(L'/');
    ASSERT_NE(slash, std::wstring::npos);
    EXPECT_GT(slash, 0u);
    EXPECT_LT(slash + 1, m.size());
  }
  vlr::Form1 f;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(f.Option1[i].Caption(), vlr::kMirrors[i]);
}

TEST_F(StartupTest, FirstDisplayShowsStepZeroWithNextFocused) {
  vlr::Form1& f = Start(L"E");
  EXPECT_TRUE(windows.Shown());
  EXPECT_FALSE(f.Command1.Enabled());
  EXPECT_TRUE(f.Command2.Enabled());
  EXPECT_FALSE(f.Frame2.Visible());
  EXPECT_EQ(windows.Focused(), &f.Command2);
  for (auto& option : f.Option1) EXPECT_FALSE(option.Value());
}

TEST_F(StartupTest, ClosingTheWindowEndsWithoutStartingVeloran) {
  vlr::Form1& f = Start(L"E mirror.test/vlr");
  windows.QueueClick(f.Command2);
  windows.QueueClose();
  windows.RunMessageLoop();
  EXPECT_EQ(vlr::CurrentStep, 1);
  EXPECT_FALSE(windows.WindowAlive());
  EXPECT_TRUE(system.started.empty());
  EXPECT_EQ(system.endCount, 0);
}

}  // namespace
