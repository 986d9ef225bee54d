#include <windows.h>

#include "platform/console_main.h"
#include "platform/text.h"

namespace {

// Messages are UTF-8; the console shows them as such while the program runs.
class Utf8Console {
 public:
  Utf8Console() : previous_(GetConsoleOutputCP()) { SetConsoleOutputCP(CP_UTF8); }
  ~Utf8Console() {
    if (previous_) SetConsoleOutputCP(previous_);
  }
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
  UINT previous_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Utf8Console console;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(platform::ToUtf8(argv[i]));
  return ConsoleMain(args);
}
