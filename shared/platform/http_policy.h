// How every HTTP request of the updater and of vlrpublish behaves, whichever library
// carries it: how long it waits and which redirections it follows.
#pragma once

#include <string_view>

namespace platform {

struct HttpTimeouts {
  long connectSeconds = 60;  // to reach the server, as Windows' own default
  long silenceSeconds = 30;  // without a byte from it, before or during the body
};

// The timeouts for a new session. VLR_INTERNET_TIMEOUT (whole seconds, above 0)
// shortens both, for tests of a silent server.
HttpTimeouts SessionTimeouts();

// A redirection is followed this many times at most.
inline constexpr int kMaxRedirections = 10;

// True for a status whose Location is to be followed.
bool IsRedirection(long status);

// True when a redirection from `from` to the absolute address `to` may be followed:
// only to http or https, and from https only to https.
bool MayRedirect(std::string_view from, std::string_view to);

// True when a request that began at `start` may end at the address `final`: one that
// began on https must end on https, whatever the library followed.
bool MayEndAt(std::string_view start, std::string_view final);

}  // namespace platform
