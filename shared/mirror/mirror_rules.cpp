#include "mirror/mirror_rules.h"

#include <optional>

#include "mirror/folder_address.h"

namespace vlr {

std::wstring NormalisedSiteAddress(std::wstring address) {
  if (std::optional<std::wstring> folder = FolderOfAddress(address)) return *folder;
  // A text shorter than a scheme never matches it. An https mirror keeps its scheme.
  if (address.compare(0, 7, L"http://") != 0 && address.compare(0, 8, L"https://") != 0) {
    address.insert(0, L"http://");
  }
  if (address.back() != L'/') address += L'/';
  return address;
}

std::string PackageName(const std::string& digits, bool french) {
  return "vlr" + digits + (french ? "fr" : "") + ".zip";
}

std::string SignatureName(const std::string& name) { return name + ".sig"; }

std::string SecondSignatureName(const std::string& name) { return name + ".sig2"; }

bool IsSignatureName(const std::string& name) {
  return name.ends_with(".sig") || name.ends_with(".sig2");
}

std::string DottedVersion(const std::string& digits) {
  std::string dotted;
  for (char c : digits) {
    if (!dotted.empty()) dotted += '.';
    dotted += c;
  }
  return dotted;
}

}  // namespace vlr
