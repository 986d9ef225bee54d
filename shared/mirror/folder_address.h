// Mirror addresses that name a folder: a file server's share, a drive or a file URL.
// Such a mirror is read from the file system instead of over HTTP.
#pragma once

#include <optional>
#include <string>

namespace vlr {

// True when `address` names a folder: "\\server\share\path", "X:\path" (or "X:/path"),
// "file:///X:/path", "file://server/share/path" ("file:" in any case; on Linux
// "file:///path" is the absolute path "/path"). No such text was ever a working web
// address, so every other address keeps its meaning.
bool IsFolderAddress(const std::wstring& address);

// The folder `address` names, as the system writes paths, ending with its separator
// ("file://server/share/a%20b" gives "\\server\share\a b\" on Windows; on Linux
// "file:///srv/a%20b" gives "file:///srv/a b/", read as "/srv/a b/"); nothing for an
// address that is not a folder. Throws only std::bad_alloc.
std::optional<std::wstring> FolderOfAddress(const std::wstring& address);

}  // namespace vlr
