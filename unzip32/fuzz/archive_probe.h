// The archive reader run over bytes in memory, as a run reads a file but writing
// nothing: the directory, the name-list matcher over every name, every check of the
// plan (with and without recreated folders), and every member decoded (each encrypted
// one with the first of a few fixed passwords that passes its check). Shared by the
// fuzz target and the test that replays its findings.
#pragma once

#include <cstddef>
#include <cstdint>

namespace uz32 {

// Returns the result code a test-mode run would give (0 when every member decodes).
// Output per member is capped at 8 MiB, after which it fails like a write error.
int32_t ProbeArchive(const uint8_t* data, size_t size);

}  // namespace uz32
