#include "archive_probe.h"

#include "byte_source.h"
#include "central_directory.h"
#include "dos_time.h"
#include "extraction_plan.h"
#include "member_decoder.h"
#include "member_kind.h"
#include "name_patterns.h"
#include "name_text.h"

namespace uz32 {
namespace {

class CappedSink final : public ByteSink {
 public:
  Status Write(std::span<const uint8_t> data) override {
    total_ += data.size();
    if (total_ > kCap) return Status::Fail(UNZIP_ERR_DISK_FULL, "probe output cap");
    return Status::Ok();
  }

 private:
  static constexpr uint64_t kCap = 8u << 20;
  uint64_t total_ = 0;
};

}  // namespace

int32_t ProbeArchive(const uint8_t* data, size_t size) {
  MemorySource src(data, size);
  Archive archive;
  if (Status s = ReadArchive(src, archive); !s.ok()) return s.code();
  volatile uint32_t listed = 0;  // keeps the listing work from being optimised away
  for (const ZipEntry& e : archive.entries) {
    listed = listed + static_cast<uint32_t>(MethodName(e).size() + DisplayName(e).size()) +
             static_cast<uint32_t>(ClassifyEntry(e)) +
             (IsPlausible(DecodeDosStamp(e.dosDate, e.dosTime)) ? 1u : 0u) +
             CompressionFactor(e.compressedSize, e.uncompressedSize);
    // The name-list matcher over every name, as a name-list run sees them.
    const std::u32string name = DecodeEntryName(e).value_or(*DecodeName(e.rawName, false));
    listed = listed + (MatchesPattern(U"*[a-m]?/*.t[!x]*", name, true) ? 1u : 0u);
  }
  // The path rules of recreated folders see every name too; their verdict does not
  // change the result, which stays that of a plain run.
  PlanRules folders;
  folders.recreateFolders = true;
  Plan folderPlan;
  listed = listed + static_cast<uint32_t>(BuildPlan(src, archive, folders, folderPlan).code()) +
           static_cast<uint32_t>(folderPlan.folderPaths.size());
  Plan plan;
  if (Status s = BuildPlan(src, archive, plan); !s.ok()) return s.code();
  DecodeBuffers buffers;
  int32_t result = UNZIP_OK;
  for (const PlannedMember& m : plan.files) {
    std::string_view password;
    if (m.entry->encrypted()) {
      EncryptionHeader header{};
      if (Status s = ReadEncryptionHeader(src, *m.entry, m.span, header); !s.ok()) return s.code();
      for (std::string_view candidate : {"", "secret", "Secret123", "right-pass"}) {
        if (PasswordPassesCheck(candidate, header, *m.entry)) {
          password = candidate;
          break;
        }
      }
    }
    CappedSink out;
    const Status s = DecodeMember(src, *m.entry, m.span, password, out, buffers);
    if (!s.ok() && result == UNZIP_OK) result = s.code();
  }
  return result;
}

}  // namespace uz32
