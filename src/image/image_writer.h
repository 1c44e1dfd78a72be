#pragma once
// Writes program images in the stored layout: the bundle's image at build
// time, and images for the tests of the reader.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image/program_image.h"

namespace qx::image {

struct ImageSpec {
    std::array<std::uint32_t, 5> words = {1, 3, 0, 67562, 1};
    std::vector<LibraryEntry> libraries;
    std::string constData;         // the const segment's bytes
    std::uint32_t constSize = 0;   // its size in memory; at least the data
    std::vector<FormWindow> windows;
    std::uint32_t helpSize = 52;   // zero bytes
    std::string code;
    std::vector<CodeRelocation> relocations;
    std::uint32_t entry = 0;       // code offset of the entry routine
    std::uint32_t varSize = 76;
    bool withLoadLists = true;
    LoadLists loadLists;
    std::uint32_t dllLibraryName = 0;   // const offsets
    std::uint32_t dllFunctionName = 0;
};

// The form segment's bytes for these windows.
std::string EncodeForm(const std::vector<FormWindow>& windows);

// One unit record, its length word first.
std::string EncodeUnit(const FormUnit& unit);

// The whole image: header, library list, then each segment's header
// followed by its data, in the order const, form, help, code, var, @reloc1.
std::string WriteProgramImage(const ImageSpec& imageSpec);

// A const segment being filled: texts are appended NUL-terminated and their
// offsets returned; offset 28 holds the empty text.
class ConstBuilder {
public:
    ConstBuilder();
    std::uint32_t AddText(const std::string& text);
    std::uint32_t AddDouble(double value);
    const std::string& Bytes() const { return m_bytes; }
    static constexpr std::uint32_t kEmptyText = 28;

private:
    std::string m_bytes;
};

}  // namespace qx::image
