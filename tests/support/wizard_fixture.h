// A wizard on the headless window system with a fake System, and the module state
// back at its start values, as in a fresh process.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "download/download_state.h"
#include "extract/unzip_callbacks.h"
#include "platform/headless/headless_window_system.h"
#include "platform/services.h"
#include "platform/text.h"
#include "tests/support/fake_system.h"
#include "wizard/form1.h"
#include "wizard/shared_state.h"

namespace vlrtest {

inline void ResetWizardState() {
  vlr::IsFrench = 0;
  vlr::CurrentStep = 0;
  vlr::SiteAddress.clear();
  vlr::DownloadState = 0;
  vlr::Unattended = 0;
}

class WizardTest : public ::testing::Test {
 protected:
  WizardTest() { ResetWizardState(); }
  ~WizardTest() override { ResetWizardState(); }

  // Creates the form and runs start-up with `arguments`; shows the window unless
  // start-up ended the program.
  vlr::Form1& Start(const std::wstring& arguments) {
    system.argumentText = arguments;
    form = std::make_unique<vlr::Form1>();
    windows.Create(*form);
    form->Form_Load();
    if (!form->Ended()) windows.Show();
    return *form;
  }

  FakeSystem system;
  platform::HeadlessWindowSystem windows;
  platform::Use<platform::System> useSystem{system};
  platform::Use<platform::WindowSystem> useWindows{windows};
  std::unique_ptr<vlr::Form1> form;
};

}  // namespace vlrtest
