// An environment variable set for the life of an object, on both builds.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace vlrtest {

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
#ifdef _WIN32
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
  }
  ~ScopedEnv() {
#ifdef _WIN32
    _putenv_s(name_, old_ ? old_->c_str() : "");  // empty removes it
#else
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
#endif
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace vlrtest
