// The settings file reader on arbitrary file contents.
//
// Checked: no crash or sanitizer report; the paths read come out as
// well-formed UTF-8 (they go to the file system and to widgets); the layout
// mode is one of the three.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/settings.h"
#include "pipeline_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qx;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const app::Settings s = app::ReadSettingsText(bytes, "/home/reader/Documents");
    fuzz::Require(fuzz::WellFormedUtf8(s.outputDirectory) && fuzz::WellFormedUtf8(s.inputDirectory) &&
                      fuzz::WellFormedUtf8(s.packerPath), "a path read wrongly");
    fuzz::Require(s.layoutMode == text::LayoutMode::SeparateLines || s.layoutMode == text::LayoutMode::OneLine ||
                      s.layoutMode == text::LayoutMode::Headings,
                  "a layout mode out of range");
    return 0;
}
