// The native file system with faults a test chooses. Renames and replaces are counted
// together, from 1 (both are rename() on Linux): a chosen one fails, a run of them or
// every one from a chosen one on fails, or the process ends at one before it is made,
// as if killed.
// Links and replacing can be refused (a volume without links, a file in use), names
// can get another type or listed name, a chosen new file can fail its writes, and the
// free space can be set, and a test can change the folder before any step. Nothing
// waits.
#pragma once

#include <atomic>
#include <cstdlib>
#include <functional>
#include <optional>

#include "os/file_system.h"

namespace uz32 {

class FaultyFiles final : public FileSystem {
 public:
  int failOnly = 0;   // this call alone fails
  int failFrom = 0;   // this call and later ones fail:
  int failCount = 0;  // this many (0: every later one)
  int endAt = 0;     // the process ends abruptly before this call
  bool links = true;
  bool replaces = true;  // false: every replace is refused as for a running program
  int typeQueries = 0;
  std::function<std::optional<PathType>(const NativeString&)> typeOf;
  std::function<std::optional<NativeString>(const NativeString&)> listedName;
  std::optional<uint64_t> freeSpace;
  int failWritesOf = 0;  // the n-th file created (from 1; any thread) fails every write
  // Runs before every step on a path (counted from 1): a test changes the folder there
  // as another program might between two steps.
  std::function<void(int step)> beforeStep;

  int moves() const { return moves_; }

  std::unique_ptr<FolderHold> HoldFolder(const NativeString& f) override {
    Step();
    return real_->HoldFolder(f);
  }
  Status OpenArchive(const NativeString& p, std::unique_ptr<ByteSource>& out) override {
    Step();
    return real_->OpenArchive(p, out);
  }
  Status CreateNew(const NativeString& p, std::unique_ptr<OutputFile>& out, bool& exists) override {
    Step();
    Status s = real_->CreateNew(p, out, exists);
    if (s.ok() && ++creates_ == failWritesOf) out = std::make_unique<FailingWrites>(std::move(out));
    return s;
  }
  Status Rename(const NativeString& from, const NativeString& to) override {
    Step();
    if (Faulty()) return Status::Fail(UNZIP_ERR_DISK_FULL, "injected failure");
    return real_->Rename(from, to);
  }
  Status Replace(const NativeString& from, const NativeString& to, bool& inUse) override {
    Step();
    inUse = false;
    if (Faulty()) return Status::Fail(UNZIP_ERR_DISK_FULL, "injected failure");
    if (!replaces) {
      inUse = true;
      return Status::Fail(UNZIP_ERR_DISK_FULL, "injected: in use");
    }
    return real_->Replace(from, to, inUse);
  }
  bool Link(const NativeString& existing, const NativeString& name) override {
    Step();
    return links && real_->Link(existing, name);
  }
  Status FlushFolder(const NativeString& folder) override {
    Step();
    return real_->FlushFolder(folder);
  }
  bool Remove(const NativeString& p) override {
    Step();
    return real_->Remove(p);
  }
  PathType TypeOf(const NativeString& p) override {
    Step();
    ++typeQueries;
    if (typeOf) {
      if (std::optional<PathType> t = typeOf(p)) return *t;
    }
    return real_->TypeOf(p);
  }
  bool IsFolder(const NativeString& p) override {
    Step();
    return real_->IsFolder(p);
  }
  std::vector<NativeString> ListFolder(const NativeString& f) override {
    Step();
    return real_->ListFolder(f);
  }
  bool IsLink(const NativeString& p) override {
    Step();
    return real_->IsLink(p);
  }
  Status MakeFolder(const NativeString& p) override {
    Step();
    return real_->MakeFolder(p);
  }
  bool RemoveEmptyFolder(const NativeString& p) override {
    Step();
    return real_->RemoveEmptyFolder(p);
  }
  std::optional<int64_t> ModifiedTime(const NativeString& p) override {
    Step();
    return real_->ModifiedTime(p);
  }
  std::optional<int64_t> StampTime(const FileStamp& s) override { return real_->StampTime(s); }
  std::optional<uint64_t> FreeSpace(const NativeString& f) override {
    Step();
    return freeSpace ? freeSpace : real_->FreeSpace(f);
  }
  std::optional<NativeString> ListedName(const NativeString& p) override {
    Step();
    if (listedName) {
      if (std::optional<NativeString> n = listedName(p)) return n;
    }
    return real_->ListedName(p);
  }
  void Pause(unsigned) override {}

 private:
  class FailingWrites final : public OutputFile {
   public:
    explicit FailingWrites(std::unique_ptr<OutputFile> real) : real_(std::move(real)) {}
    Status Write(std::span<const uint8_t>) override {
      return Status::Fail(UNZIP_ERR_DISK_FULL, "injected write failure");
    }
    Status Finish(const FileStamp& stamp) override { return real_->Finish(stamp); }

   private:
    std::unique_ptr<OutputFile> real_;
  };

  void Step() {
    if (beforeStep) beforeStep(++steps_);
  }

  bool Faulty() {
    ++moves_;
    if (moves_ == endAt) std::_Exit(137);
    return moves_ == failOnly ||
           (failFrom > 0 && moves_ >= failFrom && (failCount == 0 || moves_ < failFrom + failCount));
  }

  std::unique_ptr<FileSystem> real_ = MakeNativeFileSystem();
  int moves_ = 0;
  std::atomic<int> steps_{0};
  std::atomic<int> creates_{0};
};

}  // namespace uz32
