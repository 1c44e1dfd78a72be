#pragma once

#include <array>

#include "runtime/gbk_text.h"

namespace qx::output {

// The 24 parameter texts by row number (GBK); index 0 is not used.
using ParameterTexts = std::array<runtime::Text, 25>;

}  // namespace qx::output
