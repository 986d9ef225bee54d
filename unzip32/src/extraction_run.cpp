#include "extraction_run.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "alias_check.h"
#include "central_directory.h"
#include "commit_journal.h"
#include "extraction_plan.h"
#include "folder_recovery.h"
#include "member_decoder.h"
#include "member_kind.h"
#include "name_text.h"
#include "password_keeper.h"
#include "os/platform_text.h"
#include "staging_pool.h"
#include "transaction.h"

namespace uz32 {
namespace {

class DiscardSink final : public ByteSink {
 public:
  Status Write(std::span<const uint8_t>) override { return Status::Ok(); }
};

MemberReport ReportOf(const ZipEntry& e, const std::string& nameUtf8) {
  MemberReport r;
  r.nameUtf8 = nameUtf8;
  r.compressedSize = e.compressedSize;
  r.uncompressedSize = e.uncompressedSize;
  r.dosDate = e.dosDate;
  r.dosTime = e.dosTime;
  r.method = MethodName(e);
  r.crc = e.crc;
  r.encrypted = e.encrypted();
  r.text = (e.internalAttr & 1) != 0;
  return r;
}

// The comment as text: UTF-8 when it is valid UTF-8, code page 437 otherwise.
std::string CommentText(const std::string& raw) {
  if (DecodeName(raw, true)) return raw;
  return ToUtf8(*DecodeName(raw, false));
}

// State shared by the steps of one run.
class Run {
 public:
  Run(const RunOptions& options, Reporter& reporter, FileSystem& fs)
      : options_(options), reporter_(reporter), fs_(fs), passwords_(reporter) {}

  int32_t Go() {
    const Status s = Steps();
    if (!s.ok()) {
      reporter_.Error(s.message());
      if (s.code() == UNZIP_ERR_UNFINISHED) {
        reporter_.Text("the commit is not finished: some files are new and some old until "
                       "the next extraction into this folder, or UzpRecoverFolder, "
                       "completes it\n");
      } else if (options_.mode == RunMode::Extract && openedFolder_) {
        reporter_.Text("nothing was extracted; the folder is as it was\n");
      }
    }
    return s.code();
  }

 private:
  Status Steps() {
    if (Status s = fs_.OpenArchive(options_.archive, source_); !s.ok()) return s;
    reporter_.Info("Archive:  " + options_.archiveUtf8);
    if (Status s = ReadArchive(*source_, archive_); !s.ok()) return s;

    uint64_t compressed = 0;
    uint64_t uncompressed = 0;
    for (const ZipEntry& e : archive_.entries) {
      compressed += e.compressedSize;
      uncompressed += e.uncompressedSize;
    }
    reporter_.SetTotals(compressed, uncompressed, archive_.entries.size(),
                        archive_.location.comment.size());
    if (options_.showComment && !archive_.location.comment.empty()) {
      reporter_.Text(CommentText(archive_.location.comment) + "\n");
    }
    if (options_.mode == RunMode::List) return List();
    PlanRules rules;
    rules.recreateFolders = options_.recreateFolders;
    rules.spaceToUnderscore = options_.spaceToUnderscore;
    rules.filter = &options_.names;
    if (Status s = BuildPlan(*source_, archive_, rules, plan_); !s.ok()) return s;
    for (const std::string& warning : plan_.warnings) reporter_.Info(warning);
    return options_.mode == RunMode::Test ? Test() : Extract();
  }

  Status Stopped() { return Status::Fail(UNZIP_ERR_STOPPED, "stopped at the caller's request"); }

  Status List() {
    std::vector<bool> hits = options_.names.NewHits();
    for (const ZipEntry& e : archive_.entries) {
      const std::u32string decoded = LenientName(e);
      if (!options_.names.Selects(decoded, hits)) continue;
      const std::string name = ToUtf8(decoded);
      if (reporter_.ServiceSaysStop(name, e.uncompressedSize)) return Stopped();
      reporter_.Report(ReportOf(e, name));
    }
    if (const std::string unmatched = options_.names.Unmatched(hits); !unmatched.empty()) {
      return Status::Fail(UNZIP_ERR_NO_MEMBERS, "no member matches " + unmatched);
    }
    return Status::Ok();
  }

  Status Test() {
    DiscardSink sink;
    for (const PlannedMember& m : plan_.files) {
      if (reporter_.ServiceSaysStop(m.storedName, m.entry->uncompressedSize)) return Stopped();
      if (Status s = Decode(
              m, [&](std::string_view password) {
                return DecodeMember(*source_, *m.entry, m.span, password, sink, buffers_);
              },
              [&](const std::string& line) { reporter_.Info(line); });
          !s.ok()) {
        return s;
      }
      reporter_.Info("    testing: " + m.fileNameUtf8 + "   OK");
      reporter_.Report(ReportOf(*m.entry, m.storedName));
    }
    reporter_.Info("No errors detected in compressed data of " + options_.archiveUtf8 + ".");
    return Status::Ok();
  }

  Status Extract() {
    if (!fs_.IsFolder(options_.folder)) {
      return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot write into " +
                                                   Utf8FromNative(options_.folder) +
                                                   ": it is not a folder");
    }
    openedFolder_ = true;
    if (Status s = CheckJournalSize(); !s.ok()) return s;
    // One extraction at a time in a folder: another one's staged files are not left
    // over from an interruption.
    std::unique_ptr<platform::LockFile> lock;
    if (Status s = LockFolder(fs_, options_.folder, lock); !s.ok()) return s;
    // What an interrupted run left is finished or cleared first; a folder whose last
    // commit cannot be finished takes no other.
    if (Status s = RecoverFolder(fs_, options_.folder); !s.ok()) return s;
    if (Status s = RefuseAliasedFiles(fs_, options_.folder, plan_); !s.ok()) return s;
    Transaction tx(fs_, options_.folder);
    if (Status s = CheckFreeSpace(); !s.ok()) return s;
    for (const NativeString& folder : plan_.folderPaths) {
      if (Status s = CheckFolderPlace(folder); !s.ok()) return s;
      tx.AddFolder(folder);
    }
    // Members are staged on worker threads, in the order they are handed over. This
    // thread asks every question and prints every line, in the archive's order: a
    // member's lines wait until the members before it are staged, and the first
    // failure in the archive's order is the run's, as if one member were staged after
    // the other. Encrypted members are staged here: their password questions depend on
    // how their data checks.
    StagingPool pool(fs_, tx, options_.archive, *source_, buffers_, WorkerCount(),
                     plan_.files.size());
    std::vector<Said> said(plan_.files.size());
    size_t told = 0;  // members whose lines are printed
    size_t walked = plan_.files.size();
    Status refused;  // what ended the walk at member walked - 1
    std::vector<const PlannedMember*> written;
    Answers answers;
    for (size_t i = 0; i < plan_.files.size(); ++i) {
      if (Status s = Show(said, told, i, pool, false); !s.ok()) return s;
      if (pool.Failing()) {  // a member not yet shown failed: ask nothing more
        walked = i;
        break;
      }
      const auto settle = [&] { return Show(said, told, i, pool, true); };
      if (Status s = Hand(plan_.files[i], tx, pool, answers, said[i], settle); !s.ok()) {
        refused = s;
        walked = i + 1;
        break;
      }
      if (said[i].written) written.push_back(&plan_.files[i]);
    }
    if (Status s = Show(said, told, walked, pool, true); !s.ok()) return s;
    if (!refused.ok()) return refused;
    if (Status s = tx.Commit(); !s.ok()) return s;
    for (const NativeString& folder : tx.createdFolders()) {
      std::string shown = Utf8FromNative(folder);
      std::replace(shown.begin(), shown.end(), '\\', '/');  // as the file lines show paths
      reporter_.Info("   creating: " + shown + "/");
    }
    for (const PlannedMember* m : written) reporter_.Report(ReportOf(*m->entry, m->storedName));
    return Status::Ok();
  }

  // The overwrite answers that hold for all later members.
  struct Answers {
    bool replaceAll = false;
    bool keepAll = false;
  };

  // A member's lines to print, the staging job that must end well before they are, and
  // whether it is to be written.
  struct Said {
    std::vector<std::string> lines;
    std::optional<StagingPool::Ticket> job;
    bool written = false;
  };

  // Asks what is to be asked about m and decides whether it is written: when it is, it
  // goes to the pool, or, encrypted, is staged here. Fails with what ends the run at m
  // (the service procedure's stop, a target that is no file, an encrypted member's
  // failure); said gets the lines m prints once the members before it are staged.
  // Before a question (replace, password) settle waits for the members before m and
  // prints their lines, failing with the first failure among them: the questions come
  // as a run staging one member after the other asks them, and none after a failure.
  Status Hand(const PlannedMember& m, Transaction& tx, StagingPool& pool, Answers& answers,
              Said& said, const std::function<Status()>& settle) {
    if (reporter_.ServiceSaysStop(m.storedName, m.entry->uncompressedSize)) return Stopped();
    const NativeString target = JoinPath(options_.folder, m.fileName);
    const PathType type = fs_.TypeOf(target);
    if (type == PathType::Folder || type == PathType::Other) {
      return Status::Fail(UNZIP_ERR_DISK_FULL,
                          "cannot replace " + Utf8FromNative(target) + ": it is not a file");
    }
    const FileStamp stamp{m.entry->unixMtime, m.entry->dosDate, m.entry->dosTime};
    if (const char* why = TimeRuleSkips(target, type, stamp)) {
      said.lines.push_back("   skipping: " + m.fileNameUtf8 + " (" + why + ")");
      return Status::Ok();
    }
    const bool asks = options_.overwrite == OverwritePolicy::Ask && !answers.replaceAll &&
                      !answers.keepAll;
    if ((type == PathType::File && asks) || m.entry->encrypted()) {
      if (Status s = settle(); !s.ok()) return s;
    }
    if (type == PathType::File && !MayReplace(target, answers.replaceAll, answers.keepAll)) {
      said.lines.push_back("   skipping: " + m.fileNameUtf8 + " (the existing file is kept)");
      return Status::Ok();
    }
    if (!m.entry->encrypted()) {
      said.job = pool.Submit(StagingPool::Job{tx.Reserve(m.fileName), m.entry, m.span, stamp});
    } else if (Status s = Decode(
                   m,
                   [&](std::string_view password) {
                     return tx.Stage(m.fileName, stamp, [&](OutputFile& file) {
                       return DecodeMember(*source_, *m.entry, m.span, password, file, buffers_);
                     });
                   },
                   [&](const std::string& line) { said.lines.push_back(line); });
               !s.ok()) {
      return s;
    }
    said.lines.push_back((m.entry->method == kMethodStored ? " extracting: " : "  inflating: ") +
                         m.fileNameUtf8);
    said.written = true;
    return Status::Ok();
  }

  // Prints the lines of the members from told on, up to end, in order, counting told
  // on. A member whose job has not ended stops it, or with wait is waited for; one
  // whose job failed stops it with that failure.
  Status Show(std::vector<Said>& said, size_t& told, size_t end, StagingPool& pool, bool wait) {
    for (; told < end; ++told) {
      if (const std::optional<StagingPool::Ticket> job = said[told].job) {
        const std::optional<Status> outcome = wait ? pool.Wait(*job) : pool.Outcome(*job);
        if (!outcome) return Status::Ok();
        if (!outcome->ok()) return *outcome;
      }
      for (const std::string& line : said[told].lines) reporter_.Info(line);
    }
    return Status::Ok();
  }

  // Every member is staged beside the file it replaces before any old file goes, so
  // all of them must fit on the volume at once, with room to spare: a package that
  // declares more (a huge one, or a zip bomb) fails before it fills the disk. Members
  // the run may still leave out count too. A volume that cannot tell its free space
  // is not held up here; a write that finds it full fails all the same.
  Status CheckFreeSpace() {
    constexpr uint64_t kSpare = 16u << 20;  // left free for the system and the commit
    constexpr uint64_t kPerFile = 4096;     // a file's last, partly used cluster
    uint64_t needed = kSpare;
    for (const PlannedMember& m : plan_.files) {
      const uint64_t size = m.entry->uncompressedSize;
      needed = size > UINT64_MAX - kPerFile - needed ? UINT64_MAX : needed + size + kPerFile;
    }
    const std::optional<uint64_t> available = fs_.FreeSpace(options_.folder);
    if (!available || *available >= needed) return Status::Ok();
    return Status::Fail(UNZIP_ERR_DISK_FULL,
                        "cannot write into " + Utf8FromNative(options_.folder) +
                            ": the disk is full (the members need " + std::to_string(needed) +
                            " bytes, " + std::to_string(*available) + " are free)");
  }

  // A commit whose journal a recovery could not read back is never started: fails with
  // UNZIP_ERR_UNSUPPORTED before anything is staged.
  Status CheckJournalSize() {
    uint64_t pathBytes = 0;
    for (const NativeString& folder : plan_.folderPaths) pathBytes += Utf8FromNative(folder).size();
    for (const PlannedMember& m : plan_.files) pathBytes += Utf8FromNative(m.fileName).size();
    if (JournalSizeBound(plan_.folderPaths.size(), plan_.files.size(), pathBytes) <= kLongestJournal) {
      return Status::Ok();
    }
    return Status::Fail(UNZIP_ERR_UNSUPPORTED,
                        "cannot extract " + options_.archiveUtf8 + " in one commit: too many "
                        "members or names too long (its journal would pass " +
                            std::to_string(kLongestJournal >> 20) + " MiB)");
  }

  // Fails (UNZIP_ERR_DISK_FULL) when something other than a real folder stands at
  // relative (below the extraction folder): a file, or a link or junction, which the
  // extraction never follows. Missing is fine: the commit makes it.
  Status CheckFolderPlace(const NativeString& relative) {
    const NativeString path = JoinPath(options_.folder, relative);
    const PathType type = fs_.TypeOf(path);
    if (type == PathType::Missing || (type == PathType::Folder && !fs_.IsLink(path))) {
      return Status::Ok();
    }
    return Status::Fail(UNZIP_ERR_DISK_FULL,
                        "cannot make the folder " + Utf8FromNative(path) +
                            ": a file or a link is in the way (links are not followed)");
  }

  // Why the time rule leaves the member out (for the "skipping" line), or null when it
  // lets it through. A member counts as newer only when both times are known and its
  // own is later; a time kept in DOS form (two-second steps, rounded either way by the
  // tools that write it) must be later by two seconds or more, so a file extracted from
  // the same stamp is never taken for older.
  const char* TimeRuleSkips(const NativeString& target, PathType type, const FileStamp& stamp) {
    if (options_.times == TimeRule::All) return nullptr;
    if (type == PathType::Missing) {
      return options_.times == TimeRule::Freshen ? "no existing file to freshen" : nullptr;
    }
    const std::optional<int64_t> member = fs_.StampTime(stamp);
    const std::optional<int64_t> existing = fs_.ModifiedTime(target);
    if (!member || !existing) return "the times cannot be compared; the existing file is kept";
    const int64_t margin = stamp.unixTime ? 0 : 1;
    return *member > *existing + margin ? nullptr : "the existing file is as new or newer";
  }

  // Whether an existing target may be replaced, under the overwrite policy.
  bool MayReplace(const NativeString& target, bool& replaceAll, bool& keepAll) {
    switch (options_.overwrite) {
      case OverwritePolicy::Always:
        return true;
      case OverwritePolicy::Never:
        return false;
      case OverwritePolicy::Ask:
        break;
    }
    if (replaceAll) return true;
    if (keepAll) return false;
    switch (reporter_.AskReplace(Utf8FromNative(target))) {
      case ReplaceAnswer::Replace:
        return true;
      case ReplaceAnswer::ReplaceAll:
        replaceAll = true;
        return true;
      case ReplaceAnswer::KeepAll:
        keepAll = true;
        return false;
      case ReplaceAnswer::Keep:
        break;
    }
    return false;
  }

  // Runs attempt with the right password for an encrypted member (none otherwise).
  // A password that passes the check byte but whose data fails its checks was a wrong
  // one: the search goes on without it, and say gets a line saying so.
  Status Decode(const PlannedMember& m,
                const std::function<Status(std::string_view password)>& attempt,
                const std::function<void(const std::string&)>& say) {
    if (!m.entry->encrypted()) return attempt({});
    EncryptionHeader header{};
    if (Status s = ReadEncryptionHeader(*source_, *m.entry, m.span, header); !s.ok()) return s;
    PasswordSearch search;
    for (;;) {
      std::string password;
      if (Status s = passwords_.Find(*m.entry, m.storedName, header, search, password); !s.ok()) {
        return s;
      }
      Status s = attempt(password);
      if (s.ok()) {
        passwords_.Worked(password);
        return s;
      }
      if (s.code() != UNZIP_ERR_FORMAT) return s;
      say(m.storedName + ": the data does not check with this password");
      search.failed.push_back(std::move(password));
    }
  }

  const RunOptions& options_;
  Reporter& reporter_;
  FileSystem& fs_;
  PasswordKeeper passwords_;
  std::unique_ptr<ByteSource> source_;
  Archive archive_;
  Plan plan_;
  DecodeBuffers buffers_;
  bool openedFolder_ = false;
};

}  // namespace

int32_t RunUnzip(const RunOptions& options, Reporter& reporter, FileSystem& fs) {
  return Run(options, reporter, fs).Go();
}

}  // namespace uz32
