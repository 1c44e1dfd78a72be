#pragma once
// The program image: the application as the runtime receives it. A 96-byte
// header, the list of support libraries, then a chain of segments (const,
// form, help, code, var, @reloc1) with the code's relocation entries and the
// load-time lists. All integers are 32-bit little-endian; an image offset
// counts from the image's first byte.
//
// ReadProgramImage checks every field it reads against the bytes it has and
// against the rest of the image, and stops at the first violation with its
// image offset; a damaged image never makes it read outside the bytes or
// allocate from an unchecked count.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qx::image {

inline constexpr std::size_t kHeaderSize = 96;
inline constexpr std::size_t kSegmentHeaderSize = 56;
inline constexpr std::uint32_t kNone = 0xFFFFFFFF;
inline constexpr std::uint32_t kDataSegmentFlags = 1;
inline constexpr std::uint32_t kCodeSegmentFlags = 5;
inline constexpr std::uint32_t kVarSegmentFlags = 0x13;
inline constexpr int kServiceCount = 13;
inline constexpr std::size_t kMaxSegments = 64;
inline constexpr std::array<const char*, 5> kNamedSegments = {"const", "form", "help", "code", "var"};
inline constexpr const char* kLoadListSegment = "@reloc1";

// Identifier kinds, in the high half of an identifier.
inline constexpr std::uint32_t kWindowIdKind = 0x5201;
inline constexpr std::uint32_t kControlIdKind = 0x1601;
inline constexpr std::uint32_t kMenuItemIdKind = 0x2601;
inline constexpr std::uint32_t kWindowUnitIdKind = 0x0601;
inline constexpr std::uint32_t kMenuIdKind = 0x1901;
constexpr std::uint32_t IdKind(std::uint32_t id) { return id >> 16; }

// A unit type is (library number + 1) * 65536 + unit number.
constexpr std::uint32_t UnitType(std::uint32_t library, std::uint32_t unit) { return (library + 1) * 65536 + unit; }
inline constexpr std::uint32_t kWindowUnit = UnitType(0, 1);
inline constexpr std::uint32_t kTabControlUnit = UnitType(0, 21);

class ImageFormatError : public std::runtime_error {
public:
    ImageFormatError(std::uint64_t offset, const std::string& reason);
    std::uint64_t Offset() const { return m_offset; }
    const std::string& Reason() const { return m_reason; }

private:
    std::uint64_t m_offset;
    std::string m_reason;
};

struct ImageHeader {
    std::uint32_t firstSegment = 0;               // offset 36, again at 84
    std::array<std::uint32_t, 5> words{};         // offset 40
    std::uint32_t entry = 0;                      // offset 60: the entry routine, inside code
    std::array<std::uint32_t, 5> namedSegments{};  // offset 64: const, form, help, code, var headers
    std::uint32_t dllLibraryName = 0;             // offset 88: const offsets of the declared
    std::uint32_t dllFunctionName = 0;            // DLL function's library and name
    bool operator==(const ImageHeader&) const = default;
};

// One support library; its position in the list is its library number.
struct LibraryEntry {
    std::string fileName;  // without extension
    std::string identifier;
    std::string major;
    std::string minor;
    std::string description;
    bool operator==(const LibraryEntry&) const = default;
};

enum class RelocationKind : std::uint32_t { Service = 0, Const = 1, Var = 2, Code = 3 };

// A 32-bit immediate in the code that the runtime fixes up at load.
struct CodeRelocation {
    std::uint32_t codeOffset = 0;
    RelocationKind kind = RelocationKind::Const;
    bool operator==(const CodeRelocation&) const = default;
};

struct Segment {
    std::uint32_t headerOffset = 0;
    std::uint32_t headerLength = 0;
    std::uint32_t next = kNone;
    std::uint32_t flags = 0;
    std::string name;
    std::uint32_t memorySize = 0;
    std::uint32_t dataOffset = kNone;
    std::string data;                          // the image bytes of the segment (may be shorter than memory)
    std::vector<CodeRelocation> relocations;  // the code segment's only
};

// The four lists of "@reloc1": code offsets of immediates the runtime
// renumbers at load.
struct LoadLists {
    std::vector<std::uint32_t> identifiers;   // window and control identifiers
    std::vector<std::uint32_t> dllFunctions;  // declared-DLL-function numbers
    std::vector<std::uint32_t> libraries;     // support-library numbers
    std::vector<std::uint32_t> unitTypes;     // control unit types
    bool operator==(const LoadLists&) const = default;
};

// One window or control definition of the form segment.
struct FormUnit {
    std::uint32_t identifier = 0;
    std::uint32_t type = 0;
    std::string name;  // empty for the window
    std::string remark;
    std::uint32_t tag = 0;
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    std::uint32_t parent = 0;               // 0 on the window level
    std::vector<std::uint32_t> children;    // a tab control ends each page's list with 0
    std::uint32_t cursor = 0;               // 0 default, 0x7F89 hand
    std::uint32_t flags = 0;                // bit 0 visible, bit 1 disabled, bit 2 buttons, boxes, lists
    std::uint32_t smallNumber = 0;
    std::vector<std::pair<std::int32_t, std::uint32_t>> events;  // event number, handler code offset
    std::string properties;                 // the unit type's own properties, as stored
    bool operator==(const FormUnit&) const = default;

    bool Visible() const { return (flags & 1) != 0; }
    bool Disabled() const { return (flags & 2) != 0; }
};
inline constexpr std::uint32_t kMaxUnitFlags = 7;

struct FormWindow {
    std::uint32_t identifier = 0;
    std::uint32_t menu = 0;       // 0x1901nnnn, or 0 without a menu
    std::vector<FormUnit> units;  // the window itself first
    bool operator==(const FormWindow&) const = default;
};

struct ProgramImage {
    ImageHeader header;
    std::vector<LibraryEntry> libraries;
    std::vector<Segment> segments;  // in chain order
    LoadLists loadLists;
    std::vector<FormWindow> windows;
    std::size_t size = 0;  // bytes from the image's start to the end of its last part

    const Segment* Find(std::string_view name) const;
    // The NUL-terminated text at a const-segment offset; nothing outside.
    std::optional<std::string_view> ConstText(std::uint32_t offset) const;
    const FormWindow* FindWindow(std::uint32_t identifier) const;
};

// Reads and validates the image at the start of `bytes`; bytes after its
// end are ignored. Throws ImageFormatError at the first violation.
ProgramImage ReadProgramImage(std::string_view bytes);

}  // namespace qx::image
