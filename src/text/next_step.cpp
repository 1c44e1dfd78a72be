#include "text/next_step.h"

#include <array>
#include <cstring>
#include <stdexcept>

#include "runtime/encoding.h"
#include "runtime/files.h"
#include "text/layout.h"
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
    // covers LF-only files without a reallocation in the common case, and
    // reserving (rather than resizing) leaves untouched pages unmapped.
    out.reserve(raw.size() + raw.size() / 8 + 64);
    std::size_t backslashes = 0;  // the current run, 1A bytes inside it ignored
    auto flushBackslashes = [&] {
        if (backslashes) {
            out.append((backslashes + 1) / 2 * 2, '\\');
            backslashes = 0;
        }
    };

    const char* in = raw.data();
    const std::size_t n = raw.size();
    std::size_t i = 0;
    while (i < n) {
        // Copy the plain stretch in one go. A double-byte character is
        // plain as a whole: its second byte may be 5C, which is part of the
        // character, not a backslash, and must not be doubled.
        std::size_t j = i;
        while (j < n) {
            const auto c = static_cast<unsigned char>(in[j]);
            if (c >= 0x81 && c <= 0xFE && j + 1 < n) {
                const auto trail = static_cast<unsigned char>(in[j + 1]);
                if (trail >= 0x40 && trail != 0x7F && trail != 0xFF) {
                    j += 2;
                    continue;
                }
            }
            if (special.table[c]) break;
            ++j;
        }
        if (j > i) {
            flushBackslashes();
            out.append(in + i, j - i);
            i = j;
            continue;
        }
        const char c = in[i++];
        if (c == '\\') {
            ++backslashes;
        } else if (c != 0x1A) {
            flushBackslashes();
            // CR LF, a lone CR and a lone LF all become CR LF.
            if (c == '\r' && i < n && in[i] == '\n') ++i;
            out.append("\r\n", 2);
        }
    }
    flushBackslashes();
    return out;
}

std::string ConvertInput(std::string raw, const FilePage& page) {
    if (!page.convert) return raw;
    if (page.fromUnicode) return runtime::Utf16LeToGbk(raw);
    if (page.fromBig5) {
        return runtime::ConvertChinese(std::move(raw), runtime::ChineseConversion::Big5ToSimplifiedGbk);
    }
    if (page.fromTraditionalGbk) {
        return runtime::ConvertChinese(std::move(raw), runtime::ChineseConversion::TraditionalGbkToSimplifiedGbk);
    }
    return raw;
}

NextStepResult RunNextStep(FilePage& page, Book& book, runtime::Ui& ui, bool automaticLayout) {
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
        if (automaticLayout) AutomaticLayout(book.index, page.mode, ui);
    } else {
        ui.Status(msg::kNoLayoutNeeded);
    }
    return NextStepResult::Loaded;
}

}  // namespace qx::text
