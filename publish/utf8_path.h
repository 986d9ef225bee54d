// File names as UTF-8 text: the form of every name and message inside vlrpublish.
#pragma once

#include <filesystem>
#include <string>

namespace vlrpub {

// The path named by UTF-8 text (on Linux the bytes are taken as they are).
std::filesystem::path PathFromUtf8(const std::string& text);

// The path as UTF-8 text (on Linux the native bytes, whatever they are).
std::string Utf8FromPath(const std::filesystem::path& path);

// The signature file beside `file`, named as the mirror names it.
std::filesystem::path SignaturePath(const std::filesystem::path& file);

}  // namespace vlrpub
