// A System for tests: the command line, the folder, the other copy, starting a
// program and the clocks are whatever the test says, and ending the program and a
// pause are recorded instead of done.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "platform/system.h"

namespace vlrtest {

class FakeSystem : public platform::System {
 public:
  std::wstring argumentText;
  std::wstring updaterFolder = L"C:\\Veloran";
  bool anotherInstance = false;
  bool startFails = false;
  std::wstring startError = L"The system cannot find the file specified.";
  std::vector<std::wstring> started;
  int endCount = 0;
  std::string tempPath = "C:\\TEMP\\";
  double timeOfDay = 12 * 3600.0;
  double timeStep = 0.0;  // added after each reading of the clock
  std::int64_t utcSeconds = 1799928000;  // 2027-01-14 12:00:00 UTC
  double steadySeconds = 1000.0;         // moved on by Pause only: no test really waits
  std::vector<std::uint32_t> pauses;     // milliseconds of each Pause

  std::wstring ArgumentText() override { return argumentText; }
  std::wstring UpdaterFolder() override { return updaterFolder; }
  bool AnotherInstanceRunning() override { return anotherInstance; }
  bool StartProgram(const std::wstring& path, std::wstring& errorText) override {
    if (startFails) {
      errorText = startError;
      return false;
    }
    started.push_back(path);
    return true;
  }
  void EndProgram() override { ++endCount; }
  std::uint32_t GetTempPathA(std::uint32_t bufferLength, char* buffer) override {
    if (tempPath.empty()) return 0;
    if (tempPath.size() + 1 > bufferLength) return static_cast<std::uint32_t>(tempPath.size() + 1);
    std::memcpy(buffer, tempPath.c_str(), tempPath.size() + 1);
    return static_cast<std::uint32_t>(tempPath.size());
  }
  double SteadySeconds() override { return steadySeconds; }
  void Pause(std::uint32_t milliseconds) override {
    pauses.push_back(milliseconds);
    steadySeconds += milliseconds / 1000.0;
  }
  double TimeOfDay() override {
    double t = timeOfDay;
    timeOfDay += timeStep;
    return t;
  }
  std::int64_t UtcSeconds() override { return utcSeconds; }
};

}  // namespace vlrtest
