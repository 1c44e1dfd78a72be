#include "image/image_inspect.h"

#include <cstdio>
#include <map>
#include <ostream>

#include "image/program_image.h"
#include "runtime/encoding.h"
#include "runtime/files.h"

namespace qx::image {
namespace {

std::uint64_t Le(std::string_view b, std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

// The named section of a little-endian 64-bit ELF file, every offset checked.
std::optional<std::string_view> ElfSection(std::string_view b, std::string_view wanted) {
    if (b.size() < 64 || b.substr(0, 4) != "\x7F" "ELF" || b[4] != 2 || b[5] != 1) return std::nullopt;
    const std::uint64_t shoff = Le(b, 0x28, 8), shentsize = Le(b, 0x3A, 2), shnum = Le(b, 0x3C, 2),
                        shstrndx = Le(b, 0x3E, 2);
    if (shentsize < 64 || shstrndx >= shnum || shoff > b.size() || (b.size() - shoff) / shentsize < shnum)
        return std::nullopt;
    const auto section = [&](std::uint64_t i) { return static_cast<std::size_t>(shoff + i * shentsize); };
    const std::uint64_t strOff = Le(b, section(shstrndx) + 24, 8), strSize = Le(b, section(shstrndx) + 32, 8);
    if (strOff > b.size() || strSize > b.size() - strOff) return std::nullopt;
    const std::string_view names = b.substr(static_cast<std::size_t>(strOff), static_cast<std::size_t>(strSize));
    for (std::uint64_t i = 0; i < shnum; ++i) {
        const std::uint64_t nameAt = Le(b, section(i), 4);
        if (nameAt >= names.size()) continue;
        const std::string_view name = names.substr(static_cast<std::size_t>(nameAt));
        if (name.substr(0, name.find('\0')) != wanted) continue;
        const std::uint64_t off = Le(b, section(i) + 24, 8), size = Le(b, section(i) + 32, 8);
        if (off > b.size() || size > b.size() - off) return std::nullopt;
        return b.substr(static_cast<std::size_t>(off), static_cast<std::size_t>(size));
    }
    return std::nullopt;
}

std::string Hex(std::uint64_t v) {
    char s[24];
    std::snprintf(s, sizeof s, "0x%llX", static_cast<unsigned long long>(v));
    return s;
}

std::string Utf8(std::string_view gbk) {
    try {
        return runtime::GbkToUtf8(gbk);
    } catch (const std::exception&) {
        return std::string(gbk);
    }
}

const char* KindName(RelocationKind k) {
    switch (k) {
        case RelocationKind::Service: return "service";
        case RelocationKind::Const: return "const";
        case RelocationKind::Var: return "var";
        case RelocationKind::Code: return "code";
    }
    return "?";
}

void Print(const ProgramImage& image, std::ostream& out) {
    const ImageHeader& h = image.header;
    out << "image size " << image.size << " bytes, entry routine at " << Hex(h.entry) << "\n";
    out << "header words";
    for (const std::uint32_t w : h.words) out << " " << w;
    out << "\n";
    out << "declared DLL function " << Utf8(*image.ConstText(h.dllFunctionName)) << " in "
        << Utf8(*image.ConstText(h.dllLibraryName)) << "\n";
    out << "libraries (" << image.libraries.size() << "):\n";
    for (std::size_t i = 0; i < image.libraries.size(); ++i) {
        const LibraryEntry& l = image.libraries[i];
        out << "  " << i << "  " << Utf8(l.fileName) << "  " << Utf8(l.identifier) << "  " << Utf8(l.major) << "."
            << Utf8(l.minor) << "  " << Utf8(l.description) << "\n";
    }
    out << "segments (" << image.segments.size() << "):\n";
    for (const Segment& s : image.segments) {
        out << "  " << s.name << "  flags " << Hex(s.flags) << "  memory " << s.memorySize << "  data " << s.data.size();
        if (s.dataOffset != kNone) out << " at " << Hex(s.dataOffset);
        out << "\n";
    }
    const Segment& code = *image.Find("code");
    std::map<RelocationKind, int> kinds;
    for (const CodeRelocation& r : code.relocations) ++kinds[r.kind];
    out << "code relocations " << code.relocations.size() << ":";
    for (const auto& [kind, n] : kinds) out << " " << KindName(kind) << " " << n;
    out << "\n";
    const LoadLists& l = image.loadLists;
    out << "load lists: identifiers " << l.identifiers.size() << ", DLL functions " << l.dllFunctions.size()
        << ", libraries " << l.libraries.size() << ", unit types " << l.unitTypes.size() << "\n";
    const Segment& constant = *image.Find("const");
    int texts = 0;
    for (std::size_t at = 29; at < constant.data.size();) {
        const std::size_t end = constant.data.find('\0', at);
        if (end == std::string::npos) break;
        if (end > at) ++texts;
        at = end + 1;
    }
    out << "const texts " << texts << "\n";
    out << "windows (" << image.windows.size() << "):\n";
    for (const FormWindow& w : image.windows) {
        const FormUnit& self = w.units.front();
        out << "  " << Hex(w.identifier) << "  " << self.width << "x" << self.height << " at " << self.left << ","
            << self.top << "  menu " << Hex(w.menu) << "  " << w.units.size() - 1 << " controls, "
            << self.events.size() << " events\n";
        for (std::size_t i = 1; i < w.units.size(); ++i) {
            const FormUnit& u = w.units[i];
            out << "    " << Hex(u.identifier) << "  " << Utf8(u.name) << "  type " << Hex(u.type) << "  " << u.left
                << "," << u.top << " " << u.width << "x" << u.height << (u.Visible() ? "" : "  hidden")
                << (u.Disabled() ? "  disabled" : "") << "  parent " << Hex(u.parent);
            if (!u.children.empty()) out << "  children " << u.children.size();
            if (!u.events.empty()) out << "  events " << u.events.size();
            out << "\n";
        }
    }
}

}  // namespace

std::optional<std::string_view> FindImageBytes(std::string_view bytes) {
    if (bytes.substr(0, 2) == "VQ") return bytes;
    return ElfSection(bytes, ".qximage");
}

int RunImageInspect(const std::filesystem::path& file, std::ostream& out, std::ostream& err) {
    const auto bytes = runtime::ReadWholeFile(file);
    if (!bytes) {
        err << "error: cannot read " << file.string() << "\n";
        return 1;
    }
    const auto imageBytes = FindImageBytes(*bytes);
    if (!imageBytes) {
        err << "error: " << file.string() << " holds no program image\n";
        return 1;
    }
    try {
        const ProgramImage image = ReadProgramImage(*imageBytes);
        out << "program image in " << file.string() << "\n";
        Print(image, out);
        return 0;
    } catch (const ImageFormatError& e) {
        err << "error: " << file.string() << ": damaged program image: " << e.Reason() << " at offset "
            << Hex(e.Offset()) << " (" << e.Offset() << ")\n";
        return 1;
    }
}

int RunImageCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2 || args[0] != "inspect") {
        err << "usage: image inspect FILE   check a program image (or an executable carrying one) and\n"
               "                            print its libraries, segments, relocations and windows\n";
        return 2;
    }
    return RunImageInspect(args[1], out, err);
}

}  // namespace qx::image
