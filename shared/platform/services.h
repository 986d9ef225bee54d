// The one place where the program reaches the operating system's services.
//
// Each service is an interface with a real implementation per platform. The program
// asks for the implementation in use with platform::Get<I>(); a test (or the
// application's entry) installs another one for a scope with platform::Use<I>.
#pragma once

namespace platform {

template <class I>
struct ServiceSlot {
  static I*& Current() {
    static I* current = nullptr;
    return current;
  }
};

// The platform's own implementation of I; defined for each service in win32/ or posix/
// (or headless/ for the window system).
template <class I>
I& DefaultService();

// The implementation of I that is in use now.
template <class I>
I& Get() {
  I* current = ServiceSlot<I>::Current();
  return current ? *current : DefaultService<I>();
}

// Installs `replacement` as the implementation of I for the life of this object and
// puts the previous one back afterwards. Scopes nest.
template <class I>
class Use {
 public:
  explicit Use(I& replacement) : previous_(ServiceSlot<I>::Current()) {
    ServiceSlot<I>::Current() = &replacement;
  }
  ~Use() { ServiceSlot<I>::Current() = previous_; }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;

 private:
  I* previous_;
};

}  // namespace platform
