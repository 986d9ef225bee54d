// Proxies that ask for credentials (HTTP 407): the wizard asks the user for them, an
// unattended run never asks.
#pragma once

#include <cstdint>
#include <string>

#include "platform/internet.h"

namespace vlr {

inline constexpr std::uint32_t kProxyAuthenticationRequired = 407;

// How many times the user is asked for the proxy's credentials in one download.
inline constexpr int kMaxProxyQuestions = 3;

// Whether a 407 may be answered by asking the user (the wizard: yes, the default;
// an unattended run: no).
void SetProxyQuestions(bool ask) noexcept;

// Gives a new session the credentials the user gave earlier in this run, if any: they
// stay in memory for the rest of the run and are never written anywhere.
void ApplyProxyCredentials(platform::Internet& internet, platform::InternetHandle session);

// With `url` the answer to `address` and `status` its status: while that is a 407 from
// the proxy and questions are allowed, asks the user for the proxy's user name and password (kMaxProxyQuestions
// times at most) and sends the request again with them. Cancel closes `url` (the
// download ends as with no connection); after the last wrong answer the 407 stays and
// the download fails on it. Returns the status of the last answer read (0 when none).
std::uint32_t SignInToProxy(platform::Internet& internet, platform::InternetHandle session,
                            const std::string& address, platform::UniqueInternetHandle& url,
                            std::uint32_t status);

}  // namespace vlr
