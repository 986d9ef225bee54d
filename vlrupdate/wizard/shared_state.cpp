#include "wizard/shared_state.h"

namespace vlr {

std::int16_t IsFrench = 0;
std::int16_t CurrentStep = 0;

}  // namespace vlr
