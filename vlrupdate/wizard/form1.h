// Form1: the wizard window as a model of its controls, with its load handler, its
// one public method DoStep and its click handlers.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "download/download_limits.h"
#include "platform/controls.h"

namespace vlr {

class RunLog;

class Form1 : public platform::Form {
 public:
  // The client area of the window, in twips.
  static constexpr int kClientWidth = 7470;
  static constexpr int kClientHeight = 4875;

  // The controls as the window is created, with the English captions.
  Form1();
  ~Form1() override;

  // The window itself; its caption is the title bar's text.
  platform::Control Form;
  platform::Control Frame1;
  platform::Control Frame2;
  std::array<platform::Control, 3> Option1;
  platform::Control Label1;
  platform::Control Command3;
  platform::Control Command2;
  platform::Control Command1;

  // Start-up: ends the program when another copy runs or the command line is empty;
  // otherwise reads the language and the default mirror and shows step 0. Options
  // before that text: "/log:PATH" opens the run log; "/quiet" runs the update at once
  // instead of showing step 0, without a window, a box or Veloran's start, and ends
  // with its exit code; "/deadline:SECONDS" sets the unattended run's deadline. A bad
  // command line ("/log:" without a path, "/deadline:" without whole seconds from 1 to
  // kMaxDeadlineSeconds, "/quiet" without a mirror) ends with 6; another copy running
  // ends an unattended start with 5.
  void Form_Load();

  // Redraws the window for CurrentStep and sets which buttons are enabled.
  void DoStep();

  void Command1_Click();  // "< Previous"
  void Command2_Click();  // "Next >"
  void Command3_Click();  // Cancel / Finish, or stop the running download
  void Option1_Click(std::int16_t index);

  // True once a handler has ended the program (the real platform never returns then,
  // unless the exit code is not 0: the program's entry then returns ExitCode()).
  bool Ended() const { return ended_; }

  // The process's exit code: 0 in the wizard; an unattended run's outcome.
  int ExitCode() const { return exitCode_; }

  // The run log of "/log:PATH"; null without one.
  RunLog* Log() const { return log_.get(); }

  // What bounds the run's downloads: the minimum rate, and in an unattended run its
  // deadline ("/deadline:SECONDS", else kQuietDeadlineSeconds from its start).
  const DownloadLimits& Limits() const { return limits_; }

  // platform::Form
  platform::Control& Window() override { return Form; }
  std::vector<platform::Control*> Controls() override;
  void OnClick(platform::Control& control) override;
  // Closing the window during a download stops it as Cancel would; the update run
  // then ends without touching the window.
  void OnClosed() override;

 private:
  void EndProgram();
  // Start-up ends with `code`: 0 ends the program as before, any other code is left
  // for the program's entry to return.
  void EndAtStart(int code, const char* why);
  void RunQuiet();

  bool ended_ = false;
  int exitCode_ = 0;
  DownloadLimits limits_;
  std::uint32_t deadlineSeconds_ = kQuietDeadlineSeconds;
  std::unique_ptr<RunLog> log_;
};

}  // namespace vlr
