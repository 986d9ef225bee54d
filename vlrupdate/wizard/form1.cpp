#include "wizard/form1.h"

#include "download/download_file.h"
#include "download/proxy_sign_in.h"
#include "download/download_state.h"
#include "extract/unzip_callbacks.h"
#include "extract/unzip_recovery.h"
#include "platform/services.h"
#include "skip_on_error.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/window_system.h"
#include "mirror/built_in_mirrors.h"
#include "wizard/run_log.h"
#include "wizard/shared_state.h"
#include "wizard/start_options.h"
#include "wizard/update_run.h"

namespace vlr {

using platform::Control;
using platform::ControlKind;
using platform::Twips;

Form1::Form1()
    : Form(ControlKind::Window, "Form1", nullptr, Twips{0, 0, kClientWidth, kClientHeight}, 0,
           L"Veloran Update"),
      Frame1(ControlKind::Frame, "Frame1", &Form, Twips{120, 120, 7215, 4095}, 3),
      Frame2(ControlKind::Frame, "Frame2", &Frame1, Twips{240, 2280, 6735, 1575}, 5),
      Option1{Control(ControlKind::OptionButton, "Option1(0)", &Frame2,
                      Twips{360, 360, 3135, 255}, 6, kMirrors[0]),
              Control(ControlKind::OptionButton, "Option1(1)", &Frame2,
                      Twips{360, 720, 3135, 255}, 7, kMirrors[1]),
              Control(ControlKind::OptionButton, "Option1(2)", &Frame2,
                      Twips{360, 1080, 3135, 255}, 8, kMirrors[2])},
      Label1(ControlKind::Label, "Label1", &Frame1, Twips{240, 240, 120, 225}, 4),
      Command3(ControlKind::CommandButton, "Command3", &Form, Twips{3240, 4440, 1215, 375}, 2,
               L"Cancel"),
      Command2(ControlKind::CommandButton, "Command2", &Form, Twips{6120, 4440, 1215, 375}, 1,
               L"Next >"),
      Command1(ControlKind::CommandButton, "Command1", &Form, Twips{4680, 4440, 1215, 375}, 0,
               L"< Previous") {
  Frame2.SetVisible(false);
  Option1[2].SetVisible(false);
  Label1.SetAutoSize(true);
  Label1.SetFixedPitchFont(true);
  Command1.SetEnabled(false);
  // The download writes its progress into Label1 while this form exists.
  SetProgressLabel(&Label1);
}

Form1::~Form1() {
  ReleaseProgressLabel(&Label1);
  if (log_) {
    ReleaseDownloadObserver(log_.get());
    log_->Finish(exitCode_);
  }
}

std::vector<Control*> Form1::Controls() {
  return {&Frame1,   &Frame2,   &Option1[0], &Option1[1], &Option1[2],
          &Label1,   &Command3, &Command2,   &Command1};
}

void Form1::OnClick(Control& control) {
  if (&control == &Command1) {
    Command1_Click();
  } else if (&control == &Command2) {
    Command2_Click();
  } else if (&control == &Command3) {
    Command3_Click();
  } else {
    for (std::int16_t i = 0; i < 3; ++i) {
      if (&control == &Option1[i]) Option1_Click(i);
    }
  }
}

void Form1::OnClosed() {
  if (DownloadState > 0) DownloadState = 2;
}

void Form1::EndProgram() {
  ended_ = true;
  if (log_) log_->Finish(exitCode_);
  platform::Get<platform::WindowSystem>().Destroy();
  platform::Get<platform::System>().EndProgram();
}

void Form1::EndAtStart(int code, const char* why) {
  ended_ = true;
  exitCode_ = code;
  if (log_) {
    SkipOnError([&] { log_->Outcome(why); });
    log_->Finish(code);
  }
  if (code == 0) platform::Get<platform::System>().EndProgram();
}

void Form1::Form_Load() {
  bool another = false;
  std::wstring arguments;
  // The other copy is looked for first, whatever the command line says.
  SkipOnError([&] { another = platform::Get<platform::System>().AnotherInstanceRunning(); });
  SkipOnError([&] { arguments = platform::Get<platform::System>().ArgumentText(); });
  StartOptions options;
  SkipOnError([&] { options = ReadStartOptions(arguments); });
  if (!options.logPath.empty()) {
    SkipOnError([&] {
      log_ = std::make_unique<RunLog>(options.logPath);
      SetDownloadObserver(log_.get());
    });
  }
  // The language letter and the mirror that follows it, read once for the log and the run.
  const std::wstring& rest = options.rest;
  const bool french = !rest.empty() && (rest[0] == L'F' || rest[0] == L'f');
  std::wstring mirror;
  SkipOnError([&] {
    if (rest.size() > 2) mirror = rest.substr(2);
  });
  if (log_) {
    SkipOnError([&] {
      log_->Line(options.quiet ? "mode: quiet" : "mode: wizard");
      log_->Line(french ? "language: French" : "language: English");
      log_->Line("mirror: " + (mirror.empty() ? std::string("none") : WithoutPassword(LogText(mirror))));
      log_->Line("minimum rate: " + std::to_string(limits_.minimumBytesPerSecond) +
                 " bytes/s over " + std::to_string(static_cast<long>(limits_.rateWindowSeconds)) +
                 " s");
    });
  }
  if (another) return EndAtStart(options.quiet ? 5 : 0, "another copy of the updater is running");
  if (options.bad) return EndAtStart(6, "bad command line: \"/log:\" without a path");
  if (options.badDeadline)
    return EndAtStart(6, "bad command line: \"/deadline:\" without whole seconds from 1 to 86400");
  if (options.deadlineSeconds) deadlineSeconds_ = *options.deadlineSeconds;
  if (arguments.empty() || (!options.quiet && rest.empty())) return EndAtStart(0, "no command line");

  // An extraction cut short by a crash is finished before anything else (even if this
  // run's download fails), now that no other copy can be committing.
  SkipOnError([] {
    RecoverUnzipFolder(platform::Get<platform::System>().UpdaterFolder() + platform::kPathSeparator);
  });

  SkipOnError([&] {
    if (french) {
      IsFrench = 1;
      Form.SetCaption(L"Mise-à-jour de Veloran");
      Command1.SetCaption(L"< Précédent");
      Command2.SetCaption(L"Suivant >");
      Command3.SetCaption(L"Annuler");
    }
  });

  SkipOnError([&] { SiteAddress = mirror; });

  if (options.quiet) return RunQuiet();
  DoStep();
}

void Form1::RunQuiet() {
  if (SiteAddress.empty()) return EndAtStart(6, "bad command line: \"/quiet\" without a mirror");
  // No box in a run nobody watches: the extraction's questions answer themselves, and
  // a proxy that asks for credentials ends the run.
  Unattended = 1;
  // Nobody can stop a run that has no window: it stops itself at its deadline.
  SkipOnError([&] {
    limits_.deadline = platform::Get<platform::System>().SteadySeconds() + deadlineSeconds_;
    if (log_) log_->Line("deadline: " + std::to_string(deadlineSeconds_) + " s for the whole run");
  });
  SetProxyQuestions(false);
  // The run that Next, Next starts, on a window that is never shown.
  CurrentStep = 2;
  std::wstring message;
  UpdateResult result;
  SkipOnError([&] { result = UpdateRun(*this, message, true); });
  ended_ = true;
  exitCode_ = QuietExitCode(result.outcome);
  if (log_) log_->Finish(exitCode_);
}

void Form1::DoStep() {
  std::wstring message;
  const bool french = IsFrench == 1;

  SkipOnError([&] { Command1.SetEnabled(false); });
  SkipOnError([&] { Frame2.SetVisible(false); });

  switch (CurrentStep) {
    case 0:
      SkipOnError([&] {
        message = french ? L"Veuillez fermer toutes les instances\r\n"
                           L"du programme Veloran sur cette machine\r\n"
                           L"ou connectées par réseau local!"
                         : L"Please close all instances of\r\n"
                           L"Veloran application on this machine\r\n"
                           L"or connected trough a LAN!";
      });
      break;
    case 1:
      SkipOnError([&] {
        if (french) {
          message = SiteAddress.empty() ? L"S" : L"Utiliser\r\n" + SiteAddress + L"\r\n ou s";
          message += L"électionner un site ci-après\r\npour votre mise-à-jour:";
        } else {
          message = SiteAddress.empty() ? L"S" : L"Use\r\n" + SiteAddress + L"\r\n or s";
          message += L"elect a site below\r\nfor your update:";
        }
      });
      SkipOnError([&] {
        if (french) Option1[2].SetVisible(true);
      });
      SkipOnError([&] { Frame2.SetVisible(true); });
      break;
    case 2:
      SkipOnError([&] { UpdateRun(*this, message); });
      break;
    default:
      break;
  }

  SkipOnError([&] { Label1.SetCaption(message); });
  SkipOnError([&] { Command1.SetEnabled(CurrentStep > 0 && CurrentStep < 2); });
  SkipOnError([&] {
    Command2.SetEnabled((!SiteAddress.empty() || CurrentStep < 1) && CurrentStep < 2);
  });
  SkipOnError([&] { platform::Get<platform::WindowSystem>().Focus(Command2); });
}

void Form1::Command1_Click() {
  --CurrentStep;
  DoStep();
}

void Form1::Command2_Click() {
  ++CurrentStep;
  DoStep();
}

void Form1::Option1_Click(std::int16_t index) {
  if (index < 0 || index > 2) return;
  SiteAddress = Option1[index].Caption();
  Command2.SetEnabled(true);
}

void Form1::Command3_Click() {
  if (DownloadState > 0) {
    DownloadState = 2;
    return;
  }
  auto& system = platform::Get<platform::System>();
  std::wstring path = system.UpdaterFolder() + platform::kPathSeparator +
                      (IsFrench == 1 ? L"vlrmainfr.exe" : L"vlrmain.exe");
  std::wstring error;
  if (!system.StartProgram(path, error)) {
    // Veloran cannot be started: say why, then end all the same.
    platform::Get<platform::WindowSystem>().ShowMessageBox(
        error + L"\r\n\r\n" + path, Form.Caption(),
        platform::kMbOk | platform::kMbIconError);
  }
  EndProgram();
}

}  // namespace vlr
