// The Windows build of vlrpublish signs nothing: reading a PEM private key would take
// a parser of our own, and `openssl dgst -sha256 -sign` or the Linux build do the job.
#include "vlrpublish/package_signing.h"

namespace vlrpub {

struct PackageSigner::Key {};

PackageSigner::PackageSigner(const std::filesystem::path&)
    : error_("this build of vlrpublish cannot sign: use the Linux build, or make the mirror "
             "without --sign and sign its version.html with openssl dgst -sha256 -sign "
             "private.pem -out version.html.sig version.html") {}

PackageSigner::~PackageSigner() = default;

std::string PackageSigner::Sign(const std::filesystem::path&, const std::filesystem::path&) const {
  return error_;
}

}  // namespace vlrpub
