#include "vlrpublish/arguments.h"

#include <set>

#include "vlrpublish/shown_text.h"

namespace vlrpub {

namespace {

// The value of --expires-in: whole days, 1 to kMaxExpiryDays. Empty `why` when taken.
int ExpiryDays(const std::string& value, std::string& why) {
  int days = 0;
  for (char c : value) {
    if (c < '0' || c > '9' || days > kMaxExpiryDays) {
      days = -1;
      break;
    }
    days = days * 10 + (c - '0');
  }
  if (days < 1 || days > kMaxExpiryDays) {
    why = "--expires-in takes a number of days from 1 to " + std::to_string(kMaxExpiryDays) +
          ", not '" + value + "'";
  }
  return days;
}

Command ParseMake(const std::vector<std::string>& args) {
  MakeRequest make;
  bool hasVersion = false, hasEnglish = false, hasOut = false;
  std::set<std::string> given;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    // A second value would silently win over the first: which one was meant? A second
    // --sign is a second signature (a change of keys); a third is one too many.
    if (!given.insert(a).second && a.rfind("--", 0) == 0 && a != "--sign") {
      return UsageError{a + " is given twice"};
    }
    if (a == "--force") {
      make.force = true;
      continue;
    }
    if (a != "--version" && a != "--en" && a != "--fr" && a != "--out" && a != "--sign" &&
        a != "--expires-in") {
      return UsageError{"make does not know '" + a + "'"};
    }
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      return UsageError{a + " needs a value"};
    }
    const std::string& value = args[++i];
    if (a == "--version") {
      make.version = value;
      hasVersion = true;
    } else if (a == "--en") {
      make.english = PathFromUtf8(value);
      hasEnglish = true;
    } else if (a == "--fr") {
      make.french = PathFromUtf8(value);
    } else if (a == "--sign") {
      if (make.secondSigningKey) return UsageError{"--sign is given three times; a mirror carries two signatures at most"};
      (make.signingKey ? make.secondSigningKey : make.signingKey) = PathFromUtf8(value);
    } else if (a == "--expires-in") {
      std::string why;
      make.expiresInDays = ExpiryDays(value, why);
      if (!why.empty()) return UsageError{why};
    } else {
      make.mirror = PathFromUtf8(value);
      hasOut = true;
    }
  }
  if (!hasVersion || !hasEnglish || !hasOut) {
    return UsageError{"make needs --version, --en and --out"};
  }
  return make;
}

Command ParseCheck(const std::vector<std::string>& args) {
  CheckRequest check;
  bool hasSite = false;
  std::set<std::string> given;
  for (size_t i = 1; i < args.size(); ++i) {
    // Several keys are several --key: an updater may trust more than one.
    if (args[i] != "--key" && !given.insert(args[i]).second && args[i].rfind("--", 0) == 0) {
      return UsageError{args[i] + " is given twice"};
    }
    if (args[i] == "--fr") {
      check.french = true;
    } else if (args[i] == "--key") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return UsageError{"--key needs a value"};
      check.keys.push_back(PathFromUtf8(args[++i]));
    } else if (!hasSite && !args[i].empty() && args[i][0] != '-') {
      check.site = args[i];
      hasSite = true;
    } else {
      return UsageError{"check does not know '" + args[i] + "'"};
    }
  }
  if (!hasSite) return UsageError{"check needs the mirror's address, HOST/PATH"};
  return check;
}

Command ParseSign(const std::vector<std::string>& args) {
  SignRequest sign;
  bool hasMirror = false, hasKey = false;
  std::set<std::string> given;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    // A second --key is a second signature (a change of keys).
    if (!given.insert(a).second && a.rfind("--", 0) == 0 && a != "--key")
      return UsageError{a + " is given twice"};
    if (a == "--no-expiry") {
      sign.noExpiry = true;
    } else if (a == "--key" || a == "--expires-in") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return UsageError{a + " needs a value"};
      const std::string& value = args[++i];
      if (a == "--key" && sign.secondSigningKey) {
        return UsageError{"--key is given three times; a mirror carries two signatures at most"};
      } else if (a == "--key" && hasKey) {
        sign.secondSigningKey = PathFromUtf8(value);
      } else if (a == "--key") {
        sign.signingKey = PathFromUtf8(value);
        hasKey = true;
      } else {
        std::string why;
        sign.expiresInDays = ExpiryDays(value, why);
        if (!why.empty()) return UsageError{why};
      }
    } else if (!hasMirror && !a.empty() && a[0] != '-') {
      sign.mirror = PathFromUtf8(a);
      hasMirror = true;
    } else {
      return UsageError{"sign does not know '" + a + "'"};
    }
  }
  if (!hasMirror || !hasKey) return UsageError{"sign needs the mirror folder and --key PRIVATE.pem"};
  if (sign.noExpiry && sign.expiresInDays) return UsageError{"--no-expiry and --expires-in exclude each other"};
  return sign;
}

}  // namespace

Command ParseCommandLine(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h" || a == "/?") return HelpRequest{};
  }
  if (args.empty()) return UsageError{"no command given"};
  if (args[0] == "--version") return VersionRequest{};
  if (args[0] == "make") return ParseMake(args);
  if (args[0] == "check") return ParseCheck(args);
  if (args[0] == "sign") return ParseSign(args);
  return UsageError{"unknown command '" + args[0] + "'"};
}

const char* VersionText() { return "vlrpublish " VLRPUBLISH_VERSION "\n"; }

const char* HelpText() {
  return R"(vlrpublish: makes, signs and checks a mirror that Veloran's updater can use.

  vlrpublish make --version 7.5.3 --en DIR [--fr DIR] --out MIRROR_DIR [--force]
                  [--sign PRIVATE.pem [--sign SECOND.pem]] [--expires-in DAYS]
      Writes MIRROR_DIR with vlr753.zip (the files of the English folder),
      vlr753fr.zip (the files of the French folder) and version.html, which
      names each package's SHA-256 after its first empty line. The version is
      three single digits. The folders must hold files only, with names the
      updater can write on Windows. Every package is unpacked again by the
      extraction library and compared before the folder is put in place; an
      existing MIRROR_DIR is replaced only with --force, and only when it holds
      nothing but a mirror's files. With --sign, version.html gets its .sig
      (ECDSA P-256 over SHA-256; it covers the packages through their SHA-256),
      checked as the updater checks it; a second --sign (another key) writes
      version.html.sig2 too, for a change of keys. With --expires-in,
      version.html names the day (UTC) DAYS after today; an updater with a key
      refuses it after that day.

  vlrpublish sign MIRROR_DIR --key PRIVATE.pem [--key SECOND.pem]
                  [--expires-in DAYS | --no-expiry]
      Re-signs a mirror folder: rewrites version.html's expiry line (today +
      DAYS; --no-expiry removes it; a version.html that has one needs either),
      keeps every other byte, the packages and their digest lines (each package
      must match its line), and writes a new version.html.sig (and, with a
      second --key, version.html.sig2; without, an old .sig2 is removed). The
      files are written and checked aside, then renamed into place,
      version.html first. For a scheduled job.

  vlrpublish --version
      Prints the version of vlrpublish.

  vlrpublish check HOST/PATH [--fr] [--key PUBLIC.pem]...
      Fetches version.html and the package it names from the mirror, as the
      updater would (French package with --fr), compares the package's SHA-256
      with the one version.html names, tests that the package unpacks (nothing
      is written) and lists every reason an update would fail. With --key, also
      fetches version.html.sig and checks it (version.html.sig2 when that does
      not verify), and requires the package's digest line, as an updater built
      with that key would (several --key, one to four different keys as a
      build takes them: any one of them may have signed), and fails when
      version.html has expired; it warns when version.html expires within 7
      days, and about any line meant as an expiry line that the updater
      ignores.

Exit codes:
  0  make: the mirror was written and checked; sign: the folder was re-signed;
     check: an update would succeed
  1  check: an update from this mirror would fail
  2  the command line is wrong
  3  make, sign: refused (version, folders, names, mirror folder, packages or
     signing key); nothing was written
  4  make, sign: writing or the self-check failed, the mirror folder is as it was;
     check: no temporary folder for the downloads, or a --key that is not an
     ECDSA P-256 public key; either: an unexpected failure
  130  interrupted (Ctrl-C, SIGINT, SIGTERM); the temporary folders are removed
)";
}

}  // namespace vlrpub
