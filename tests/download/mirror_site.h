// The loopback mirror that the test fixture starts (tools/mirror/mirror.py), and
// helpers for files on the real disk.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/text.h"
#include "tests/support/test_paths.h"

namespace vlrtest {

// "127.0.0.1:PORT/" for the running mirror, or nothing when it is not running.
inline std::optional<std::wstring> MirrorSite() {
  std::ifstream in(platform::ToPath(platform::FromUtf8(HostPath(VLR_MIRROR_PORT_FILE))));
  int port = 0;
  if (!(in >> port) || port <= 0) return std::nullopt;
  return L"127.0.0.1:" + std::to_wstring(port) + L"/";
}

// A fresh folder for one test's files, below the build folder.
inline std::wstring ScratchFolder(const std::string& name) {
  std::wstring folder = platform::FromUtf8(BinDir() + "/download-scratch/" + name);
#ifdef _WIN32
  for (wchar_t& c : folder) {
    if (c == L'/') c = L'\\';
  }
#endif
  std::error_code ec;
  std::filesystem::remove_all(platform::ToPath(folder), ec);
  std::filesystem::create_directories(platform::ToPath(folder), ec);
  return folder + platform::kPathSeparator;
}

inline bool FileExists(const std::wstring& path) {
  std::error_code ec;
  return std::filesystem::exists(platform::ToPath(path), ec);
}

inline std::string ReadAll(const std::wstring& path) {
  std::ifstream in(platform::ToPath(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::wstring& path, const std::string& data) {
  std::ofstream out(platform::ToPath(path), std::ios::binary | std::ios::trunc);
  out << data;
}

}  // namespace vlrtest
