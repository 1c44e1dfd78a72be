#pragma once
// "image inspect FILE": checks a program image and prints what it holds.

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx::image {

// The program image inside `bytes`: the bytes themselves when they start
// with "VQ", or the .qximage section of an ELF executable (the launcher).
// Nothing when neither holds one.
std::optional<std::string_view> FindImageBytes(std::string_view bytes);

// Prints a readable summary of the image in FILE (a raw image or an
// executable carrying one) to `out`. Returns 0 for a valid image, 1 when the
// file cannot be read or the image is damaged (the first fault and its
// offset go to `err`).
int RunImageInspect(const std::filesystem::path& file, std::ostream& out, std::ostream& err);

// The command line "image inspect FILE" (args without the program name,
// starting at "inspect"): 2 for bad usage.
int RunImageCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace qx::image
