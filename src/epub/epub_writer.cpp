#include "epub/epub_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <future>
#include <random>

#include "epub/book_plan.h"
#include "epub/documents.h"
#include "epub/messages.h"
#include "epub/zip_writer.h"
#include "output/output_run.h"
#include "runtime/digest.h"
#include "runtime/encoding.h"
#include "runtime/encoding_detect.h"
#include "runtime/files.h"
#include "runtime/threads.h"

namespace qx::epub {
namespace {

// Blocks are made ahead on a thread of their own, unless the work is to run
// on one core.
std::launch Ahead() { return runtime::WorkerCount() > 1 ? std::launch::async : std::launch::deferred; }

namespace fs = std::filesystem;
using runtime::Icon;

std::string Utf8Path(const fs::path& p) { return p.string(); }

std::string Now(const std::string& given) {
    if (!given.empty()) return given;
    std::time_t t = std::time(nullptr);
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) t = static_cast<std::time_t>(std::strtoll(epoch, nullptr, 10));
    std::tm utc{};
    gmtime_r(&t, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buffer;
}

std::string LanguageOf(const text::Book& book, const std::string& given) {
    if (!given.empty()) return given;
    const std::string_view sample = book.workingText.Bytes().substr(0, 4 << 20);
    return runtime::DetectEncoding(sample).traditional ? "zh-TW" : "zh-CN";
}

// A temporary name beside the final file, unlikely to meet another:
// "." + name + "." + eight hexadecimal digits + ".part".
fs::path TemporaryBeside(const fs::path& file) {
    std::random_device rd;
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", rd());
    return file.parent_path() / ("." + file.filename().string() + "." + tag + ".part");
}

bool IsTemporaryOf(std::string_view entry, const std::string& name) {
    const std::string prefix = "." + name + ".";
    constexpr std::string_view kSuffix = ".part";
    if (entry.size() != prefix.size() + 8 + kSuffix.size() || entry.substr(0, prefix.size()) != prefix ||
        entry.substr(prefix.size() + 8) != kSuffix) {
        return false;
    }
    const std::string_view tag = entry.substr(prefix.size(), 8);
    return tag.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// Half-written archives of runs that died before their rename: nothing
// else points to them, and no living run marks them.
void RemoveLeftovers(const fs::path& file) {
    const std::string name = file.filename().string();
    for (const auto& leftover : runtime::LeftoversIn(
             file.parent_path(), [&](std::string_view entry) { return IsTemporaryOf(entry, name); })) {
        std::error_code ec;
        if (fs::is_regular_file(fs::symlink_status(leftover, ec)))
            fs::remove(leftover, ec);
    }
}

std::error_code LastError() {
    return std::error_code(errno ? errno : EIO, std::generic_category());
}

struct Cover {
    fs::path file;
    std::string mediaType;
};

// The cover: the one given, else cover.jpg or cover.png beside the book.
// Nothing, and a message, when a given one cannot be used.
std::optional<std::optional<Cover>> FindCover(const EpubJob& job, runtime::Ui& ui) {
    std::error_code ec;
    if (job.cover) {
        if (!fs::is_regular_file(*job.cover, ec)) {
            ui.Message(std::string(msg::kCannotRead) + runtime::Utf8ToGbk(Utf8Path(*job.cover)), Icon::Error);
            return std::nullopt;
        }
        const auto type = PictureMediaType(*job.cover);
        if (!type) {
            ui.Message(std::string(msg::kNotAPicture) + runtime::Utf8ToGbk(Utf8Path(*job.cover)), Icon::Error);
            return std::nullopt;
        }
        return std::optional<Cover>(Cover{*job.cover, *type});
    }
    for (const char* name : {"cover.jpg", "cover.jpeg", "cover.png"}) {
        const fs::path beside = job.inputFile.parent_path() / name;
        if (!job.inputFile.empty() && fs::is_regular_file(beside, ec)) {
            return std::optional<Cover>(Cover{beside, *PictureMediaType(beside)});
        }
    }
    return std::optional<Cover>();
}

}  // namespace

std::string BookIdentifier(const runtime::Text& title, const runtime::Text& author, const text::ChapterIndex& index) {
    std::string name = "qxebook\n" + title + "\n" + author + "\n";
    for (const auto& t : index.titles) name += t + "\n";
    auto d = runtime::Sha1(name);
    d[6] = static_cast<std::uint8_t>((d[6] & 0x0F) | 0x50);  // version 5: name-based, SHA-1
    d[8] = static_cast<std::uint8_t>((d[8] & 0x3F) | 0x80);  // the RFC 4122 variant
    static const char* hex = "0123456789abcdef";
    std::string uuid = "urn:uuid:";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) uuid += '-';
        uuid += hex[d[static_cast<std::size_t>(i)] >> 4];
        uuid += hex[d[static_cast<std::size_t>(i)] & 15];
    }
    return uuid;
}

EpubResult WriteEpub(const EpubJob& job, runtime::Ui& ui) {
    EpubResult result;
    if (!job.book || job.book->index.ChapterCount() == 0 || !job.book->workingText.IsOpen()) {
        ui.Status(msg::kNoChapters);
        return result;
    }
    const auto directory = output::EbookDirectoryFor(job.outputDirectory, job.title, job.author, ui);
    if (!directory) return result;
    result.file = directory->parent_path() / (directory->filename().string() + ".epub");

    const auto cover = FindCover(job, ui);
    if (!cover) return result;
    std::string css = DefaultStyleSheet();
    if (job.css) {
        const auto given = runtime::ReadWholeFile(*job.css);
        if (!given) {
            ui.Message(std::string(msg::kCannotRead) + runtime::Utf8ToGbk(Utf8Path(*job.css)), Icon::Error);
            return result;
        }
        css = *given;
    }

    std::error_code ec;
    if (fs::exists(result.file, ec)) {
        const auto answer = ui.Ask(std::string(msg::kEpubExists) + runtime::Utf8ToGbk(Utf8Path(result.file)),
                                   runtime::Buttons::YesNo, Icon::Question);
        if (answer != runtime::Answer::Yes) return result;
    }
    fs::create_directories(result.file.parent_path(), ec);

    const text::Book& book = *job.book;
    const auto& index = book.index;
    const Plan plan = MakePlan(index, job.inputFile);
    result.missingPictures = plan.missingPictures;
    BookFacts facts;
    facts.title = runtime::GbkToUtf8(runtime::Trim(job.title));
    facts.author = runtime::GbkToUtf8(runtime::Trim(job.author));
    facts.language = LanguageOf(book, job.language);
    facts.identifier = BookIdentifier(job.title, job.author, index);
    facts.modified = Now(job.modified);
    if (*cover) {
        facts.hasCover = true;
        std::string ext = (*cover)->file.extension().string();
        for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        facts.coverHref = "images/cover" + ext;
        facts.coverMediaType = (*cover)->mediaType;
    }

    RemoveLeftovers(result.file);
    const fs::path temporary = TemporaryBeside(result.file);
    // Why the archive failed: the system's error of the first step that did.
    std::error_code why;
    auto note = [&](bool done) {
        if (!done && !why)
            why = LastError();
        return done;
    };
    auto fail = [&] {
        fs::remove(temporary, ec);
        std::string text = std::string(msg::kWriteFailed) + runtime::Utf8ToGbk(Utf8Path(result.file));
        if (why)
            text.append(msg::kReason).append(runtime::ReasonOf(why));
        ui.Message(text, Icon::Error);
        return result;
    };
    runtime::WritingMark mark;  // not a leftover while this run lives
    {
        errno = 0;
        ZipWriter zip(temporary);
        bool ok = note(zip.Ok());  // before anything else can change errno
        mark = runtime::WritingMark(temporary);
        ok = ok && note(zip.AddStored("mimetype", kMimetype)) &&
             note(zip.AddDeflated("META-INF/container.xml", ContainerXml())) &&
             note(zip.AddDeflated("OEBPS/style.css", css));
        if (ok && *cover) {
            const auto bytes = runtime::ReadWholeFile((*cover)->file);
            ok = note(bytes.has_value()) && note(zip.AddStored("OEBPS/" + facts.coverHref, *bytes)) &&
                 note(zip.AddDeflated("OEBPS/text/cover.xhtml", CoverPage(facts)));
        }
        for (const Picture& p : plan.pictures) {
            if (!ok) break;
            const auto bytes = runtime::ReadWholeFile(p.source);
            ok = note(bytes.has_value()) && note(zip.AddStored("OEBPS/" + p.href, *bytes));
        }
        ok = ok && note(zip.AddDeflated("OEBPS/text/title.xhtml", TitlePage(facts))) &&
             note(zip.AddDeflated("OEBPS/nav.xhtml", NavigationDocument(facts, plan))) &&
             note(zip.AddDeflated("OEBPS/toc.ncx", Ncx(facts, plan))) &&
             note(zip.AddDeflated(kPackagePath, PackageDocument(facts, plan)));

        // The pages are made and compressed on both cores a block ahead of
        // the writing, and written in book order: the same archive, byte for
        // byte, as one page after another.
        const std::string_view text = book.workingText.Bytes();
        auto makePage = [&](std::size_t i) {
            const Page& page = plan.pages[i];
            if (page.kind == Page::Kind::Volume) return Compress(VolumePage(facts, plan, page));
            const auto k = static_cast<std::size_t>(page.chapter);
            const auto start = static_cast<std::size_t>(std::max<std::int64_t>(0, index.ChapterStart[k]));
            const auto end = static_cast<std::size_t>(std::max<std::int64_t>(index.ChapterEnd[k + 1], 0));
            const std::string_view body =
                start < end && end <= text.size() ? text.substr(start, end - start) : std::string_view();
            return Compress(ChapterPage(facts, plan, page, body));
        };
        auto makeBlock = [&](std::size_t begin, std::size_t end) {
            std::vector<CompressedEntry> block(end - begin);
            auto make = [&](std::size_t from, std::size_t to) {
                for (std::size_t i = from; i < to; ++i) block[i - begin] = makePage(i);
            };
            const std::size_t middle = runtime::WorkerCount() > 1 ? begin + (end - begin) / 2 : end;
            auto other = std::async(Ahead(), make, middle, end);
            make(begin, middle);
            other.get();
            return block;
        };
        constexpr std::size_t kBlock = 64;
        const std::size_t pages = plan.pages.size();
        std::future<std::vector<CompressedEntry>> next;
        if (pages > 0) next = std::async(Ahead(), makeBlock, 0, std::min(kBlock, pages));
        int lastPercent = -1;
        for (std::size_t begin = 0; ok && begin < pages; begin += kBlock) {
            const std::size_t end = std::min(begin + kBlock, pages);
            const std::vector<CompressedEntry> block = next.get();
            if (end < pages) next = std::async(Ahead(), makeBlock, end, std::min(end + kBlock, pages));
            for (std::size_t i = begin; ok && i < end; ++i) {
                ok = note(zip.AddCompressed("OEBPS/" + plan.pages[i].href, block[i - begin]));
                const int percent = static_cast<int>((i + 1) * 100 / pages);
                if (percent != lastPercent) {
                    ui.Status(std::to_string(percent) + "%");
                    ui.Progress(msg::kEpubStage, static_cast<std::int64_t>(i + 1), static_cast<std::int64_t>(pages));
                    lastPercent = percent;
                    if (job.pumpEvents) job.pumpEvents();
                }
            }
            if (ui.CancelRequested()) {
                if (next.valid()) next.wait();
                zip.Close();
                fs::remove(temporary, ec);
                ui.Status(msg::kCancelled);
                result.cancelled = true;
                return result;
            }
        }
        if (next.valid()) next.wait();
        if (!note(zip.Close()) || !ok)
            return fail();
    }
    if (!runtime::SyncFile(temporary, why) || !runtime::RenameOver(temporary, result.file, why))
        return fail();
    result.written = true;

    if (!plan.missingPictures.empty()) {
        std::string names;
        for (const auto& n : plan.missingPictures) names += "\r\n" + runtime::Utf8ToGbk(n);
        ui.Message(std::string(msg::kPicturesMissing) + names, Icon::Exclamation);
    }
    ui.Status(msg::Written(runtime::Utf8ToGbk(result.file.filename().string())), true);
    return result;
}

}  // namespace qx::epub
