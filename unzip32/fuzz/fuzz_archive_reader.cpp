// libFuzzer target: any bytes as an archive. See run_fuzz.sh.
#include <cstddef>
#include <cstdint>

#include "archive_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uz32::ProbeArchive(data, size);
  return 0;
}
