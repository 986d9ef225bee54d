#include "vlrpublish/command_report.h"

#include "platform/plain_file.h"
#include "vlrpublish/release_names.h"
#include "vlrpublish/shown_text.h"

namespace vlrpub {

int CommandReport::Refused(const std::vector<std::string>& reasons) const {
  std::fprintf(err_, "vlrpublish %s: refused, nothing was %s:\n", command_, untouched_);
  for (const std::string& line : reasons) std::fprintf(err_, "  - %s\n", line.c_str());
  return kRefused;
}

int CommandReport::Failed(const std::string& why) const {
  std::fprintf(err_, "vlrpublish %s: failed, the mirror folder is as it was:\n  - %s\n", command_,
               why.c_str());
  return kFailed;
}

void CommandReport::Line(const std::string& text) const {
  std::fprintf(err_, "vlrpublish %s: %s\n", command_, text.c_str());
}

std::string WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  unsigned long error = 0;
  if (platform::WriteWholeFile(path, bytes, error)) return {};
  return "cannot write " + Utf8FromPath(path) + SystemReason(error);
}

std::optional<vlr::UtcDay> ExpiryDay(std::optional<int> days) {
  if (!days) return std::nullopt;
  return UtcToday() + *days;
}

}  // namespace vlrpub
