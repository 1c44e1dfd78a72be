// Feeds arbitrary bytes to the program-image reader.
//
// Checked: reading either succeeds or throws ImageFormatError with an offset
// inside the input (anything else, a crash or a sanitizer report is a
// finding); an accepted image's size lies inside the input, and reading just
// those bytes gives the same image.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "image/program_image.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qx::image;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const ProgramImage image = ReadProgramImage(bytes);
        Check(image.size <= size);
        const ProgramImage again = ReadProgramImage(bytes.substr(0, image.size));
        Check(again.windows == image.windows && again.libraries == image.libraries &&
              again.loadLists == image.loadLists && again.header == image.header);
        for (const Segment& s : image.segments) Check(s.data.size() <= s.memorySize);
    } catch (const ImageFormatError& e) {
        Check(e.Offset() <= size);
    }
    return 0;
}
