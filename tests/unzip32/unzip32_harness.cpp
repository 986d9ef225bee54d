#include "unzip32_harness.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/test_paths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace uz32test {
namespace {

Calls* g_calls = nullptr;  // the call in progress; the procedures have no context pointer

int32_t UZ_WINAPI OnPrint(char* text, int32_t length) {
  g_calls->printed.append(text, static_cast<size_t>(length));
  ++g_calls->printCalls;
  return 0;
}

int32_t UZ_WINAPI OnReplace(char* name) {
  g_calls->replaceAsked.emplace_back(name);
  if (g_calls->replaceAnswers.empty()) return UNZIP_REPLACE_KEEP;
  const int32_t answer = g_calls->replaceAnswers.front();
  g_calls->replaceAnswers.pop_front();
  return answer;
}

int32_t UZ_WINAPI OnPassword(char* buffer, int32_t size, const char*, const char*) {
  ++g_calls->passwordAsks;
  if (g_calls->passwords.empty() || !g_calls->passwords.front()) return 1;
  const std::string answer = *g_calls->passwords.front();
  g_calls->passwords.pop_front();
  if (static_cast<int32_t>(answer.size()) >= size) return 1;
  std::fill(buffer, buffer + size, 0);
  std::copy(answer.begin(), answer.end(), buffer);
  return 0;
}

void UZ_WINAPI OnMessage(uint32_t size, uint32_t compressed, uint32_t factor, uint32_t month,
                         uint32_t day, uint32_t year, uint32_t hour, uint32_t minute, int32_t,
                         char* name, char* method, uint32_t crc, int32_t encrypted) {
  g_calls->messages.push_back(Message{size, compressed, factor, month, day, year, hour, minute,
                                      name, method, crc, static_cast<char>(encrypted)});
}

int32_t UZ_WINAPI OnService(const char* name, int32_t) {
  const int index = static_cast<int>(g_calls->serviced.size());
  g_calls->serviced.emplace_back(name);
  return index == g_calls->stopAtService ? 1 : 0;
}

// The library, loaded once from the folder of the test programs.
struct Library {
  UzpVersion2Fn version = nullptr;
  WizSingleEntryUnzipFn unzip = nullptr;

  Library() {
#ifdef _WIN32
    HMODULE lib = LoadLibraryA((vlrtest::BinDir() + "\\unzip32.dll").c_str());
    if (!lib) return;
    version = reinterpret_cast<UzpVersion2Fn>(
        reinterpret_cast<void*>(GetProcAddress(lib, "UzpVersion2")));
    unzip = reinterpret_cast<WizSingleEntryUnzipFn>(
        reinterpret_cast<void*>(GetProcAddress(lib, "Wiz_SingleEntryUnzip")));
#else
    void* lib = dlopen((vlrtest::BinDir() + "/libunzip32.so").c_str(), RTLD_NOW);
    if (!lib) return;
    version = reinterpret_cast<UzpVersion2Fn>(dlsym(lib, "UzpVersion2"));
    unzip = reinterpret_cast<WizSingleEntryUnzipFn>(dlsym(lib, "Wiz_SingleEntryUnzip"));
#endif
  }
};

const Library& Lib() {
  static const Library lib;
  return lib;
}

}  // namespace

std::string Fixture(const std::string& name) {
  return vlrtest::HostPath(std::string(UZ32_FIXTURES) + "/" + name);
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteText(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::vector<std::vector<std::string>> Manifest(const std::string& name) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(ReadText(Fixture(name)));
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    std::vector<std::string> row;
    std::istringstream fields(line);
    for (std::string f; std::getline(fields, f, '|');) row.push_back(f);
    rows.push_back(row);
  }
  return rows;
}

Call::Call() {
  options.PromptToOverwrite = 1;
  options.OverwriteAll = 1;
  callbacks.Print = OnPrint;
  callbacks.Replace = OnReplace;
  callbacks.Password = OnPassword;
  callbacks.Message = OnMessage;
  callbacks.Service = OnService;
}

int32_t Call::Go(const std::string& archive, const std::string& folder) {
  EXPECT_TRUE(Lib().unzip) << "the library or its entry point could not be loaded";
  if (!Lib().unzip) return -1;
  std::string archiveCopy = archive;
  std::string folderCopy = folder;
  options.ZipFileName = archiveCopy.data();
  options.ExtractFolder = folderCopy.data();
  UnzipNameListRecord include{};
  UnzipNameListRecord exclude{};
  std::vector<std::string> includeCopy = includeNames;
  std::vector<std::string> excludeCopy = excludeNames;
  for (size_t i = 0; i < includeCopy.size() && i < UNZIP_NAME_LIST_SIZE; ++i) {
    include.Names[i] = includeCopy[i].data();
  }
  for (size_t i = 0; i < excludeCopy.size() && i < UNZIP_NAME_LIST_SIZE; ++i) {
    exclude.Names[i] = excludeCopy[i].data();
  }
  g_calls = &calls;
  const int32_t rc = Lib().unzip(includeCount, include.Names, excludeCount, exclude.Names,
                                 &options, &callbacks);
  g_calls = nullptr;
  return rc;
}

void Call::Include(std::vector<std::string> names) {
  includeCount = static_cast<int32_t>(names.size());
  includeNames = std::move(names);
}

void Call::Exclude(std::vector<std::string> names) {
  excludeCount = static_cast<int32_t>(names.size());
  excludeNames = std::move(names);
}

UzpVersion2Fn VersionFunction() { return Lib().version; }

// The running test case's full name as a folder name: ctest runs cases in parallel,
// also the suite's second run with a forced worker count beside the first.
std::string CurrentTestFolder() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string id = info ? std::string(info->test_suite_name()) + "." + info->name() : "none";
  if (const char* workers = std::getenv("UZ32_WORKERS")) id += std::string(".workers") + workers;
  for (char& c : id) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.') c = '_';
  }
  return id;
}

Sandbox::Sandbox(const std::string& name)
    : root_(fs::path(vlrtest::HostPath(UZ32_WORK)) / CurrentTestFolder() / name) {
  fs::remove_all(root_);
  fs::create_directories(target() / "sub");
  fs::create_directories(root_ / "sibling");
  WriteText(root_ / "outside.txt", "outside");
  WriteText(root_ / "sibling" / "s.txt", "sibling");
  WriteText(target() / "existing.txt", "existing");
  WriteText(target() / "sub" / "inner.txt", "inner");
}

std::string Sandbox::folder() const {
  return target().string() + static_cast<char>(fs::path::preferred_separator);
}

std::map<std::string, std::string> Sandbox::Snapshot() const {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root_)) {
    const std::string rel = fs::relative(e.path(), root_).generic_string();
    if (e.is_directory()) {
      tree[rel] = "<folder>";
    } else {
      tree[rel] = ReadText(e.path()) + "@" +
                  std::to_string(e.last_write_time().time_since_epoch().count());
    }
  }
  return tree;
}

}  // namespace uz32test
