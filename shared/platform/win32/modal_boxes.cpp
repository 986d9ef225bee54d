// The modal message box and input box, owned by the form's window.
#include "platform/win32/win32_window_system.h"

#include "platform/win32/input_box.h"

namespace platform {

int Win32WindowSystem::ShowMessageBox(const std::wstring& text, const std::wstring& title,
                                      unsigned style) {
  int answer = MessageBoxW(FormWindow(), text.c_str(),
                           title.empty() ? kProgramTitle : title.c_str(), style);
  return answer == 0 ? kIdCancel : answer;
}

std::optional<std::wstring> Win32WindowSystem::InputBox(const std::wstring& prompt,
                                                        const std::wstring& title,
                                                        const std::wstring& defaultText) {
  return win32::ShowInputBox(FormWindow(), prompt, title.empty() ? kProgramTitle : title,
                             defaultText);
}

std::optional<std::pair<std::wstring, std::wstring>> Win32WindowSystem::CredentialsBox(
    const std::wstring& prompt, const std::wstring& title) {
  return win32::ShowCredentialsBox(FormWindow(), prompt, title);
}

}  // namespace platform
