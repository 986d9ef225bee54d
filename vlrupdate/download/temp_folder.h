// The temporary folder the update run downloads into.
#pragma once

#include <string>

namespace vlr {

// The system's temporary folder, ending with the separator the system gives, asked
// anew on every call. Empty text when the system call fails or the path does not fit
// in the 512-character buffer; never throws.
std::wstring GetTempFolder();

}  // namespace vlr
