// The system's own words for why a file operation failed, to end a message with.
#pragma once

#include <string>

namespace vlrpub {

// ": " and the text of errno value `error` ("No space left on device"); empty for 0,
// when the system gave no reason.
std::string SystemReason(int error);

}  // namespace vlrpub
