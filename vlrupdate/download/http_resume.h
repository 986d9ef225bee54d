// How DownloadFile, when its connection broke, asks for the rest of the file, and which
// answers it takes, whichever internet layer carries them. The bytes already written are
// kept only when the server proves the file is the same one (If-Range with a strong
// validator) and sends exactly the part that is missing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/internet.h"

namespace platform {

// What an answer that carried the whole file says about it.
struct FileIdentity {
  // The If-Range value: a strong ETag, else Last-Modified; empty for none.
  std::string validator;
  std::int64_t length = -1;  // the announced length; -1 when none was announced
};

// The identity of the file in an answer, from its ETag, Last-Modified and
// Content-Length values (nothing for a header the answer did not have). A weak or
// malformed ETag is no validator: Last-Modified stands in for it.
FileIdentity IdentityFrom(const std::optional<std::string>& etag,
                          const std::optional<std::string>& lastModified,
                          const std::optional<std::string>& contentLength);

// The identity of the file in the final answer on `url`, read through the seam.
FileIdentity AnswerIdentity(Internet& internet, InternetHandle url);

// The request header lines ("Range: bytes=N-" and "If-Range: ...", CR LF after each)
// that ask for the file from byte `offset` on; empty when `file` has no validator or
// no length, and the file is to be fetched whole again.
std::string ContinuationHeaders(const FileIdentity& file, std::int64_t offset);

enum class ContinuationVerdict {
  kAppend,   // the missing part of the same file: write it after the `offset` bytes kept
  kRestart,  // the whole file (200): start again from its first byte
  kRefuse,   // anything else: the download fails
};

// Judges the answer to a continuation: a 200 starts again; a 206 is taken only when a
// Range was asked (`rangeAsked`), its Content-Range is "bytes offset-(length-1)/length"
// with the length of `file`, and, when `file` is known by a strong ETag, the ETag the
// 206 carries (`etag`, none for an answer without one) is that very tag: a server that
// sends a part of another file is not trusted with this one. Any other status, unknown
// ones included, is refused.
ContinuationVerdict JudgeContinuation(bool rangeAsked, std::optional<std::uint32_t> status,
                                      const std::optional<std::string>& contentRange,
                                      const std::optional<std::string>& etag,
                                      std::int64_t offset, const FileIdentity& file);

}  // namespace platform
