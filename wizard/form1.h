// Form1: the wizard window as a model of its controls, with its load handler, its
// one public method DoStep and its click handlers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/controls.h"

namespace vlr {

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
  // otherwise reads the language and the default mirror and shows step 0.
  void Form_Load();

  // Redraws the window for CurrentStep and sets which buttons are enabled.
  void DoStep();

  void Command1_Click();  // "< Previous"
  void Command2_Click();  // "Next >"
  void Command3_Click();  // Cancel / Finish, or stop the running download
  void Option1_Click(std::int16_t index);

  // True once a handler has ended the program (the real platform never returns then).
  bool Ended() const { return ended_; }

  // platform::Form
  platform::Control& Window() override { return Form; }
  std::vector<platform::Control*> Controls() override;
  void OnClick(platform::Control& control) override;
  // Closing the window during a download stops it as Cancel would; the update run
  // then ends without touching the window.
  void OnClosed() override;

 private:
  void EndProgram();

  bool ended_ = false;
};

}  // namespace vlr
