// The whole text pipeline on arbitrary bytes, in memory: the Next step in
// every mode and conversion (and with both left to it), automatic and
// manual layout, both previews, every chapter fragment, the page table, the
// menu script and the EPUB's documents (see pipeline_harness.h for how the
// first bytes choose).
//
// Checked: no crash, sanitizer report or hang; the Index is whole after
// every step (pipeline_harness.cpp, CheckIndex); every script text is safe
// to run (the quotes and line ends of every string escaped, as a browser
// reading GBK sees them); every EPUB document is well-formed UTF-8 XML text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pipeline_harness.h"
#include "script_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    qx::fuzz::RunPipeline(input, [](const std::string& name, const std::string& script) {
        qx::fuzz::Require(qx::fuzz::ScriptStringsClosed(script), name.c_str());
    });
    return 0;
}
