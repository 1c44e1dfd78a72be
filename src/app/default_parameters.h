#pragma once
// The built-in texts of the 24 parameters, compiled into the program from
// the files under data/params.

#include <array>
#include <string_view>

#include "output/parameter_texts.h"
#include "runtime/gbk_text.h"

namespace qx::app {

struct DefaultParameter {
    std::string_view name;  // GBK
    runtime::Text content;  // GBK
};

// Rows 1..24 at indexes 0..23. Built at first use from the embedded data
// files by the rule of data/params/README.md.
const std::array<DefaultParameter, 24>& DefaultParameters();

// The same texts by row number, as page generation takes them (for a fresh
// program home, or a run without a parameter table).
output::ParameterTexts DefaultParameterTexts();

}  // namespace qx::app
