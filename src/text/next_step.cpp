#include "text/next_step.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <cstring>
#include <stdexcept>

#include "runtime/encoding.h"
#include "runtime/gbk_text.h"
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

namespace {

// Where the plain stretch that starts at `i` ends: the first special byte
// that stands alone. A double-byte character is plain as a whole: its second
// byte may be 5C, which is part of the character, not a backslash, and must
// not be doubled.
std::size_t PlainEnd(const char* in, std::size_t n, std::size_t i) {
    static const SpecialBytes special;
    std::size_t j = i;
    while (j < n) {
        const auto c = static_cast<unsigned char>(in[j]);
        if (c < 0x81) {
            if (special.table[c]) break;
            ++j;
            continue;
        }
        // A lead byte: the whole character as runtime::CharLengthAt finds it
        // (written out here, this loop runs over every byte of the book). A
        // lone lead byte is no special byte either.
        if (j + 1 < n) {
            const auto second = static_cast<unsigned char>(in[j + 1]);
            if (second >= 0x40 && second != 0x7F && second != 0xFF) {
                j += 2;
                continue;
            }
            if (second >= 0x30 && second <= 0x39 && j + 3 < n) {
                const auto third = static_cast<unsigned char>(in[j + 2]);
                const auto fourth = static_cast<unsigned char>(in[j + 3]);
                if (third >= 0x81 && third != 0xFF && fourth >= 0x30 && fourth <= 0x39) {
                    j += 4;
                    continue;
                }
            }
        }
        ++j;
    }
    return j;
}

struct NormaliseState {
    std::size_t i = 0;            // next byte to read
    std::size_t backslashes = 0;  // the current run, 1A bytes inside it ignored
};

// Appends to a string.
struct AppendOut {
    std::string& s;
    bool Put(const char* p, std::size_t len, std::size_t) {
        s.append(p, len);
        return true;
    }
    bool Fill(char c, std::size_t len, std::size_t) {
        s.append(len, c);
        return true;
    }
};

// Writes into the input's own buffer, behind the reading position; refuses
// what would overtake it.
struct InPlaceOut {
    char* d;
    std::size_t w = 0;
    bool Put(const char* p, std::size_t len, std::size_t readPos) {
        if (w + len > readPos) return false;
        if (d + w != p) std::memmove(d + w, p, len);
        w += len;
        return true;
    }
    bool Fill(char c, std::size_t len, std::size_t readPos) {
        if (w + len > readPos) return false;
        std::memset(d + w, c, len);
        w += len;
        return true;
    }
};

// The normalisation from `state` on; false when `out` refused a write, with
// `state` at the piece that was not written.
template <class Out>
bool Normalise(std::string_view raw, NormaliseState& state, Out& out) {
    const char* in = raw.data();
    const std::size_t n = raw.size();
    auto flush = [&](std::size_t readPos) {
        if (state.backslashes == 0) return true;
        if (!out.Fill('\\', (state.backslashes + 1) / 2 * 2, readPos)) return false;
        state.backslashes = 0;
        return true;
    };
    while (state.i < n) {
        const std::size_t j = PlainEnd(in, n, state.i);
        if (j > state.i) {
            if (!flush(state.i) || !out.Put(in + state.i, j - state.i, j)) return false;
            state.i = j;
            continue;
        }
        const char c = in[state.i];
        if (c == '\\') {
            ++state.backslashes;
            ++state.i;
        } else if (c == 0x1A) {
            ++state.i;
        } else {
            // CR LF, a lone CR and a lone LF all become CR LF.
            std::size_t next = state.i + 1;
            if (c == '\r' && next < n && in[next] == '\n') ++next;
            if (!flush(state.i) || !out.Put("\r\n", 2, next)) return false;
            state.i = next;
        }
    }
    return flush(n);
}

// Most books already use CR LF and hold few backslashes; the margin covers
// LF-only files without a reallocation in the common case, and reserving
// (rather than resizing) leaves untouched pages unmapped.
std::size_t OutputReserve(std::size_t inputSize) { return inputSize + inputSize / 8 + 64; }

}  // namespace

std::string NormaliseText(std::string_view raw) {
    std::string out;
    out.reserve(OutputReserve(raw.size()));
    AppendOut sink{out};
    NormaliseState state;
    Normalise(raw, state, sink);
    return out;
}

std::string NormaliseText(std::string&& raw) {
    // A book with CR LF line ends and an even number of backslashes in each
    // run comes out no longer than it went in: it is normalised where it
    // lies, without a second buffer of its size. Where the text grows, the
    // rest goes into a new buffer.
    NormaliseState state;
    InPlaceOut inPlace{raw.data()};
    if (Normalise(raw, state, inPlace)) {
        raw.resize(inPlace.w);
        return std::move(raw);
    }
    std::string out;
    out.reserve(OutputReserve(raw.size()));
    out.append(raw.data(), inPlace.w);
    AppendOut rest{out};
    Normalise(raw, state, rest);
    std::string().swap(raw);
    return out;
}

namespace {

// UTF-16 with the big end first: by its byte-order mark, else by where the
// zero bytes of its ASCII characters (line ends at least) stand.
bool IsBigEndian(std::string_view raw) {
    if (raw.size() >= 2 && raw[0] == '\xFE' && raw[1] == '\xFF') return true;
    if (raw.size() >= 2 && raw[0] == '\xFF' && raw[1] == '\xFE') return false;
    std::size_t even = 0, odd = 0;
    const std::size_t n = std::min<std::size_t>(raw.size(), 1 << 16);
    for (std::size_t i = 0; i < n; ++i) {
        if (raw[i] == 0) ++(i % 2 ? odd : even);
    }
    return even > odd;
}

}  // namespace

std::string ConvertInput(std::string raw, const FilePage& page) {
    using runtime::SourceEncoding;
    if (!page.convert) return raw;
    const bool simplify = page.simplify && !page.keepTraditional;
    if (page.fromUnicode) {
        const bool big = IsBigEndian(raw);
        return runtime::ConvertToGbk(std::move(raw), big ? SourceEncoding::Utf16Be : SourceEncoding::Utf16Le,
                                     simplify);
    }
    if (page.fromBig5) {
        if (page.keepTraditional) return runtime::ConvertToGbk(std::move(raw), SourceEncoding::Big5, false);
        return runtime::ConvertChinese(std::move(raw), runtime::ChineseConversion::Big5ToSimplifiedGbk);
    }
    if (page.fromTraditionalGbk) {
        if (page.keepTraditional) return raw;
        return runtime::ConvertChinese(std::move(raw), runtime::ChineseConversion::TraditionalGbkToSimplifiedGbk);
    }
    if (page.fromUtf8) return runtime::ConvertToGbk(std::move(raw), SourceEncoding::Utf8, simplify);
    return raw;
}

void ApplyEncodingGuess(const runtime::EncodingGuess& guess, FilePage& page) {
    using runtime::SourceEncoding;
    page.convert = page.fromUnicode = page.fromBig5 = page.fromTraditionalGbk = page.fromUtf8 = false;
    page.simplify = false;
    switch (guess.encoding) {
        case SourceEncoding::Utf8:
            page.convert = page.fromUtf8 = true;
            page.simplify = guess.traditional;
            break;
        case SourceEncoding::Utf16Le:
        case SourceEncoding::Utf16Be:
            page.convert = page.fromUnicode = true;
            page.simplify = guess.traditional;
            break;
        case SourceEncoding::Big5:
            page.convert = page.fromBig5 = true;
            page.simplify = true;
            break;
        case SourceEncoding::Gbk:
            if (guess.traditional) {
                page.convert = page.fromTraditionalGbk = true;
                page.simplify = true;
            }
            break;
    }
}

std::string EncodingOfChoice(const FilePage& page, std::string_view raw) {
    if (!page.convert) return "GBK";
    if (page.fromUnicode) return IsBigEndian(raw) ? "UTF-16BE" : "UTF-16LE";
    if (page.fromBig5) return "BIG5";
    if (page.fromTraditionalGbk) return "GBK";
    if (page.fromUtf8) return "UTF-8";
    return "GBK";
}

namespace {

std::string_view CaptionOf(const FilePage& page) {
    if (!page.convert) return {};
    if (page.fromUnicode) return msg::kCaptionUnicode;
    if (page.fromBig5) return msg::kCaptionBig5;
    if (page.fromTraditionalGbk) return msg::kCaptionTraditionalGbk;
    if (page.fromUtf8) return msg::kCaptionUtf8;
    return {};
}

// The first part of a text, ended at a line end.
std::string_view SampleOf(std::string_view text) {
    if (text.size() <= kSampleBytes) return text;
    const auto lf = text.rfind('\n', kSampleBytes);
    return text.substr(0, lf == std::string_view::npos ? kSampleBytes : lf + 1);
}

}  // namespace

LayoutMode ChooseMode(std::string_view workingText, const headings::RuleSet& rules, headings::SequenceVerdict* verdict) {
    const headings::Matcher matcher(rules);
    const auto found = headings::JudgeSequence(headings::FindHeadings(SampleOf(workingText), matcher));
    if (verdict) *verdict = found;
    return found.consistent ? LayoutMode::Headings : LayoutMode::SeparateLines;
}

std::optional<InputProposal> ProposeInput(const std::string& path, const headings::RuleSet& rules) {
    auto sample = runtime::ReadFilePrefix(path, kSampleBytes);
    if (!sample) return std::nullopt;
    InputProposal p;
    p.guess = runtime::DetectEncoding(*sample);
    ApplyEncodingGuess(p.guess, p.page);
    // The headings are looked for in the sample read as the book will be,
    // without the simplification (the rules know both scripts).
    std::string working;
    try {
        FilePage plain = p.page;
        plain.simplify = false;
        if (plain.fromBig5) {
            working = runtime::ConvertToGbk(std::move(*sample), runtime::SourceEncoding::Big5, false);
        } else if (plain.fromTraditionalGbk) {
            working = std::move(*sample);
        } else {
            working = ConvertInput(std::move(*sample), plain);
        }
    } catch (const std::exception&) {
        working.clear();  // no tables: no headings either; the Next step tells the reason
    }
    p.page.mode = ChooseMode(NormaliseText(std::move(working)), rules, &p.verdict);
    p.status = msg::EncodingStatus(p.guess.name, p.guess.traditional, CaptionOf(p.page), p.page.simplify &&
                                   (p.page.fromUtf8 || p.page.fromUnicode)) +
               "；" + msg::ModeStatus(p.page.mode == LayoutMode::Headings, p.verdict.chapters) + "。" +
               std::string(msg::kPressNext);
    return p;
}

namespace {

// Nothing but line ends and blanks (half-width, ideographic, tabs).
bool IsBlankText(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t' || c == '\f') {
            ++i;
        } else if (c == '\xA1' && i + 1 < text.size() && text[i + 1] == '\xA1') {
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

// Bytes of the working text that make no character: lead bytes without
// their trail byte, and U+FFFD that a conversion put in for bytes it could
// not read (84 31 A4 37).
std::uint64_t UndecodableIn(std::string_view text) {
    std::uint64_t count = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = runtime::CharLengthAt(text, i);
        const auto c = static_cast<unsigned char>(text[i]);
        if (n == 1 && c >= 0x81 && c != 0xFF) ++count;
        if (n == 4 && text.compare(i, 4, "\x84\x31\xA4\x37") == 0) ++count;
        i += n;
    }
    return count;
}

}  // namespace

bool LooksBinary(std::string_view sample) {
    if (sample.empty()) return false;
    static constexpr std::string_view kSignatures[] = {
        "\x89PNG", "\xFF\xD8\xFF", "GIF8", "PK\x03\x04", "%PDF", "\x7F" "ELF", "Rar!", "7z\xBC\xAF",
        "\x1F\x8B", "BM", "RIFF", "OggS", "ID3", "\xD0\xCF\x11\xE0", "MZ"};
    for (const auto sig : kSignatures) {
        // Two-letter signatures alone would refuse texts that begin "BM" or
        // "MZ": those count only beside control bytes, below.
        if (sig.size() > 2 && sample.starts_with(sig)) return true;
    }
    const auto guess = runtime::DetectEncoding(sample);
    if (guess.encoding == runtime::SourceEncoding::Utf16Le || guess.encoding == runtime::SourceEncoding::Utf16Be) {
        return false;
    }
    std::size_t control = 0;
    for (const char ch : sample) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1A && c != 0x1B) ++control;
    }
    // Text holds hardly any: a stray byte or two is no reason to refuse.
    return control > 8 && control * 100 > sample.size();
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

    // What makes no book is told, instead of being loaded as an empty one.
    const std::string shownPath = runtime::Utf8ToGbk(page.inputPath);
    std::error_code ec;
    if (std::filesystem::is_directory(page.inputPath, ec)) {
        ui.Message(std::string(msg::kInputIsFolder) + shownPath, Icon::Error);
        return NextStepResult::Stopped;
    }
    const auto size = std::filesystem::file_size(page.inputPath, ec);
    if (!ec && size > kLargestBook) {
        ui.Message(msg::TooLarge(size, kLargestBook) + shownPath, Icon::Error);
        return NextStepResult::Stopped;
    }
    ui.Progress(msg::kReadingStage, 0, 4);
    errno = 0;
    auto raw = runtime::ReadWholeFile(page.inputPath);
    if (!raw) {
        const std::string reason = errno ? std::string("（") + runtime::Utf8ToGbk(std::strerror(errno)) + "）" : "";
        ui.Message(std::string(msg::kCannotReadInput) + shownPath + reason, Icon::Error);
        return NextStepResult::Stopped;
    }
    if (LooksBinary(std::string_view(*raw).substr(0, 1 << 16))) {
        ui.Message(std::string(msg::kNotText) + shownPath, Icon::Error);
        return NextStepResult::Stopped;
    }
    return RunNextStepOnBytes(std::move(*raw), page, book, ui, automaticLayout);
}

NextStepResult RunNextStepOnBytes(std::string bytes, FilePage& page, Book& book, runtime::Ui& ui,
                                  bool automaticLayout) {
    std::optional<std::string> raw(std::move(bytes));
    std::string encoding;  // what the file is read as, for reports
    if (page.detectEncoding) {
        const auto guess = runtime::DetectEncoding(std::string_view(*raw).substr(0, kSampleBytes));
        const bool asked = page.simplify;
        ApplyEncodingGuess(guess, page);
        if (asked && (page.fromUtf8 || page.fromUnicode)) page.simplify = true;
        if (page.keepTraditional) {
            page.simplify = false;
            if (page.fromTraditionalGbk) page.convert = page.fromTraditionalGbk = false;
        }
        encoding = guess.name;
        ui.Status(msg::EncodingStatus(guess.name, guess.traditional, CaptionOf(page),
                                      page.simplify && (page.fromUtf8 || page.fromUnicode)) +
                  (page.keepTraditional && guess.traditional ? std::string(msg::kKeepingTraditional) : std::string()));
    }

    if (!page.convert && HasZeroBytePair(*raw)) {
        switch (ui.Ask(msg::kLooksLikeUnicode, Buttons::YesNoCancel, Icon::Exclamation, msg::kAttention)) {
            case Answer::Yes:
                page.convert = true;
                page.fromUnicode = true;
                page.fromBig5 = page.fromTraditionalGbk = page.fromUtf8 = false;
                encoding.clear();
                break;
            case Answer::No:
                break;
            default:
                return NextStepResult::Stopped;
        }
    }
    if (encoding.empty()) encoding = EncodingOfChoice(page, *raw);

    if (ui.CancelRequested()) return NextStepResult::Cancelled;
    ui.Progress(msg::kConvertingStage, 1, 4);
    std::string converted;
    try {
        converted = ConvertInput(std::move(*raw), page);
    } catch (const std::exception& e) {
        ui.Message(std::string(msg::kConversionFailed) + e.what(), Icon::Error);
        return NextStepResult::Stopped;
    }
    raw.reset();

    if (ui.CancelRequested()) return NextStepResult::Cancelled;
    ui.Progress(msg::kNormalisingStage, 2, 4);
    std::string normalised = NormaliseText(std::move(converted));
    if (ui.CancelRequested()) return NextStepResult::Cancelled;
    if (IsBlankText(normalised)) {
        ui.Message(std::string(msg::kEmptyBook) + runtime::Utf8ToGbk(page.inputPath), Icon::Error);
        return NextStepResult::Stopped;
    }
    if (const auto bad = UndecodableIn(std::string_view(normalised).substr(0, kSampleBytes)); bad > 0) {
        ui.Status(msg::Undecodable(bad));
    }
    ui.Progress(msg::kLoadingStage, 3, 4);
    book.workingText.Adopt(std::move(normalised));
    book.encoding = encoding;
    if (!book.workingText.SeekStart()) return NextStepResult::Stopped;

    const auto rules = page.rules ? page.rules : std::make_shared<const headings::RuleSet>(headings::RuleSet::BuiltIn());
    if (page.chooseMode) {
        headings::SequenceVerdict verdict;
        page.mode = ChooseMode(book.workingText.Bytes(), *rules, &verdict);
        ui.Status(msg::ModeStatus(page.mode == LayoutMode::Headings, verdict.chapters));
    }

    LoadChapters(book, page.mode, ui, rules.get());
    // Separate-lines mode finds nothing in a text without its blank-line
    // layout (one long line, say); left to choose, the step then reads it by
    // its headings, which keeps all of it.
    if (page.chooseMode && page.mode == LayoutMode::SeparateLines && book.index.ChapterCount() == 0) {
        page.mode = LayoutMode::Headings;
        ui.Status(msg::ModeStatus(true, 0));
        LoadChapters(book, page.mode, ui, rules.get());
    }
    if (page.mode == LayoutMode::OneLine) {
        AnalyzeChapters(book, page.mode, ui);
        if (automaticLayout) AutomaticLayout(book.index, page.mode, ui);
    } else if (page.mode == LayoutMode::SeparateLines) {
        ui.Status(msg::kNoLayoutNeeded);
    }
    ui.Progress(msg::kLoadingStage, 4, 4);
    return NextStepResult::Loaded;
}

}  // namespace qx::text
