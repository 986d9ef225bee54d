#include "vlrpublish/arguments.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <set>

#include "vlrpublish/shown_text.h"

namespace vlrpub {

namespace {

// The value of --expires-in: whole days, 1 to kMaxExpiryDays. Empty when taken.
std::string TakeExpiryDays(const std::string& value, std::optional<int>& to) {
  int days = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), days);
  if (error != std::errc() || end != value.data() + value.size() || days < 1 ||
      days > kMaxExpiryDays) {
    return "--expires-in takes a number of days from 1 to " + std::to_string(kMaxExpiryDays) +
           ", not '" + value + "'";
  }
  to = days;
  return {};
}

// One option of a command: its name, whether it takes a value, what taking it does (a
// reason when the value is refused), and whether it may come more than once.
struct Option {
  const char* name;
  bool takesValue;
  std::function<std::string(const std::string& value)> take;
  bool repeatable = false;
};

template <class Path>
Option PathOption(const char* name, Path& to) {
  return {name, true, [&to](const std::string& value) {
            to = PathFromUtf8(value);
            return std::string();
          }};
}

// A signing key that may come twice: the first signs version.html.sig, the second
// version.html.sig2 (a change of keys); a third is one too many.
Option SigningKeyOption(const char* name, std::optional<std::filesystem::path>& first,
                        std::optional<std::filesystem::path>& second) {
  return {name, true,
          [&first, &second, name](const std::string& value) {
            if (second) {
              return std::string(name) + " is given three times; a mirror carries two "
                                         "signatures at most";
            }
            (first ? second : first) = PathFromUtf8(value);
            return std::string();
          },
          true};
}

// Reads args[1..] of `command` by its `options`; one word that is not an option goes to
// `positional`, when there is one. Empty when everything was taken; else the usage error.
std::string ReadOptions(const std::vector<std::string>& args, const std::string& command,
                        const std::vector<Option>& options,
                        const std::function<void(const std::string&)>& positional = nullptr) {
  std::set<std::string> given;
  bool positionalTaken = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto option = std::find_if(options.begin(), options.end(),
                                     [&](const Option& o) { return a == o.name; });
    const bool known = option != options.end();
    // A second value would silently win over the first: which one was meant?
    if ((!known || !option->repeatable) && !given.insert(a).second && a.starts_with("--")) {
      return a + " is given twice";
    }
    if (known) {
      std::string value;
      if (option->takesValue) {
        if (i + 1 >= args.size() || args[i + 1].empty()) return a + " needs a value";
        value = args[++i];
      }
      if (std::string why = option->take(value); !why.empty()) return why;
    } else if (positional && !positionalTaken && !a.empty() && a[0] != '-') {
      positional(a);
      positionalTaken = true;
    } else {
      return command + " does not know '" + a + "'";
    }
  }
  return {};
}

Command ParseMake(const std::vector<std::string>& args) {
  MakeRequest make;
  const std::vector<Option> options = {
      {"--version", true, [&](const std::string& v) { make.version = v; return std::string(); }},
      PathOption("--en", make.english),
      PathOption("--fr", make.french),
      PathOption("--out", make.mirror),
      SigningKeyOption("--sign", make.signingKey, make.secondSigningKey),
      {"--expires-in", true,
       [&](const std::string& v) { return TakeExpiryDays(v, make.expiresInDays); }},
      {"--force", false, [&](const std::string&) { make.force = true; return std::string(); }},
  };
  if (std::string why = ReadOptions(args, "make", options); !why.empty()) return UsageError{why};
  if (make.version.empty() || make.english.empty() || make.mirror.empty()) {
    return UsageError{"make needs --version, --en and --out"};
  }
  return make;
}

Command ParseCheck(const std::vector<std::string>& args) {
  CheckRequest check;
  const std::vector<Option> options = {
      {"--fr", false, [&](const std::string&) { check.french = true; return std::string(); }},
      // Several keys are several --key: an updater may trust more than one.
      {"--key", true,
       [&](const std::string& v) {
         check.keys.push_back(PathFromUtf8(v));
         return std::string();
       },
       true},
  };
  const std::string why =
      ReadOptions(args, "check", options, [&](const std::string& a) { check.site = a; });
  if (!why.empty()) return UsageError{why};
  if (check.site.empty()) return UsageError{"check needs the mirror's address, HOST/PATH"};
  return check;
}

Command ParseSign(const std::vector<std::string>& args) {
  SignRequest sign;
  const std::vector<Option> options = {
      SigningKeyOption("--key", sign.signingKey, sign.secondSigningKey),
      {"--expires-in", true,
       [&](const std::string& v) { return TakeExpiryDays(v, sign.expiresInDays); }},
      {"--no-expiry", false, [&](const std::string&) { sign.noExpiry = true; return std::string(); }},
  };
  const std::string why = ReadOptions(args, "sign", options,
                                     [&](const std::string& a) { sign.mirror = PathFromUtf8(a); });
  if (!why.empty()) return UsageError{why};
  if (sign.mirror.empty() || !sign.signingKey) {
    return UsageError{"sign needs the mirror folder and --key PRIVATE.pem"};
  }
  if (sign.noExpiry && sign.expiresInDays) {
    return UsageError{"--no-expiry and --expires-in exclude each other"};
  }
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

  vlrpublish check HOST/PATH|FOLDER [--fr] [--key PUBLIC.pem]...
      Fetches version.html and the package it names from the mirror (a web
      address, or a folder mirror such as the folder make wrote), as the
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
