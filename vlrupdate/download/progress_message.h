// The line the download shows in the wizard's message while it runs.
#pragma once

#include <cstdint>
#include <string>

namespace vlr {

// RemoteName, a line break, the thousands of bytes received rounded to a whole
// number (a half rounds up), then " k": "version.html\r\n3 k" after 2,600 bytes.
std::wstring ProgressMessage(const std::wstring& remoteName, std::int32_t total);

}  // namespace vlr
