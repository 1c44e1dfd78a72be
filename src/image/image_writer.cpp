#include "image/image_writer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace qx::image {
namespace {

void Put(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutSigned(std::string& out, std::int32_t v) { Put(out, static_cast<std::uint32_t>(v)); }
void PutText(std::string& out, const std::string& text) {
    out += text;
    out.push_back('\0');
}
void PutAt(std::string& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
std::uint32_t Size32(std::size_t n) {
    if (n > 0xFFFFFFF0u) throw std::length_error("program image larger than 4 GiB");
    return static_cast<std::uint32_t>(n);
}

struct SegmentPlan {
    std::string name;
    std::uint32_t flags;
    std::uint32_t memorySize;
    std::string data;
    bool hasData;
    std::vector<std::uint32_t> relocations;
};

}  // namespace

std::string EncodeUnit(const FormUnit& u) {
    std::string r;
    Put(r, u.type);
    r.append(20, '\0');
    PutText(r, u.name);
    PutText(r, u.remark);
    Put(r, u.tag);
    PutSigned(r, u.left);
    PutSigned(r, u.top);
    PutSigned(r, u.width);
    PutSigned(r, u.height);
    Put(r, 0);
    Put(r, u.parent);
    Put(r, Size32(u.children.size()));
    for (const std::uint32_t c : u.children) Put(r, c);
    Put(r, 4);
    Put(r, u.cursor);
    Put(r, 0);
    r.push_back('\0');
    Put(r, u.flags);
    Put(r, u.smallNumber);
    Put(r, Size32(u.events.size()));
    for (const auto& [number, handler] : u.events) {
        PutSigned(r, number);
        Put(r, handler);
    }
    r += u.properties;
    std::string out;
    Put(out, Size32(r.size()));
    return out + r;
}

std::string EncodeForm(const std::vector<FormWindow>& windows) {
    std::string out;
    Put(out, Size32(8 * windows.size()));
    for (const FormWindow& w : windows) Put(out, w.identifier);
    for (std::size_t i = 0; i < windows.size(); ++i) Put(out, 0);
    for (const FormWindow& w : windows) {
        std::string ids, offsets, records;
        for (const FormUnit& u : w.units) {
            Put(ids, u.identifier);
            Put(offsets, Size32(records.size()));
            records += EncodeUnit(u);
        }
        Put(out, 0);
        Put(out, w.menu);
        Put(out, 0);
        Put(out, 0);
        Put(out, Size32(w.units.size()));
        Put(out, Size32(ids.size() + offsets.size() + records.size()));
        out += ids + offsets + records;
    }
    return out;
}

ConstBuilder::ConstBuilder() : m_bytes(32, '\0') {}

std::uint32_t ConstBuilder::AddText(const std::string& text) {
    const std::uint32_t at = Size32(m_bytes.size());
    PutText(m_bytes, text);
    return at;
}

std::uint32_t ConstBuilder::AddDouble(double value) {
    while (m_bytes.size() % 8 != 0) m_bytes.push_back('\0');
    const std::uint32_t at = Size32(m_bytes.size());
    char raw[8];
    std::memcpy(raw, &value, sizeof raw);
    m_bytes.append(raw, sizeof raw);
    return at;
}

std::string WriteProgramImage(const ImageSpec& imageSpec) {
    std::vector<SegmentPlan> plan;
    plan.push_back({"const", kDataSegmentFlags, std::max(imageSpec.constSize, Size32(imageSpec.constData.size())), imageSpec.constData,
                    true, {}});
    const std::string form = EncodeForm(imageSpec.windows);
    plan.push_back({"form", kDataSegmentFlags, Size32(form.size()), form, true, {}});
    plan.push_back({"help", kDataSegmentFlags, imageSpec.helpSize, std::string(imageSpec.helpSize, '\0'), true, {}});
    std::vector<std::uint32_t> relocations;
    for (const CodeRelocation& r : imageSpec.relocations) relocations.push_back(r.codeOffset * 8 + static_cast<std::uint32_t>(r.kind));
    plan.push_back({"code", kCodeSegmentFlags, Size32(imageSpec.code.size()), imageSpec.code, true, relocations});
    plan.push_back({"var", kVarSegmentFlags, imageSpec.varSize, {}, false, {}});
    if (imageSpec.withLoadLists) {
        std::string lists;
        for (const auto* list : {&imageSpec.loadLists.identifiers, &imageSpec.loadLists.dllFunctions,
                                 &imageSpec.loadLists.libraries, &imageSpec.loadLists.unitTypes}) {
            Put(lists, Size32(list->size()));
            for (const std::uint32_t offset : *list) Put(lists, offset);
        }
        plan.push_back({kLoadListSegment, kDataSegmentFlags, Size32(lists.size()), lists, true, {}});
    }

    std::string out(kHeaderSize, '\0');
    out[0] = 'V';
    out[1] = 'Q';
    for (const LibraryEntry& l : imageSpec.libraries) {
        PutText(out, l.fileName + "\r" + l.identifier + "\r" + l.major + "\r" + l.minor + "\r" + l.description);
    }
    const std::uint32_t first = Size32(out.size());
    std::uint32_t codeData = 0;
    std::array<std::uint32_t, 5> named{};
    std::size_t previousNextAt = 0;
    for (const SegmentPlan& s : plan) {
        const std::uint32_t headerAt = Size32(out.size());
        if (previousNextAt) PutAt(out, previousNextAt, headerAt);
        const std::uint32_t headerLength = Size32(kSegmentHeaderSize + 4 * s.relocations.size());
        const std::uint32_t dataAt = s.hasData ? headerAt + headerLength : kNone;
        Put(out, headerLength);
        previousNextAt = out.size();
        Put(out, kNone);
        Put(out, s.flags);
        std::string name = s.name;
        name.resize(20, '\0');
        out += name;
        Put(out, 0);
        Put(out, s.memorySize);
        Put(out, s.hasData ? Size32(s.data.size()) : 0);
        Put(out, dataAt);
        Put(out, Size32(s.relocations.size()));
        Put(out, 0);
        for (const std::uint32_t r : s.relocations) Put(out, r);
        out += s.data;
        for (std::size_t i = 0; i < kNamedSegments.size(); ++i) {
            if (s.name == kNamedSegments[i]) named[i] = headerAt;
        }
        if (s.name == "code") codeData = dataAt;
    }
    PutAt(out, 36, first);
    for (std::size_t i = 0; i < 5; ++i) PutAt(out, 40 + 4 * i, imageSpec.words[i]);
    PutAt(out, 60, codeData + imageSpec.entry);
    for (std::size_t i = 0; i < 5; ++i) PutAt(out, 64 + 4 * i, named[i]);
    PutAt(out, 84, first);
    PutAt(out, 88, imageSpec.dllLibraryName);
    PutAt(out, 92, imageSpec.dllFunctionName);
    return out;
}

}  // namespace qx::image
