#pragma once
// The whole text pipeline on bytes held in memory, as the fuzz targets and
// the script check drive it: the Next step, automatic and manual layout,
// both previews, every chapter fragment, the page table, the menu script and
// the EPUB's documents. Every Index the pipeline leaves is checked, and a
// breach aborts the process with what was wrong.
//
// Input layout: three choice bytes, then the text.
//   byte 0: bits 0-1 mode (separate lines, one line, headings; 3 = left to
//           the step), bit 2 automatic layout after analysis, bits 3-7 the
//           node manual layout starts from
//   byte 1: bits 0-2 conversion (none, UTF-16, BIG5, traditional GBK,
//           UTF-8, detected; 6-7 none), bit 3 simplify, bit 4 keep
//           traditional characters, bits 5-6 the answer to the step's
//           question (Yes, No, Cancel, Cancel), bit 7 run the EPUB part
//   byte 2: length of the title taken from the text's end (0-15) and of the
//           author (bits 4-7)

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "checks.h"
#include "text/chapters.h"

namespace qx::fuzz {

// What the pipeline made that a browser runs as script, GBK: "js/page.js",
// "js/mb.js", "txt/<label>.txt".
using ScriptSink = std::function<void(const std::string& name, const std::string& gbkScript)>;

struct PipelineFigures {
    bool loaded = false;
    int chapters = 0;
};

// Runs everything on `input` (choice bytes and text). `scripts`, when set,
// receives every script text made.
PipelineFigures RunPipeline(std::string_view input, const ScriptSink& scripts = {});

}  // namespace qx::fuzz
