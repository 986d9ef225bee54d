#include "platform/console_main.h"

int main(int argc, char** argv) {
  return ConsoleMain(std::vector<std::string>(argv + 1, argv + argc));
}
