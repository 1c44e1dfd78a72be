#include "epub/book_plan.h"

#include <map>

#include "runtime/encoding.h"
#include "text/chapters.h"

namespace qx::epub {
namespace {

namespace fs = std::filesystem;

std::string Padded(std::size_t n, std::size_t width) {
    std::string s = std::to_string(n);
    if (s.size() < width) s.insert(0, width - s.size(), '0');
    return s;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return s;
}

// Titles come from the working text, where every backslash is doubled (an
// odd run was typed into the tree): the reader sees half, rounded up.
std::string HalveBackslashes(std::string s) {
    if (s.find('\\') == std::string::npos) return s;
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] != '\\') {
            out += s[i++];
            continue;
        }
        std::size_t j = i;
        while (j < s.size() && s[j] == '\\') ++j;
        out.append((j - i + 1) / 2, '\\');
        i = j;
    }
    return out;
}

class PlanBuilder {
public:
    PlanBuilder(const fs::path& inputFile) : m_folder(inputFile.parent_path()) {}

    // A title (GBK) as the reader sees it; a picture title brings its picture in.
    Heading HeadingOf(const runtime::Text& gbk) {
        Heading h;
        if (!text::IsPictureTitle(gbk)) {
            h.text = HalveBackslashes(runtime::GbkToUtf8(gbk));
            return h;
        }
        const std::string utf8 = runtime::GbkToUtf8(gbk);
        const auto close = utf8.find('>');
        const std::string tag = utf8.substr(0, close);
        h.text = close == std::string::npos ? std::string() : HalveBackslashes(utf8.substr(close + 1));
        while (!h.text.empty() && h.text.front() == ' ') h.text.erase(0, 1);
        const auto src = Lower(tag).find("src=");
        if (src == std::string::npos) return h;
        std::string name = tag.substr(src + 4);
        if (!name.empty() && (name.front() == '"' || name.front() == '\'')) {
            const auto end = name.find(name.front(), 1);
            name = name.substr(1, end == std::string::npos ? std::string::npos : end - 1);
        } else {
            name = name.substr(0, name.find_first_of(" \t>"));
            if (!name.empty() && name.back() == '/') name.pop_back();  // <img src=a.jpg/>
        }
        for (char& c : name) c = c == '\\' ? '/' : c;
        if (name.empty()) return h;
        h.picture = PictureFor(name);
        return h;
    }

    Plan plan;

private:
    std::optional<std::size_t> PictureFor(const std::string& name) {
        if (const auto known = m_byName.find(name); known != m_byName.end()) return known->second;
        fs::path file = m_folder / fs::path(name);
        std::error_code ec;
        if (!fs::is_regular_file(file, ec)) file = m_folder / "pic" / fs::path(name).filename();
        const auto type = PictureMediaType(file);
        if (!fs::is_regular_file(file, ec) || !type) {
            plan.missingPictures.push_back(name);
            m_byName[name] = std::nullopt;
            return std::nullopt;
        }
        const std::size_t i = plan.pictures.size();
        Picture p;
        p.source = file;
        p.id = "img" + Padded(i + 1, 4);
        p.href = "images/" + p.id + Lower(file.extension().string());
        p.mediaType = *type;
        plan.pictures.push_back(p);
        m_byName[name] = i;
        return i;
    }

    fs::path m_folder;
    std::map<std::string, std::optional<std::size_t>> m_byName;
};

std::string LabelOf(const Heading& h, const char* fallback) {
    if (!h.text.empty()) return h.text;
    return fallback;
}

}  // namespace

std::optional<std::string> PictureMediaType(const fs::path& file) {
    const std::string ext = Lower(file.extension().string());
    if (ext == ".jpg" || ext == ".jpeg") return "image/jpeg";
    if (ext == ".png") return "image/png";
    if (ext == ".gif") return "image/gif";
    if (ext == ".svg") return "image/svg+xml";
    if (ext == ".webp") return "image/webp";
    return std::nullopt;
}

Plan MakePlan(const text::ChapterIndex& index, const fs::path& inputFile) {
    PlanBuilder b(inputFile);
    const int n = index.ChapterCount();
    const std::size_t width = std::max<std::size_t>(5, std::to_string(n).size());
    std::string lastVolume = "0";
    int volumePage = -1;
    int volumes = 0;
    for (int k = 0; k < n; ++k) {
        const auto uk = static_cast<std::size_t>(k);
        const std::string volume = uk < index.volumeNumbers.size() ? index.volumeNumbers[uk] : "0";
        const int node = index.NodeOfChapter(k);
        if (volume != "0" && volume != lastVolume && node >= 0) {
            const int parent = index.tree.At(node).parent;
            Page v;
            v.kind = Page::Kind::Volume;
            v.id = "v" + Padded(static_cast<std::size_t>(++volumes), 4);
            v.href = "text/" + v.id + ".xhtml";
            v.heading = b.HeadingOf(parent >= 0 ? index.tree.TextOf(parent) : runtime::Text());
            v.label = LabelOf(v.heading, "插图");
            volumePage = static_cast<int>(b.plan.pages.size());
            b.plan.pages.push_back(std::move(v));
        }
        if (volume == "0") volumePage = -1;
        lastVolume = volume;
        Page c;
        c.kind = Page::Kind::Chapter;
        c.id = "c" + Padded(uk + 1, width);
        c.href = "text/" + c.id + ".xhtml";
        c.heading = b.HeadingOf(node >= 0 ? index.tree.TextOf(node) : index.titles[uk]);
        c.label = LabelOf(c.heading, c.heading.picture ? "插图" : "（无题）");
        c.chapter = k;
        c.volumePage = volumePage;
        b.plan.pages.push_back(std::move(c));
    }
    return std::move(b.plan);
}

}  // namespace qx::epub
