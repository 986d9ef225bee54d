// State the wizard keeps for the life of the process.
#pragma once

#include <cstdint>

namespace vlr {

// 1 when the command line asks for French, else 0; decided once at start-up.
extern std::int16_t IsFrench;

// The wizard step shown: 0 close all copies, 1 choose a mirror, 2 the update run.
extern std::int16_t CurrentStep;

}  // namespace vlr
