// Reading the version number out of the mirror's "version.html".
#pragma once

#include <string>
#include <string_view>

namespace vlr {

// The ASCII digits of the lines of `content` up to the first empty line, of which the
// last three are kept (all of them when there are fewer). A line ends at CR or CR LF;
// a lone LF ends no line. At least one line is read; the empty line that stops the
// reading contributes nothing.
std::string VersionDigits(std::string_view content);

// The same for the file at `path`; a file that cannot be read gives no digits.
std::string ReadVersionDigits(const std::wstring& path);

}  // namespace vlr
