// The extraction module's state back at its start values, as in a fresh process,
// with a headless window system answering the boxes and a System whose updater
// folder the test chooses.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "extract/unzip_callbacks.h"
#include "extract/unzip_records.h"
#include "platform/headless/headless_window_system.h"
#include "platform/services.h"
#include "tests/support/fake_system.h"

namespace vlrtest {

inline void ResetExtractState() {
  vlr::UnzipSettings = {};
  vlr::ZipFileName.clear();
  vlr::ExtractFolder.clear();
  vlr::IncludeNames = {};
  vlr::ExcludeNames = {};
  vlr::IncludeCount = 0;
  vlr::ExcludeCount = 0;
  vlr::UnzipOptions = {};
  vlr::UnzipCallbacks = {};
  vlr::UnzipVersionInfo = {};
  vlr::PrintText.clear();
  vlr::ListingText.clear();
  vlr::ListedCount = 0;
  vlr::PasswordDeclined = 0;
  vlr::Unattended = 0;
}

class ExtractTest : public ::testing::Test {
 protected:
  ExtractTest() { ResetExtractState(); }
  ~ExtractTest() override { ResetExtractState(); }

  FakeSystem system;
  platform::HeadlessWindowSystem windows;
  platform::Use<platform::System> useSystem{system};
  platform::Use<platform::WindowSystem> useWindows{windows};
};

}  // namespace vlrtest
