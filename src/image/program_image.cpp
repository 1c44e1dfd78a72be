#include "image/program_image.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace qx::image {

ImageFormatError::ImageFormatError(std::uint64_t offset, const std::string& reason)
    : std::runtime_error(reason + " at offset " + std::to_string(offset)), m_offset(offset), m_reason(reason) {}

const Segment* ProgramImage::Find(std::string_view name) const {
    for (const Segment& s : segments) {
        if (s.name == name) return &s;
    }
    return nullptr;
}

std::optional<std::string_view> ProgramImage::ConstText(std::uint32_t offset) const {
    const Segment* c = Find("const");
    if (!c || offset >= c->data.size()) return std::nullopt;
    const std::size_t end = c->data.find('\0', offset);
    if (end == std::string::npos) return std::nullopt;
    return std::string_view(c->data).substr(offset, end - offset);
}

const FormWindow* ProgramImage::FindWindow(std::uint32_t identifier) const {
    for (const FormWindow& w : windows) {
        if (w.identifier == identifier) return &w;
    }
    return nullptr;
}

namespace {

std::string Hex(std::uint32_t v) {
    char s[16];
    std::snprintf(s, sizeof s, "0x%X", static_cast<unsigned>(v));
    return s;
}

// Reads a window of the image; every read is checked against the window's
// end and reported with its image offset.
class Reader {
public:
    Reader(std::string_view bytes, std::size_t base, std::size_t at = 0) : m_bytes(bytes), m_base(base), m_at(at) {}

    std::size_t At() const { return m_at; }
    std::size_t ImageOffset() const { return m_base + m_at; }
    std::size_t Left() const { return m_bytes.size() - m_at; }
    [[noreturn]] void Fail(const std::string& reason) const { throw ImageFormatError(ImageOffset(), reason); }

    void Need(std::size_t n, const char* what) const {
        if (Left() < n) Fail(std::string(what) + " runs past the end");
    }
    std::uint32_t Word(const char* what) {
        Need(4, what);
        const auto* p = reinterpret_cast<const unsigned char*>(m_bytes.data() + m_at);
        m_at += 4;
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
    std::int32_t Signed(const char* what) { return static_cast<std::int32_t>(Word(what)); }
    void Zero(std::size_t n, const char* what) {
        Need(n, what);
        for (std::size_t i = 0; i < n; ++i, ++m_at) {
            if (m_bytes[m_at] != '\0') Fail(std::string(what) + " must be zero");
        }
    }
    void ZeroWord(const char* what) {
        const std::size_t at = m_at;
        if (Word(what) != 0) {
            m_at = at;
            Fail(std::string(what) + " must be zero");
        }
    }
    std::string Text(const char* what) {
        const std::size_t end = m_bytes.find('\0', m_at);
        if (end == std::string_view::npos) Fail(std::string(what) + " has no end");
        std::string text(m_bytes.substr(m_at, end - m_at));
        m_at = end + 1;
        return text;
    }
    std::string Bytes(std::size_t n, const char* what) {
        Need(n, what);
        std::string out(m_bytes.substr(m_at, n));
        m_at += n;
        return out;
    }
    // A count of `elementSize`-byte elements that must fit in what is left.
    std::uint32_t Count(std::size_t elementSize, const char* what) {
        const std::uint32_t n = Word(what);
        if (static_cast<std::uint64_t>(n) * elementSize > Left()) {
            m_at -= 4;
            Fail(std::string(what) + " " + std::to_string(n) + " is more than the bytes that follow");
        }
        return n;
    }

private:
    std::string_view m_bytes;
    std::size_t m_base;
    std::size_t m_at;
};

std::uint32_t WordAt(std::string_view bytes, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Library list: one record per library, five fields separated by CR and
// ended by NUL, up to the first segment header; zero bytes may pad it.
std::vector<LibraryEntry> ReadLibraries(std::string_view bytes, std::size_t end) {
    std::vector<LibraryEntry> libraries;
    Reader r(bytes.substr(0, end), 0, kHeaderSize);
    while (r.Left() > 0) {
        if (bytes[r.At()] == '\0') {
            r.Zero(r.Left(), "padding after the library list");
            break;
        }
        const std::size_t start = r.ImageOffset();
        const std::string record = r.Text("library record");
        std::vector<std::string> fields;
        std::size_t from = 0;
        for (std::size_t cr = record.find('\r'); cr != std::string::npos; cr = record.find('\r', from)) {
            fields.push_back(record.substr(from, cr - from));
            from = cr + 1;
        }
        fields.push_back(record.substr(from));
        if (fields.size() != 5)
            throw ImageFormatError(start, "library record has " + std::to_string(fields.size()) + " fields, not 5");
        if (fields[0].empty()) throw ImageFormatError(start, "library record without a file name");
        libraries.push_back({fields[0], fields[1], fields[2], fields[3], fields[4]});
    }
    if (libraries.empty()) throw ImageFormatError(kHeaderSize, "the library list is empty");
    return libraries;
}

std::uint32_t ExpectedFlags(const std::string& name) {
    if (name == "code") return kCodeSegmentFlags;
    if (name == "var") return kVarSegmentFlags;
    return kDataSegmentFlags;
}

std::vector<Segment> ReadSegments(std::string_view bytes, std::uint32_t first, std::size_t& extent) {
    std::vector<Segment> segments;
    std::set<std::uint32_t> seen;
    std::set<std::string> names;
    std::size_t linkAt = 36;  // where the offset of the header being read came from
    for (std::uint32_t at = first; at != kNone;) {
        if (segments.size() == kMaxSegments) throw ImageFormatError(linkAt, "more than 64 segments");
        if (!seen.insert(at).second) throw ImageFormatError(linkAt, "segment chain returns to " + Hex(at));
        if (at < kHeaderSize || at > bytes.size() || bytes.size() - at < kSegmentHeaderSize)
            throw ImageFormatError(linkAt, "segment header offset " + Hex(at) + " is outside the image");
        Reader r(bytes, 0, at);
        Segment s;
        s.headerOffset = at;
        s.headerLength = r.Word("segment header length");
        s.next = r.Word("next segment");
        const std::size_t flagsAt = r.At();
        s.flags = r.Word("segment flags");
        const std::size_t nameAt = r.At();
        const std::string name = r.Bytes(20, "segment name");
        s.name = name.substr(0, name.find('\0'));
        if (s.name.empty()) throw ImageFormatError(nameAt, "segment without a name");
        if (name.find_first_not_of('\0', s.name.size()) != std::string::npos)
            throw ImageFormatError(nameAt, "segment name is not padded with zero bytes");
        if (!names.insert(s.name).second) throw ImageFormatError(nameAt, "second segment named " + s.name);
        if (s.flags != ExpectedFlags(s.name))
            throw ImageFormatError(flagsAt, "segment " + s.name + " has flags " + Hex(s.flags) + ", not " +
                                                Hex(ExpectedFlags(s.name)));
        r.ZeroWord("word 32 of a segment header");
        s.memorySize = r.Word("segment memory size");
        const std::size_t sizeAt = r.At();
        const std::uint32_t dataSize = r.Word("segment data size");
        const std::size_t dataAt = r.At();
        s.dataOffset = r.Word("segment data offset");
        const std::size_t countAt = r.At();
        const std::uint32_t relocations = r.Word("relocation count");
        r.ZeroWord("word 52 of a segment header");

        if (dataSize > s.memorySize)
            throw ImageFormatError(sizeAt, "segment " + s.name + " has more data than memory");
        if (s.dataOffset == kNone) {
            if (dataSize != 0) throw ImageFormatError(dataAt, "segment " + s.name + " has data but no offset");
        } else if (s.dataOffset > bytes.size() || bytes.size() - s.dataOffset < dataSize) {
            throw ImageFormatError(dataAt, "data of segment " + s.name + " lies outside the image");
        } else if (s.dataOffset < kHeaderSize) {
            throw ImageFormatError(dataAt, "data of segment " + s.name + " overlaps the image header");
        }
        if (s.name != "code" && relocations != 0)
            throw ImageFormatError(countAt, "segment " + s.name + " has relocation entries");
        const std::uint64_t headerLength = kSegmentHeaderSize + 4ULL * relocations;
        if (s.headerLength != headerLength)
            throw ImageFormatError(at, "segment header length " + std::to_string(s.headerLength) + ", not " +
                                           std::to_string(headerLength));
        if (bytes.size() - at < headerLength)
            throw ImageFormatError(countAt, "relocation entries run past the end");
        for (std::uint32_t i = 0; i < relocations; ++i) {
            const std::uint32_t entry = r.Word("relocation entry");
            if ((entry & 7) > 3) throw ImageFormatError(r.ImageOffset() - 4, "relocation kind " + std::to_string(entry & 7));
            s.relocations.push_back({entry >> 3, static_cast<RelocationKind>(entry & 7)});
        }
        if (s.dataOffset != kNone) s.data.assign(bytes.substr(s.dataOffset, dataSize));
        extent = std::max({extent, static_cast<std::size_t>(at) + static_cast<std::size_t>(headerLength),
                           s.dataOffset == kNone ? 0 : static_cast<std::size_t>(s.dataOffset) + dataSize});
        linkAt = at + 4;
        at = s.next;
        segments.push_back(std::move(s));
    }
    return segments;
}

// The immediate a code offset names must lie inside the code's data.
std::uint32_t Immediate(const Segment& code, std::uint32_t codeOffset, std::size_t reportAt) {
    if (codeOffset > code.data.size() || code.data.size() - codeOffset < 4)
        throw ImageFormatError(reportAt, "code offset " + Hex(codeOffset) + " is outside the code");
    return WordAt(code.data, codeOffset);
}

void CheckRelocations(const ProgramImage& image) {
    const Segment& code = *image.Find("code");
    const std::uint32_t limits[] = {kServiceCount * 4, image.Find("const")->memorySize, image.Find("var")->memorySize,
                                    code.memorySize};
    int services = 0;
    for (std::size_t i = 0; i < code.relocations.size(); ++i) {
        const CodeRelocation& rel = code.relocations[i];
        const std::size_t at = code.headerOffset + kSegmentHeaderSize + 4 * i;
        const std::uint32_t value = Immediate(code, rel.codeOffset, at);
        const auto kind = static_cast<std::uint32_t>(rel.kind);
        if (value >= limits[kind] || (rel.kind == RelocationKind::Service && value % 4 != 0))
            throw ImageFormatError(at, "relocation of kind " + std::to_string(kind) + " names " + Hex(value) +
                                           ", outside its target");
        if (rel.kind == RelocationKind::Service && ++services > kServiceCount)
            throw ImageFormatError(at, "more than 13 service relocations");
    }
}

// Where a segment's data begins in the image, for the offsets of what is
// wrong in it; for a segment without data, its header's data offset field.
std::size_t DataBase(const Segment& s) {
    return s.dataOffset == kNone ? s.headerOffset + 44 : static_cast<std::size_t>(s.dataOffset);
}

LoadLists ReadLoadLists(const ProgramImage& image, const Segment& lists) {
    const Segment& code = *image.Find("code");
    Reader r(lists.data, DataBase(lists));
    LoadLists out;
    std::vector<std::uint32_t>* targets[] = {&out.identifiers, &out.dllFunctions, &out.libraries, &out.unitTypes};
    const char* names[] = {"identifier list", "DLL function list", "library list", "unit type list"};
    for (int list = 0; list < 4; ++list) {
        const std::uint32_t n = r.Count(4, names[list]);
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::size_t at = r.ImageOffset();
            const std::uint32_t codeOffset = r.Word(names[list]);
            const std::uint32_t value = Immediate(code, codeOffset, at);
            bool ok = true;
            switch (list) {
                case 0: {
                    const std::uint32_t kind = IdKind(value);
                    ok = kind == kWindowIdKind || kind == kControlIdKind || kind == kMenuItemIdKind ||
                         kind == kWindowUnitIdKind;
                    break;
                }
                case 1: ok = value < 1; break;  // one declared DLL function
                case 2: ok = value < image.libraries.size(); break;
                case 3: ok = IdKind(value) >= 1 && IdKind(value) <= image.libraries.size() && (value & 0xFFFF) != 0; break;
            }
            if (!ok) throw ImageFormatError(at, std::string(names[list]) + " names " + Hex(value) + " in the code");
            targets[list]->push_back(codeOffset);
        }
    }
    return out;
}

FormUnit ReadUnit(Reader& r, std::uint32_t identifier) {
    FormUnit u;
    u.identifier = identifier;
    u.type = r.Word("unit type");
    r.Zero(20, "20 bytes after the unit type");
    u.name = r.Text("unit name");
    u.remark = r.Text("unit remark");
    u.tag = r.Word("unit tag");
    u.left = r.Signed("left");
    u.top = r.Signed("top");
    u.width = r.Signed("width");
    u.height = r.Signed("height");
    r.ZeroWord("word after the size");
    u.parent = r.Word("parent identifier");
    const std::uint32_t children = r.Count(4, "child count");
    for (std::uint32_t i = 0; i < children; ++i) u.children.push_back(r.Word("child identifier"));
    if (r.Word("word 4") != 4) throw ImageFormatError(r.ImageOffset() - 4, "the word before the cursor must be 4");
    u.cursor = r.Word("cursor");
    r.ZeroWord("word after the cursor");
    r.Zero(1, "byte after the cursor");
    u.flags = r.Word("unit flags");
    if (u.flags > kMaxUnitFlags) throw ImageFormatError(r.ImageOffset() - 4, "unit flags " + Hex(u.flags));
    u.smallNumber = r.Word("small number");
    const std::uint32_t events = r.Count(8, "event count");
    for (std::uint32_t i = 0; i < events; ++i) {
        const std::int32_t number = r.Signed("event number");
        u.events.emplace_back(number, r.Word("event handler"));
    }
    u.properties = r.Bytes(r.Left(), "unit properties");
    return u;
}

void CheckUnit(const FormUnit& u, std::size_t at, bool first, const std::set<std::uint32_t>& ids,
               const ProgramImage& image, const Segment& code) {
    const auto fail = [&](const std::string& reason) {
        throw ImageFormatError(at, "unit " + Hex(u.identifier) + (u.name.empty() ? "" : " (" + u.name + ")") + ": " +
                                       reason);
    };
    if (first && (u.type != kWindowUnit || !u.name.empty())) fail("the first unit must be the window, without a name");
    if (!first) {
        if (IdKind(u.type) < 1 || IdKind(u.type) > image.libraries.size() || (u.type & 0xFFFF) == 0)
            fail("unit type " + Hex(u.type) + " names no unit of a listed library");
        if (u.name.empty()) fail("control without a name");
        if (u.parent != 0 && (u.parent == u.identifier || !ids.count(u.parent)))
            fail("parent " + Hex(u.parent) + " is not a unit of its window");
    } else if (u.parent != 0) {
        fail("the window has a parent");
    }
    for (const std::uint32_t child : u.children) {
        if (child == 0 && u.type == kTabControlUnit) continue;  // ends a page
        if (child == u.identifier || !ids.count(child)) fail("child " + Hex(child) + " is not a unit of its window");
    }
    if (u.cursor != 0 && (u.cursor < 0x7F00 || u.cursor > 0x7F8A)) fail("cursor " + Hex(u.cursor));
    for (const auto& [number, handler] : u.events) {
        if (handler >= code.memorySize) fail("handler of event " + std::to_string(number) + " is outside the code");
    }
}

std::vector<FormWindow> ReadForm(const ProgramImage& image, const Segment& form) {
    const Segment& code = *image.Find("code");
    Reader r(form.data, DataBase(form));
    const std::size_t tableAt = r.ImageOffset();
    const std::uint32_t tableSize = r.Word("window table size");
    if (tableSize % 8 != 0 || tableSize > r.Left())
        throw ImageFormatError(tableAt, "window table size " + std::to_string(tableSize));
    const std::uint32_t count = tableSize / 8;
    std::vector<FormWindow> windows(count);
    for (FormWindow& w : windows) {
        w.identifier = r.Word("window identifier");
        if (IdKind(w.identifier) != kWindowIdKind) r.Fail("window identifier " + Hex(w.identifier));
    }
    r.Bytes(4ULL * count, "window table");
    for (FormWindow& w : windows) {
        r.Word("window word");
        w.menu = r.Word("menu identifier");
        if (w.menu != 0 && IdKind(w.menu) != kMenuIdKind) r.Fail("menu identifier " + Hex(w.menu));
        r.ZeroWord("window zero word");
        r.ZeroWord("window zero word");
        const std::uint32_t n = r.Word("unit count");
        const std::uint32_t blockSize = r.Count(1, "window definition size");
        const std::size_t blockAt = r.At();
        const std::string_view block = std::string_view(form.data).substr(blockAt, blockSize);
        if (n == 0 || static_cast<std::uint64_t>(n) * 8 > blockSize)
            throw ImageFormatError(r.ImageOffset() - 8, "window " + Hex(w.identifier) + " has " + std::to_string(n) +
                                                            " units in " + std::to_string(blockSize) + " bytes");
        Reader head(block, form.dataOffset + blockAt);
        std::vector<std::uint32_t> ids(n), offsets(n);
        std::set<std::uint32_t> idSet;
        for (std::uint32_t i = 0; i < n; ++i) {
            ids[i] = head.Word("unit identifier");
            const bool ok = i == 0 ? ids[i] == w.identifier : IdKind(ids[i]) == kControlIdKind;
            if (!ok || !idSet.insert(ids[i]).second) head.Fail("unit identifier " + Hex(ids[i]));
        }
        for (std::uint32_t& o : offsets) o = head.Word("unit record offset");
        const std::size_t recordsAt = head.At();
        const std::string_view records = block.substr(recordsAt);
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::size_t at = form.dataOffset + blockAt + recordsAt + offsets[i];
            if (offsets[i] > records.size() || records.size() - offsets[i] < 4)
                throw ImageFormatError(form.dataOffset + blockAt + 4ULL * (n + i), "unit record offset outside the window");
            Reader lengthReader(records, form.dataOffset + blockAt + recordsAt, offsets[i]);
            const std::uint32_t length = lengthReader.Word("unit record length");
            if (length > lengthReader.Left()) throw ImageFormatError(at, "unit record runs past its window");
            Reader unit(records.substr(offsets[i] + 4, length), at + 4);
            FormUnit u = ReadUnit(unit, ids[i]);
            CheckUnit(u, at, i == 0, idSet, image, code);
            w.units.push_back(std::move(u));
        }
        r.Bytes(blockSize, "window definition");
    }
    return windows;
}

}  // namespace

ProgramImage ReadProgramImage(std::string_view bytes) {
    ProgramImage image;
    Reader r(bytes, 0);
    r.Need(kHeaderSize, "image header");
    if (bytes.substr(0, 2) != "VQ") throw ImageFormatError(0, "no \"VQ\" at the start of the image");
    r.Bytes(2, "magic");
    r.Zero(34, "header bytes 2 to 35");
    ImageHeader& h = image.header;
    h.firstSegment = r.Word("first segment");
    for (auto& w : h.words) w = r.Word("header word");
    h.entry = r.Word("entry routine");
    for (auto& s : h.namedSegments) s = r.Word("segment header offset");
    if (r.Word("first segment again") != h.firstSegment)
        throw ImageFormatError(84, "header offset 84 differs from the first segment's offset");
    h.dllLibraryName = r.Word("DLL library name");
    h.dllFunctionName = r.Word("DLL function name");
    if (h.firstSegment < kHeaderSize || h.firstSegment > bytes.size())
        throw ImageFormatError(36, "first segment offset " + Hex(h.firstSegment) + " is outside the image");

    image.libraries = ReadLibraries(bytes, h.firstSegment);
    image.size = h.firstSegment;
    image.segments = ReadSegments(bytes, h.firstSegment, image.size);

    for (std::size_t i = 0; i < kNamedSegments.size(); ++i) {
        const Segment* s = image.Find(kNamedSegments[i]);
        if (!s) throw ImageFormatError(64 + 4 * i, std::string("no segment named ") + kNamedSegments[i]);
        if (h.namedSegments[i] != s->headerOffset)
            throw ImageFormatError(64 + 4 * i, std::string("header names the wrong header for segment ") +
                                                   kNamedSegments[i]);
    }
    const Segment& code = *image.Find("code");
    const Segment& var = *image.Find("var");
    if (var.dataOffset != kNone) throw ImageFormatError(var.headerOffset + 44, "the var segment has image data");
    if (code.dataOffset == kNone || h.entry < code.dataOffset || h.entry - code.dataOffset >= code.data.size())
        throw ImageFormatError(60, "entry routine " + Hex(h.entry) + " is not inside the code");
    if (!image.ConstText(h.dllLibraryName)) throw ImageFormatError(88, "DLL library name is not a const text");
    if (!image.ConstText(h.dllFunctionName)) throw ImageFormatError(92, "DLL function name is not a const text");

    CheckRelocations(image);
    if (const Segment* lists = image.Find(kLoadListSegment)) image.loadLists = ReadLoadLists(image, *lists);
    image.windows = ReadForm(image, *image.Find("form"));
    return image;
}

}  // namespace qx::image
