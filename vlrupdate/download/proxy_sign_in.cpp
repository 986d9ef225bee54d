#include "download/proxy_sign_in.h"

#include <optional>
#include <utility>

#include "platform/services.h"
#include "platform/text.h"
#include "platform/window_system.h"

namespace vlr {

namespace {

bool askAllowed = true;

// What the user typed last, in the system code page.
struct Credentials {
  std::string user;
  std::string password;
};
std::optional<Credentials> given;

}  // namespace

void SetProxyQuestions(bool ask) noexcept { askAllowed = ask; }

void ApplyProxyCredentials(platform::Internet& internet, platform::InternetHandle session) {
  if (given && session) internet.SetProxyCredentials(session, given->user, given->password);
}

std::uint32_t SignInToProxy(platform::Internet& internet, platform::InternetHandle session,
                            const std::string& address, platform::UniqueInternetHandle& url,
                            std::uint32_t status) {
  for (int asked = 0; asked < kMaxProxyQuestions && askAllowed &&
                      status == kProxyAuthenticationRequired;
       ++asked) {
    std::optional<std::pair<std::wstring, std::wstring>> answer =
        platform::Get<platform::WindowSystem>().CredentialsBox(
            asked == 0 ? L"The proxy asks for credentials.\r\n"
                         L"User name (first field) and password (second):"
                       : L"The proxy refused them.\r\n"
                         L"User name (first field) and password (second):",
            L"");
    if (!answer) {
      url.reset();
      return status;
    }
    given = Credentials{platform::ToAnsi(answer->first), platform::ToAnsi(answer->second)};
    internet.SetProxyCredentials(session, given->user, given->password);
    url = platform::UniqueInternetHandle(
        internet.InternetOpenUrlA(session, address.c_str(), "GET", 0, platform::kOpenUrlFlags, 0),
        {&internet});
    if (!url) return 0;
    status = platform::AnswerStatus(internet, url.get()).value_or(0);
  }
  return status;
}

}  // namespace vlr
