// Stands in for Veloran's executable in end-to-end tests: it records that it was
// started by writing "<its own file name>.started" beside itself (holding its command
// line), then ends.
#include <windows.h>

#include <string>
#include <vector>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  std::vector<wchar_t> path(32768);
  DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) return 1;
  std::wstring marker(path.data(), n);
  marker += L".started";
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  // The command line as UTF-16, so the test sees exactly what was passed.
  const wchar_t* commandLine = GetCommandLineW();
  DWORD written = 0;
  BOOL ok = WriteFile(file, commandLine, static_cast<DWORD>(wcslen(commandLine) * sizeof(wchar_t)),
                      &written, nullptr);
  CloseHandle(file);
  return ok ? 0 : 3;
}
