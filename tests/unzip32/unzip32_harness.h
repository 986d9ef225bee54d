// Calling unzip32 the way the updater does: the library loaded by name at run time, the
// records filled with the updater's values, and callback procedures that record what
// they were given. Plus a sandbox: a sentinel tree around the extraction folder whose
// every file (content and time) can be compared before and after a call.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "unzip32/unzip32.h"

namespace uz32test {

namespace fs = std::filesystem;

// A fixture made at build time (host path).
std::string Fixture(const std::string& name);
std::string ReadText(const fs::path& path);
void WriteText(const fs::path& path, const std::string& content);
// Lines of a fixture manifest, split at '|'.
std::vector<std::vector<std::string>> Manifest(const std::string& name);

struct Message {
  uint32_t size, compressed, factor, month, day, year, hour, minute;
  std::string name, method;
  uint32_t crc;
  char encrypted;
};

// What the procedures were given during one call, and how they answer.
struct Calls {
  std::string printed;
  int printCalls = 0;
  std::vector<Message> messages;
  std::vector<std::string> serviced;
  int stopAtService = -1;  // the service call (0-based) that asks to stop
  std::vector<std::string> replaceAsked;
  std::deque<int32_t> replaceAnswers;  // empty: 100
  std::deque<std::optional<std::string>> passwords;  // nullopt: decline; empty: decline
  int passwordAsks = 0;
};

// One call of Wiz_SingleEntryUnzip. The constructor sets the updater's options
// (ask before overwriting = 1, always overwrite = 1, all else 0) and every procedure.
struct Call {
  Call();
  int32_t Go(const std::string& archive, const std::string& folder);

  UnzipOptionsRecord options{};
  UnzipCallbacksRecord callbacks{};
  int32_t includeCount = 0;
  int32_t excludeCount = 0;
  // The names passed in the two lists (the counts are passed as set above).
  std::vector<std::string> includeNames;
  std::vector<std::string> excludeNames;
  // Sets a list and its count.
  void Include(std::vector<std::string> names);
  void Exclude(std::vector<std::string> names);
  Calls calls;
};

UzpVersion2Fn VersionFunction();

// work/<test case>/<name>/ holding outside.txt, sibling/s.txt and the extraction folder target/
// with existing.txt and sub/inner.txt.
class Sandbox {
 public:
  explicit Sandbox(const std::string& name);
  fs::path root() const { return root_; }
  fs::path target() const { return root_ / "target"; }
  // The extraction folder as the updater passes it: ending with the separator.
  std::string folder() const;
  // Every file and folder under root: relative path -> content and time (files) or
  // "<folder>".
  std::map<std::string, std::string> Snapshot() const;

 private:
  fs::path root_;
};

}  // namespace uz32test
