// Traditionally encrypted members: the right password, wrong ones, one that passes the
// check byte but not the CRC, a declined request, no password procedure at all.
#include <gtest/gtest.h>

#include "unzip32_harness.h"

namespace uz32test {
namespace {

struct PasswordCase {
  const char* archive;
  std::vector<std::optional<std::string>> answers;
  int32_t result;
  int asks;
};

std::string WrongPassingCheck() { return ReadText(Fixture("crypto.wrongpass")); }

TEST(Unzip32Passwords, AnswersDecideTheResultAndNothingIsWrittenOnFailure) {
  const std::vector<PasswordCase> cases = {
      // A password that worked is reused: one question for all members.
      {"7z_encrypted.zip", {"Secret123"}, UNZIP_OK, 1},
      {"7z_encrypted.zip", {"nope", "nope", "nope"}, UNZIP_ERR_BAD_PASSWORD, 3},
      {"7z_encrypted.zip", {"nope", "Secret123"}, UNZIP_OK, 2},
      {"7z_encrypted.zip", {std::nullopt}, UNZIP_ERR_BAD_PASSWORD, 1},
      {"crypto.zip", {"right-pass"}, UNZIP_OK, 1},
      // Passes the check byte, fails the CRC: asked again.
      {"crypto.zip", {WrongPassingCheck(), "right-pass"}, UNZIP_OK, 2},
      {"crypto.zip", {WrongPassingCheck(), WrongPassingCheck(), WrongPassingCheck()},
       UNZIP_ERR_BAD_PASSWORD, 3},
      {"crypto_stream.zip", {"right-pass"}, UNZIP_OK, 1},
  };
  for (const PasswordCase& c : cases) {
    SCOPED_TRACE(std::string(c.archive) + " answers " + std::to_string(c.answers.size()));
    Sandbox box("passwords");
    const auto before = box.Snapshot();
    Call call;
    call.calls.passwords.assign(c.answers.begin(), c.answers.end());
    EXPECT_EQ(call.Go(Fixture(c.archive), box.folder()), c.result) << call.calls.printed;
    EXPECT_EQ(call.calls.passwordAsks, c.asks);
    if (c.result != UNZIP_OK) {
      EXPECT_EQ(box.Snapshot(), before);
    } else if (std::string(c.archive) == "7z_encrypted.zip") {
      EXPECT_EQ(ReadText(box.target() / "gamma.txt"), ReadText(Fixture("expect_gamma.txt")));
      EXPECT_EQ(ReadText(box.target() / "beta.bin"), ReadText(Fixture("expect_sub_dir_beta.bin")));
      EXPECT_EQ(call.calls.messages.at(0).encrypted, 'E');
    } else if (std::string(c.archive) == "crypto.zip") {
      EXPECT_EQ(ReadText(box.target() / "plain.txt"), "not encrypted");
      EXPECT_EQ(ReadText(box.target() / "b.txt").size(), 7000u);
    }
  }
}

TEST(Unzip32Passwords, NoPasswordProcedureMeansNoPassword) {
  Sandbox box("nopassword");
  const auto before = box.Snapshot();
  Call call;
  call.callbacks.Password = nullptr;
  EXPECT_EQ(call.Go(Fixture("crypto.zip"), box.folder()), UNZIP_ERR_BAD_PASSWORD);
  EXPECT_EQ(box.Snapshot(), before);
}

}  // namespace
}  // namespace uz32test
