// The walk both file systems make below a held folder (FileSystem::HoldFolder): the
// held folder, and the folders below it that steps went through, each held from its
// first use (by the key of its path from the held folder), so that every later step
// goes on in the same folder, wherever it is moved meanwhile. Sys gives the system's
// part: its Handle (RAII) and Error types, kRefused (the error for "." or ".." on the
// way), kOutside (the folder for a path outside the hold), Key(name), and OpenBelow,
// which opens one folder on the way itself (never through a link) and refuses anything
// but a real folder.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "os/file_system.h"
#include "os/platform_text.h"

namespace uz32 {

template <class Sys>
class HeldFolders {
 public:
  using Handle = typename Sys::Handle;
  using Error = typename Sys::Error;
  using Raw = decltype(std::declval<const Handle&>().get());

  // Where a step acts: the name `name` in the folder `parent` (owned by the hold); for a
  // path outside the held folder, or with none, Sys::kOutside and the whole path. Error
  // when the way was refused. The held folder itself is "." in it.
  struct Way {
    Raw parent = Sys::kOutside;
    NativeString name;
    NativeString relative;  // below the held folder: the key of the path from it
    Error error = 0;
  };

  // Holds folder (its path trimmed of trailing separators down to shortest characters)
  // through the handle open(folder, error) gives; when that is none, every step below it
  // fails with error. While one hold lasts, another changes nothing.
  template <class Open>
  std::unique_ptr<FolderHold> Hold(NativeString folder, size_t shortest, Open open) {
    if (root_) return std::make_unique<FolderHold>();
    auto root = std::make_unique<Root>();
    root->handle = open(folder, root->error);
    while (folder.size() > shortest && IsSeparator(folder.back())) folder.pop_back();
    root->path = std::move(folder);
    root_ = std::move(root);
    return std::make_unique<Release>(root_);
  }

  // Opens and holds every folder between the held folder and path's last name that is
  // not held yet.
  Way Walk(const NativeString& path) const {
    Way way;
    way.name = path;
    if (!root_) return way;
    const NativeString& base = root_->path;
    const bool below = path == base || (path.size() > base.size() && path.starts_with(base) &&
                                        (IsSeparator(path[base.size()]) || IsSeparator(base.back())));
    if (!below) return way;
    if (!root_->handle) {
      way.error = root_->error;
      return way;
    }
    const std::vector<NativeString> parts = PathComponents(path.substr(base.size()));
    way.parent = root_->handle.get();
    way.name = NativeFromAscii(".");
    NativeString prefix = base;
    const std::lock_guard<std::mutex> hold(root_->mutex);
    for (size_t i = 0; i < parts.size(); ++i) {
      if (parts[i] == NativeFromAscii(".") || parts[i] == NativeFromAscii("..")) {
        way.error = Sys::kRefused;
        return way;
      }
      if (!way.relative.empty()) way.relative += kNativeSeparators[0];
      way.relative += Sys::Key(parts[i]);
      way.name = parts[i];
      if (i + 1 == parts.size()) break;
      Handle& held = root_->below[way.relative];
      if (!held) held = Sys::OpenBelow(way.parent, prefix, parts[i], way.error);
      if (!held || way.error) {
        root_->below.erase(way.relative);
        return way;
      }
      way.parent = held.get();
      prefix = JoinPath(prefix, parts[i]);
    }
    return way;
  }

  // Lets go of the folder at relative and those below it (it is removed).
  void Forget(const NativeString& relative) const {
    if (!root_ || relative.empty()) return;
    const std::lock_guard<std::mutex> hold(root_->mutex);
    std::erase_if(root_->below, [&](const auto& entry) {
      return entry.first == relative || entry.first.starts_with(relative + kNativeSeparators[0]);
    });
  }

 private:
  struct Root {
    NativeString path;
    Handle handle;
    Error error = 0;
    std::mutex mutex;  // guards below (staged files are made on several threads)
    std::map<NativeString, Handle> below;
  };

  // Ends a hold: the paths below the folder are paths again.
  class Release final : public FolderHold {
   public:
    explicit Release(std::unique_ptr<Root>& root) : root_(root) {}
    ~Release() override { root_.reset(); }

   private:
    std::unique_ptr<Root>& root_;
  };

  static bool IsSeparator(NativeString::value_type c) {
    return kNativeSeparators.find(c) != kNativeSeparators.npos;
  }

  std::unique_ptr<Root> root_;
};

}  // namespace uz32
