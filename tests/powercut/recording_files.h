// The native file system, with a log of every change it makes, in the order made: the
// creates, writes and flushes of files, and the renames, replaces, links, removals,
// folders and folder flushes of names. The crash explorer (crash_states.h) builds from
// it what a power cut at any moment could leave. Calls run one at a time, so the log's
// order is the order the system saw.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "os/file_system.h"

namespace powercut {

using uz32::NativeString;
using uz32::Status;

enum class OpKind { Create, Write, Flush, Rename, Link, Remove, MakeFolder, RemoveFolder, FlushFolder };

struct Op {
  explicit Op(OpKind k, NativeString p = {}, NativeString t = {}, int f = -1, std::string d = {})
      : kind(k), path(std::move(p)), to(std::move(t)), file(f), data(std::move(d)) {}
  OpKind kind;
  NativeString path;  // the name made, changed or removed (Rename/Link: the source)
  NativeString to;    // Rename, Link: the new name
  int file = -1;      // Create, Write, Flush: which file (its index in the log's files)
  std::string data;   // Write: the bytes appended
};

class RecordingFiles final : public uz32::FileSystem {
 public:
  // Without folderFlushes, FlushFolder still flushes but is not logged: the test's
  // proof that the explorer finds what a missing flush loses.
  explicit RecordingFiles(bool folderFlushes = true) : folderFlushes_(folderFlushes) {}

  std::vector<Op> log() const {
    const std::lock_guard<std::mutex> hold(mutex_);
    return log_;
  }

  // Holding a folder changes nothing on the disk: not logged.
  std::unique_ptr<uz32::FolderHold> HoldFolder(const NativeString& f) override {
    return real_->HoldFolder(f);
  }
  Status OpenArchive(const NativeString& p, std::unique_ptr<uz32::ByteSource>& out) override {
    return real_->OpenArchive(p, out);
  }
  Status CreateNew(const NativeString& p, std::unique_ptr<uz32::OutputFile>& out,
                   bool& exists) override {
    const std::lock_guard<std::mutex> hold(mutex_);
    Status s = real_->CreateNew(p, out, exists);
    if (s.ok()) {
      log_.push_back(Op(OpKind::Create, p, {}, files_));
      out = std::make_unique<Recorded>(*this, std::move(out), files_++);
    }
    return s;
  }
  Status Rename(const NativeString& from, const NativeString& to) override {
    return Logged([&] { return real_->Rename(from, to).ok(); }, Op(OpKind::Rename, from, to))
               ? Status::Ok()
               : Refused();
  }
  Status Replace(const NativeString& from, const NativeString& to, bool& inUse) override {
    const std::lock_guard<std::mutex> hold(mutex_);
    Status s = real_->Replace(from, to, inUse);
    if (s.ok()) log_.push_back(Op(OpKind::Rename, from, to));
    return s;
  }
  bool Link(const NativeString& existing, const NativeString& name) override {
    return Logged([&] { return real_->Link(existing, name); }, Op(OpKind::Link, existing, name));
  }
  Status FlushFolder(const NativeString& folder) override {
    const std::lock_guard<std::mutex> hold(mutex_);
    Status s = real_->FlushFolder(folder);
    if (s.ok() && folderFlushes_) log_.push_back(Op(OpKind::FlushFolder, folder));
    return s;
  }
  bool Remove(const NativeString& p) override {
    const std::lock_guard<std::mutex> hold(mutex_);
    const bool existed = real_->TypeOf(p) != uz32::PathType::Missing;
    const bool gone = real_->Remove(p);
    if (existed && gone) log_.push_back(Op(OpKind::Remove, p));
    return gone;
  }
  uz32::PathType TypeOf(const NativeString& p) override { return real_->TypeOf(p); }
  bool IsFolder(const NativeString& p) override { return real_->IsFolder(p); }
  std::vector<NativeString> ListFolder(const NativeString& f) override {
    return real_->ListFolder(f);
  }
  bool IsLink(const NativeString& p) override { return real_->IsLink(p); }
  Status MakeFolder(const NativeString& p) override {
    return Logged([&] { return real_->MakeFolder(p).ok(); }, Op(OpKind::MakeFolder, p))
               ? Status::Ok()
               : Refused();
  }
  bool RemoveEmptyFolder(const NativeString& p) override {
    const std::lock_guard<std::mutex> hold(mutex_);
    const bool existed = real_->TypeOf(p) == uz32::PathType::Folder;
    const bool gone = real_->RemoveEmptyFolder(p);
    if (existed && gone) log_.push_back(Op(OpKind::RemoveFolder, p));
    return gone;
  }
  std::optional<int64_t> ModifiedTime(const NativeString& p) override {
    return real_->ModifiedTime(p);
  }
  std::optional<int64_t> StampTime(const uz32::FileStamp& s) override { return real_->StampTime(s); }
  std::optional<uint64_t> FreeSpace(const NativeString& f) override { return real_->FreeSpace(f); }
  std::optional<NativeString> ListedName(const NativeString& p) override {
    return real_->ListedName(p);
  }
  void Pause(unsigned) override {}

 private:
  class Recorded final : public uz32::OutputFile {
   public:
    Recorded(RecordingFiles& owner, std::unique_ptr<uz32::OutputFile> real, int file)
        : owner_(owner), real_(std::move(real)), file_(file) {}
    Status Write(std::span<const uint8_t> data) override {
      const std::lock_guard<std::mutex> hold(owner_.mutex_);
      Status s = real_->Write(data);
      if (s.ok()) {
        owner_.log_.push_back(Op(OpKind::Write, {}, {}, file_,
                                 std::string(reinterpret_cast<const char*>(data.data()), data.size())));
      }
      return s;
    }
    Status Finish(const uz32::FileStamp& stamp) override {
      const std::lock_guard<std::mutex> hold(owner_.mutex_);
      Status s = real_->Finish(stamp);
      if (s.ok()) owner_.log_.push_back(Op(OpKind::Flush, {}, {}, file_));
      return s;
    }

   private:
    RecordingFiles& owner_;
    std::unique_ptr<uz32::OutputFile> real_;
    int file_;
  };

  static Status Refused() { return Status::Fail(UNZIP_ERR_DISK_FULL, "refused"); }
  template <class Step>
  bool Logged(Step step, Op op) {
    const std::lock_guard<std::mutex> hold(mutex_);
    const bool done = step();
    if (done) log_.push_back(std::move(op));
    return done;
  }

  mutable std::mutex mutex_;
  std::vector<Op> log_;
  int files_ = 0;
  bool folderFlushes_;
  std::unique_ptr<uz32::FileSystem> real_ = uz32::MakeNativeFileSystem();
};

}  // namespace powercut
