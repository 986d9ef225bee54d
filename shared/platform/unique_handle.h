// The one owner of a system handle: it closes its handle when it goes, and can be
// moved but not copied.
#pragma once

#include <utility>

namespace platform {

// "No handle" is the zero value (null, 0) unless the handle kind names another.
template <class H>
struct ZeroIsNone {
  static constexpr H Value() { return H{}; }
};

// A closer that calls `Close`, the system's or a library's function, on the handle.
template <auto Close>
struct CloseWith {
  template <class H>
  void operator()(H h) const {
    Close(h);
  }
};

// `Closer` closes a handle other than the "no handle" value and throws nothing; it
// may carry the object the handle belongs to. `None::Value()` is the "no handle" value.
template <class H, class Closer, class None = ZeroIsNone<H>>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(H h, Closer closer = Closer{}) : h_(h), closer_(std::move(closer)) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept
      : h_(other.release()), closer_(std::move(other.closer_)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset(other.release());
      closer_ = std::move(other.closer_);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  H get() const { return h_; }
  explicit operator bool() const { return h_ != None::Value(); }
  // Gives up ownership without closing (the handle was closed elsewhere).
  H release() { return std::exchange(h_, None::Value()); }
  // Closes the handle held, then holds `h`.
  void reset(H h = None::Value()) {
    if (h_ != None::Value()) closer_(h_);
    h_ = h;
  }

 private:
  H h_ = None::Value();
  Closer closer_{};
};

}  // namespace platform
