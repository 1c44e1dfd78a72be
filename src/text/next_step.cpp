#include "text/next_step.h"

#include <array>
#include <cstring>
#include <stdexcept>

#include "runtime/encoding.h"
#include "runtime/files.h"
#include "text/messages.h"

namespace qx::text {
namespace {

using runtime::Answer;
using runtime::Buttons;
using runtime::Icon;

struct SpecialBytes {
    std::array<bool, 256> table{};
    SpecialBytes() {
        table['\r'] = table['\n'] = table[0x1A] = table['\\'] = true;
    }
};

}  // namespace

bool HasZeroBytePair(std::string_view bytes) {
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    while (p < end) {
        const void* zero = std::memchr(p, 0, static_cast<std::size_t>(end - p));
        if (!zero) return false;
        p = static_cast<const char*>(zero) + 1;
        if (p < end && *p == 0) return true;
    }
    return false;
}

std::string NormaliseText(std::string_view raw) {
    static const SpecialBytes special;
    std::string out;
    // Most books already use CR LF and hold few backslashes; the margin
    // covers LF-only files without a reallocation in the common case.
    out.resize(raw.size() + raw.size() / 8 + 64);
    std::size_t o = 0;
    std::size_t backslashes = 0;  // the current run, 1A bytes inside it ignored
    constexpr std::size_t kBlock = 1 << 16;

    const char* in = raw.data();
    const std::size_t n = raw.size();
    std::size_t i = 0;
    while (i < n) {
        const std::size_t blockEnd = std::min(n, i + kBlock);
        // Worst case a block doubles (every byte a line end or backslash),
        // plus a pending run of backslashes.
        const std::size_t need = o + 2 * (blockEnd - i) + backslashes + 2;
        if (need > out.size()) out.resize(std::max(need, out.size() + out.size() / 2));
        char* dst = out.data();
        while (i < blockEnd) {
            // Copy the plain stretch in one go.
            std::size_t j = i;
            while (j < blockEnd && !special.table[static_cast<unsigned char>(in[j])]) ++j;
            if (j > i) {
                if (backslashes) {
                    const std::size_t k = (backslashes + 1) / 2 * 2;
                    std::memset(dst + o, '\\', k);
                    o += k;
                    backslashes = 0;
                }
                std::memcpy(dst + o, in + i, j - i);
                o += j - i;
                i = j;
                continue;
            }
            const char c = in[i];
            if (c == '\\') {
                ++backslashes;
                ++i;
                continue;
            }
            if (c == 0x1A) {
                ++i;
                continue;
            }
            if (backslashes) {
                const std::size_t k = (backslashes + 1) / 2 * 2;
                std::memset(dst + o, '\\', k);
                o += k;
                backslashes = 0;
            }
            // CR LF, a lone CR and a lone LF all become CR LF. The LF of a
            // CR LF pair may start the next block; the look-ahead reads raw.
            if (c == '\r' && i + 1 < n && in[i + 1] == '\n') ++i;
            dst[o++] = '\r';
            dst[o++] = '\n';
            ++i;
        }
    }
    if (backslashes) {
        const std::size_t k = (backslashes + 1) / 2 * 2;
        if (o + k > out.size()) out.resize(o + k);
        std::memset(out.data() + o, '\\', k);
        o += k;
    }
    out.resize(o);
    out.shrink_to_fit();
    return out;
}

std::string ConvertInput(std::string raw, const FilePage& page) {
    if (!page.convert) return raw;
    if (page.fromUnicode) return runtime::Utf16LeToGbk(raw);
    if (page.fromBig5) return runtime::ConvertChinese(raw, runtime::ChineseConversion::Big5ToSimplifiedGbk);
    if (page.fromTraditionalGbk) {
        return runtime::ConvertChinese(raw, runtime::ChineseConversion::TraditionalGbkToSimplifiedGbk);
    }
    return raw;
}

NextStepResult RunNextStep(FilePage& page, Book& book, runtime::Ui& ui) {
    if (page.inputPath.empty()) {
        ui.Message(msg::kChooseInputFirst, Icon::Exclamation);
        return NextStepResult::Stopped;
    }
    if (page.title.empty() || page.author.empty()) {
        ui.Message(msg::kTitleOrAuthorMissing, Icon::Exclamation);
        return NextStepResult::Stopped;
    }

    // An unreadable file is told, instead of being loaded as an empty book.
    auto raw = runtime::ReadWholeFile(page.inputPath);
    if (!raw) {
        ui.Message(std::string(msg::kCannotReadInput) + runtime::Utf8ToGbk(page.inputPath), Icon::Error);
        return NextStepResult::Stopped;
    }

    if (!page.convert && HasZeroBytePair(*raw)) {
        switch (ui.Ask(msg::kLooksLikeUnicode, Buttons::YesNoCancel, Icon::Exclamation, msg::kAttention)) {
            case Answer::Yes:
                page.convert = true;
                page.fromUnicode = true;
                break;
            case Answer::No:
                break;
            default:
                return NextStepResult::Stopped;
        }
    }

    std::string converted;
    try {
        converted = ConvertInput(std::move(*raw), page);
    } catch (const std::exception& e) {
        ui.Message(std::string(msg::kConversionFailed) + e.what(), Icon::Error);
        return NextStepResult::Stopped;
    }
    raw.reset();

    std::string normalised = NormaliseText(converted);
    std::string().swap(converted);
    book.workingText.Adopt(std::move(normalised));
    if (!book.workingText.SeekStart()) return NextStepResult::Stopped;

    LoadChapters(book, page.mode, ui);
    if (page.mode == LayoutMode::OneLine) {
        AnalyzeChapters(book, page.mode, ui);
    } else {
        ui.Status(msg::kNoLayoutNeeded);
    }
    return NextStepResult::Loaded;
}

}  // namespace qx::text
