// Passwords during one run: a password that worked is tried first on the next encrypted
// member; the password procedure is asked only when no known password passes the
// member's check byte, at most kMaxAsks times per member; a declined answer ends the
// search.
#pragma once

#include <string>
#include <vector>

#include "reporter.h"
#include "status.h"
#include "traditional_cipher.h"
#include "zip_records.h"

namespace uz32 {

// The search for one member's password.
struct PasswordSearch {
  std::vector<std::string> failed;  // passed the check byte, but the data did not check
  int asks = 0;
};

class PasswordKeeper {
 public:
  static constexpr int kMaxAsks = 3;

  explicit PasswordKeeper(Reporter& reporter) : reporter_(reporter) {}
  ~PasswordKeeper();
  PasswordKeeper(const PasswordKeeper&) = delete;
  PasswordKeeper& operator=(const PasswordKeeper&) = delete;

  // A password for e whose header it passes, not one of search.failed. Fails with
  // UNZIP_ERR_BAD_PASSWORD when the procedure is missing or declines, or kMaxAsks
  // answers did not pass; password is then empty.
  Status Find(const ZipEntry& e, const std::string& nameUtf8, const EncryptionHeader& header,
              PasswordSearch& search, std::string& password);

  // password decoded a member correctly: it is tried first from now on.
  void Worked(const std::string& password);

 private:
  Reporter& reporter_;
  std::vector<std::string> known_;
};

}  // namespace uz32
