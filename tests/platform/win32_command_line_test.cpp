// The argument text as the updater reads it out of its command line, with this
// program's real module path and with a path that holds blanks.
#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "platform/win32/command_line.h"

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

}  // namespace
