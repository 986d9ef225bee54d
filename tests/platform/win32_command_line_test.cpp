// The argument text as the updater reads it out of its command line, with this
// program's real module path and with a path that holds blanks, and the options that
// may stand before it.
#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "platform/win32/command_line.h"
#include "wizard/start_options.h"

namespace {

using platform::ArgumentTail;

TEST(ArgumentTail, RealModulePathUnquotedQuotedAndInAnyCase) {
  const std::wstring self = platform::ModulePath();
  ASSERT_GT(self.size(), 3u);
  ASSERT_NE(self.find(L".exe"), std::wstring::npos);
  std::wstring upper = self;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
  EXPECT_EQ(ArgumentTail(self + L" E host/path", self), L"E host/path");
  EXPECT_EQ(ArgumentTail(upper + L" \tF host", self), L"F host");
  EXPECT_EQ(ArgumentTail(L"\"" + self + L"\" E host", self), L"E host");
  EXPECT_EQ(ArgumentTail(self, self), L"");
  EXPECT_EQ(ArgumentTail(self + L"  ", self), L"");
}

TEST(ArgumentTail, UnquotedPathWithBlanks) {
  const std::wstring self = L"C:\\Program Files\\Veloran\\vlrupdate.exe";
  EXPECT_EQ(ArgumentTail(self + L" E host/path", self), L"E host/path");
  EXPECT_EQ(ArgumentTail(L"c:\\program files\\VELORAN\\VLRUPDATE.EXE F x", self), L"F x");
  EXPECT_EQ(ArgumentTail(self, self), L"");
  // The system also starts the program without its extension, or with '/' separators.
  EXPECT_EQ(ArgumentTail(L"C:\\Program Files\\Veloran\\vlrupdate E mirror.example/v", self),
            L"E mirror.example/v");
  EXPECT_EQ(ArgumentTail(L"C:/Program Files/Veloran/vlrupdate.exe F h", self), L"F h");
  EXPECT_EQ(ArgumentTail(L"c:/program files\\veloran/VLRUPDATE F h", self), L"F h");
  EXPECT_EQ(ArgumentTail(L"C:\\Program Files\\Veloran\\vlrupdate", self), L"");
  EXPECT_EQ(ArgumentTail(L"C:\\Program Files\\Veloran\\vlrupdat E h", self),
            L"Files\\Veloran\\vlrupdat E h");
  // Anything else keeps the old rule: the name ends at the first blank.
  EXPECT_EQ(ArgumentTail(self + L"x E host", self), L"Files\\Veloran\\vlrupdate.exex E host");
  EXPECT_EQ(ArgumentTail(L"C:\\Program Files\\Other\\vlrupdate.exe E h", self),
            L"Files\\Other\\vlrupdate.exe E h");
  EXPECT_EQ(ArgumentTail(L"vlrupdate.exe E host", self), L"E host");
  EXPECT_EQ(ArgumentTail(L"vlrupdate E", L""), L"E");
  EXPECT_EQ(ArgumentTail(L"\"C:\\Program Files\\Veloran\\vlrupdate.exe\"E h", self), L"E h");
  EXPECT_EQ(ArgumentTail(L"\"unclosed E h", self), L"");
  EXPECT_EQ(ArgumentTail(L"", self), L"");
}

// The whole command line of this program, as the updater reads it: the options, then
// the text read as it always was (language letter, separator, mirror).
TEST(ArgumentTail, OptionsBeforeTheArgumentText) {
  struct Row {
    const wchar_t* tail;
    bool quiet;
    const wchar_t* log;
    bool bad;
    const wchar_t* rest;
  };
  const Row rows[] = {
      // Command lines of today keep their meaning.
      {L"E host/path", false, L"", false, L"E host/path"},
      {L"F", false, L"", false, L"F"},
      {L"/ host", false, L"", false, L"/ host"},  // English, the mirror "host"
      {L"/quietE host", false, L"", false, L"/quietE host"},
      {L"/q E host", false, L"", false, L"/q E host"},
      {L"/logfile E host", false, L"", false, L"/logfile E host"},
      // The options.
      {L"/quiet E host", true, L"", false, L"E host"},
      {L"/QuIeT F host/path", true, L"", false, L"F host/path"},
      {L"/log:C:\\logs\\vlr.log E host", false, L"C:\\logs\\vlr.log", false, L"E host"},
      {L"/LOG:\"C:\\My Logs\\vlr.log\" /quiet F host", true, L"C:\\My Logs\\vlr.log", false,
       L"F host"},
      {L"/quiet /x E host", true, L"", false, L"/x E host"},
      {L"/quiet", true, L"", false, L""},  // no mirror: refused at start-up
      // "/log:" without a path.
      {L"/log: E host", false, L"", true, L""},
      {L"/log:\"\" E host", false, L"", true, L""},
      {L"/log:\"C:\\unclosed E host", false, L"", true, L""},
      {L"/log:\"C:\\a\"b E host", false, L"", true, L""},
  };
  const std::wstring self = platform::ModulePath();
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(row.tail)));
    const vlr::StartOptions options =
        vlr::ReadStartOptions(ArgumentTail(self + L" " + row.tail, self));
    EXPECT_EQ(options.quiet, row.quiet);
    EXPECT_EQ(options.logPath, row.log);
    EXPECT_EQ(options.bad, row.bad);
    EXPECT_EQ(options.rest, row.rest);
  }
}

}  // namespace
