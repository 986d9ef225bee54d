// The entry point of a console program, written once for both systems: the system's own
// (wmain on Windows, main on Linux), in the target vlr_console_main, calls the
// program's ConsoleMain with the arguments after the program's name as UTF-8 (on Linux
// the bytes as given). On Windows the console shows UTF-8 output as such meanwhile.
#pragma once

#include <string>
#include <vector>

int ConsoleMain(const std::vector<std::string>& args);
