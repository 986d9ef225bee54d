#include "password_keeper.h"

#include <algorithm>

namespace uz32 {
namespace {

bool Contains(const std::vector<std::string>& list, const std::string& s) {
  return std::find(list.begin(), list.end(), s) != list.end();
}

}  // namespace

PasswordKeeper::~PasswordKeeper() {
  for (std::string& s : known_) Wipe(s);
}

Status PasswordKeeper::Find(const ZipEntry& e, const std::string& nameUtf8,
                            const EncryptionHeader& header, PasswordSearch& search,
                            std::string& password) {
  for (const std::string& known : known_) {
    if (!Contains(search.failed, known) && PasswordPassesCheck(known, header, e)) {
      password = known;
      return Status::Ok();
    }
  }
  while (search.asks < kMaxAsks) {
    ++search.asks;
    std::string answer;
    switch (reporter_.AskPassword(nameUtf8, answer)) {
      case PasswordReply::Unavailable:
        return Status::Fail(UNZIP_ERR_BAD_PASSWORD, nameUtf8 + ": encrypted, and no password was given");
      case PasswordReply::Declined:
        return Status::Fail(UNZIP_ERR_BAD_PASSWORD, nameUtf8 + ": the password was declined");
      case PasswordReply::Given:
        break;
    }
    if (!Contains(search.failed, answer) && PasswordPassesCheck(answer, header, e)) {
      password = std::move(answer);
      return Status::Ok();
    }
    Wipe(answer);
  }
  password.clear();
  return Status::Fail(UNZIP_ERR_BAD_PASSWORD, nameUtf8 + ": incorrect password");
}

void PasswordKeeper::Worked(const std::string& password) {
  std::erase(known_, password);
  known_.insert(known_.begin(), password);
}

}  // namespace uz32
