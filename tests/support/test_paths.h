// Paths for tests that run both natively and as Windows programs under Wine.
#pragma once

#include <string>

namespace vlrtest {

// A host (Unix) absolute path as the program under test must spell it: unchanged
// natively; under Wine the root of the Unix file system is drive Z:.
inline std::string HostPath(const std::string& unixPath) {
#ifdef _WIN32
  std::string p = "Z:" + unixPath;
  for (char& c : p) {
    if (c == '/') c = '\\';
  }
  return p;
#else
  return unixPath;
#endif
}

inline std::string SourceDir() { return HostPath(VLR_SOURCE_DIR); }
inline std::string BinDir() { return HostPath(VLR_BIN_DIR); }

}  // namespace vlrtest
