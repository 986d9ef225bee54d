#include "wizard/update_outcome.h"

#include "mirror/mirror_rules.h"
#include "platform/text.h"

namespace vlr {

namespace {

std::wstring Dotted(const std::string& digits) {
  return platform::FromAnsi(DottedVersion(digits));
}

}  // namespace

std::wstring StepMessage(const UpdateResult& result, bool french) {
  switch (result.outcome) {
    case UpdateOutcome::kUpdated:
      return (french ? L"Mise-à-jour réussie!" : L"Update succeeded!") +
             (L"\r\nVersion " + Dotted(result.digits));
    case UpdateOutcome::kUpToDate:
      return (french ? L"Déjà à jour!" : L"Already up to date!") +
             (L"\r\nVersion " + Dotted(result.digits));
    case UpdateOutcome::kNotFetched:
      return french ? L"Echec de la connexion internet..." : L"Failed connecting to internet...";
    case UpdateOutcome::kNotAuthentic:
      return french ? L"Mise-à-jour non authentique!" : L"Update not authentic!";
    case UpdateOutcome::kRefusedOlder: {
      const std::wstring older = Dotted(result.digits);
      const std::wstring newer = Dotted(result.installed.value_or(std::string()));
      return french ? L"Mise-à-jour refusée!\r\nLa version " + older +
                          L" est plus ancienne que " + newer
                    : L"Update refused!\r\nVersion " + older + L" is older than " + newer;
    }
    case UpdateOutcome::kExtractionFailed:
    case UpdateOutcome::kExtractionUnfinished:
      return french ? L"DLL Unzip manquante ou téléchargement imcomplet!"
                    : L"Unzip DLL missing or incomplete download!";
    case UpdateOutcome::kWindowClosed:
      break;
  }
  return {};
}

int QuietExitCode(UpdateOutcome outcome) {
  switch (outcome) {
    case UpdateOutcome::kUpdated:
    case UpdateOutcome::kUpToDate:
      return 0;
    case UpdateOutcome::kNotFetched:
    case UpdateOutcome::kWindowClosed:
      return 1;
    case UpdateOutcome::kNotAuthentic:
      return 2;
    case UpdateOutcome::kRefusedOlder:
      return 3;
    case UpdateOutcome::kExtractionFailed:
      return 4;
    case UpdateOutcome::kExtractionUnfinished:
      return 7;
  }
  return 1;
}

}  // namespace vlr
