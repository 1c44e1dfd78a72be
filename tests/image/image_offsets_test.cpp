#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "image/program_image.h"

namespace qx::image {
namespace {

// An image whose load-list segment has no data (its data offset says none)
// used to be refused with an offset of 0xFFFFFFFF and more: every error of
// a refused image names a place inside it.
TEST(ImageOffsets, ASegmentWithoutDataIsRefusedAtAPlaceInsideTheImage) {
    const auto file =
        std::filesystem::path(QX_SOURCE_DIR) / "fuzz" / "seeds" / "image_fuzz" / "regression-lists-segment-without-data";
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << file;
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string image = bytes.str();
    try {
        (void)ReadProgramImage(image);
        FAIL() << "read as an image";
    } catch (const ImageFormatError& e) {
        EXPECT_LT(e.Offset(), image.size()) << e.what();
    }
}

}  // namespace
}  // namespace qx::image
