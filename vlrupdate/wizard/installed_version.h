// The version the last successful update installed, recorded in Veloran's folder, so
// that an older one is not installed over it.
#pragma once

#include <optional>
#include <string>

namespace vlr {

// The record's name in Veloran's folder.
inline constexpr char kInstalledVersionFile[] = "vlrupdate.installed";

// The three digits recorded in `folder` (ending with its separator); nothing when there
// is no record or when it does not hold three ASCII digits at its start, followed by
// nothing but a line end. Never throws.
std::optional<std::string> ReadInstalledVersion(const std::wstring& folder);

// Records `digits` in `folder`: written to a temporary name beside the record, flushed
// to the disk, then put in its place in one step, so that a cut (even of the power)
// leaves the old record or the new one. False
// when it could not be written (the old record is then as it was). Never throws.
bool RecordInstalledVersion(const std::wstring& folder, const std::string& digits);

}  // namespace vlr
