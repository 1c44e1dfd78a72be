// Compiled as GBK: the brackets around names in the messages are GBK bytes.
#include "output/output_run.h"
#include "runtime/threads.h"

#include <random>

#include <future>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <system_error>

#include "output/messages.h"
#include "runtime/encoding.h"
#include "runtime/files.h"
#include "runtime/shell.h"

namespace qx::output {
namespace {

// Blocks are made ahead on a thread of their own, unless the work is to run
// on one core.
std::launch Ahead() { return runtime::WorkerCount() > 1 ? std::launch::async : std::launch::deferred; }

namespace fs = std::filesystem;
using runtime::Answer;
using runtime::Buttons;
using runtime::Icon;

// How many failed files the closing message names one by one.
constexpr std::size_t kFilesNamed = 10;

Text GbkOf(const fs::path& path) { return runtime::Utf8ToGbk(path.string()); }

bool Exists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

bool IsDirectory(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

// A name that stands for one entry inside its folder: no separator, not
// made of dots only, no NUL byte.
bool IsPlainName(std::string_view utf8) {
    if (utf8.empty() || utf8.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos) return false;
    return utf8.find_first_not_of('.') != std::string_view::npos;
}

void Pump(const std::function<void()>& pumpEvents) {
    if (pumpEvents) pumpEvents();
}

// The error the last system call left, for a write that just failed.
std::error_code LastError() {
    return std::error_code(errno, std::generic_category());
}

// A file that failed, and why: a failure that spoils every later write
// (disk full, read-only) stops the run from putting anything in place.
void AddFailure(OutputProblems& problems, fs::path file, const std::error_code& why) {
    problems.failedFiles.push_back(std::move(file));
    if (!problems.placeError && runtime::PlaceCannotBeWritten(why))
        problems.placeError = why;
}

// The entries of one folder, split into subfolders and files, each in byte
// order of their names. A link to a file counts as the file; a link to a
// folder is left alone.
struct FolderListing {
    std::vector<fs::path> folders, files;
    bool ok = true;
};
FolderListing ListFolder(const fs::path& folder) {
    FolderListing listing;
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    if (ec) {
        listing.ok = false;
        return listing;
    }
    for (; it != end; it.increment(ec)) {
        const auto& entry = *it;
        std::error_code sec;
        const auto linkStatus = entry.symlink_status(sec);
        if (fs::is_directory(linkStatus)) {
            listing.folders.push_back(entry.path().filename());
        } else if (fs::is_regular_file(entry.status(sec))) {
            listing.files.push_back(entry.path().filename());
        }
    }
    if (ec) listing.ok = false;
    std::sort(listing.folders.begin(), listing.folders.end());
    std::sort(listing.files.begin(), listing.files.end());
    return listing;
}

void ReportProblems(const OutputProblems& problems, runtime::Ui& ui) {
    Text text(msg::kOutputIncomplete);
    const auto& files = problems.failedFiles;
    for (std::size_t i = 0; i < files.size() && i < kFilesNamed; ++i) {
        text.append("\r\n").append(msg::kFileNotWritten).append(GbkOf(files[i]));
    }
    if (files.size() > kFilesNamed) {
        text.append("\r\n").append(msg::kMoreFiles).append(std::to_string(files.size() - kFilesNamed));
        text.append(msg::kMoreFilesClose);
    }
    for (const auto& name : problems.brokenTemplates) {
        text.append("\r\n").append(msg::kBrokenTemplateOpen).append(name).append(msg::kBrokenTemplateClose);
    }
    ui.Message(text, Icon::Error);
}

bool LabelsComplete(const text::ChapterIndex& index) {
    const auto n = index.titles.size();
    return index.labels.size() == n && index.volumeNumbers.size() == n;
}

// The book's pictures: every file of the folder "pic" beside the input file
// goes straight into txt/.
void CopyPictures(const fs::path& inputFile, const fs::path& ebookDirectory, runtime::Ui& ui,
                  OutputProblems& problems) {
    if (inputFile.empty()) return;
    const fs::path pictures = inputFile.parent_path() / "pic";
    if (!IsDirectory(pictures)) return;
    const FolderListing listing = ListFolder(pictures);
    if (listing.files.empty()) return;
    ui.Status(msg::kCopyingPictures);
    for (const auto& name : listing.files) {
        std::error_code ec;
        const fs::path target = ebookDirectory / "txt" / name;
        if (!fs::copy_file(pictures / name, target, fs::copy_options::overwrite_existing, ec)) {
            AddFailure(problems, target, ec);
        }
    }
}

}  // namespace

bool CheckOutputReady(const text::ChapterIndex& index, std::size_t selectedTemplateCount, runtime::Ui& ui) {
    // A book of one chapter (a short story, or a text without headings read
    // whole) makes an e-book like any other: only a book with no chapter
    // has not been read yet.
    if (index.ChapterCount() < 1) {
        ui.Status(msg::kAnalyseFirst);
        return false;
    }
    if (selectedTemplateCount == 0) {
        ui.Status(msg::kChooseTemplate);
        return false;
    }
    return true;
}

constexpr std::size_t kLongestTitleBytes = 200;

std::optional<fs::path> EbookDirectoryFor(const fs::path& outputDirectory, std::string_view title,
                                          std::string_view author, runtime::Ui& ui) {
    if (outputDirectory.empty()) {
        ui.Message(msg::kOutputDirectoryMissing, Icon::Error);
        return std::nullopt;
    }
    const std::string_view name = runtime::TrimEnd(title);
    if (TitleMissing(title) || name.empty()) {
        ui.Message(msg::kTitleMissing);
        return std::nullopt;
    }
    if (AuthorMissing(author)) {
        ui.Message(msg::kAuthorMissing);
        return std::nullopt;
    }
    const std::string utf8 = runtime::GbkToUtf8(name);
    if (!IsPlainName(utf8) || name.find('\0') != std::string_view::npos) {
        ui.Message(msg::kTitleNotAName, Icon::Error);
        return std::nullopt;
    }
    // File systems take names of 255 bytes; the run's own folder beside the
    // e-book and the EPUB's name add to the title.
    if (utf8.size() > kLongestTitleBytes) {
        ui.Message(msg::kTitleTooLong, Icon::Error);
        return std::nullopt;
    }
    return outputDirectory / utf8;
}

bool MakeDirectoryPath(const fs::path& path, runtime::Ui& ui) {
    fs::path target = path.lexically_normal();
    if (!target.has_filename() && target.has_parent_path()) target = target.parent_path();
    // Up to the first level that exists, then down again creating each.
    std::vector<fs::path> missing;
    for (fs::path level = target; !level.empty() && !Exists(level); level = level.parent_path()) {
        missing.push_back(level);
        if (level == level.parent_path()) break;
    }
    auto fail = [&](const fs::path& level, std::error_code why) {
        if (!why)
            why = std::make_error_code(std::errc::not_a_directory);
        ui.Message(
            Text(msg::kDirectoryFailed) + "\r\n" + GbkOf(level) + Text(msg::kReason) + runtime::ReasonOf(why),
            Icon::Error);
        return false;
    };
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        std::error_code ec;
        if (!fs::create_directory(*it, ec) && !IsDirectory(*it))
            return fail(*it, ec);
    }
    if (!IsDirectory(target))
        return fail(target, {});
    return true;
}

bool CopyDirectoryTree(const fs::path& source, const fs::path& target,
                       const std::function<void()>& pumpEvents, fs::path* failedFile,
                       std::error_code* error) {
    std::error_code ec;
    auto fail = [&](const fs::path& file) {
        if (failedFile)
            *failedFile = file;
        if (error)
            *error = ec;
        return false;
    };
    if (!IsDirectory(source)) {
        if (!fs::is_regular_file(source, ec)) return false;
        return fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec) || fail(target);
    }
    if (!fs::create_directory(target, ec) && !IsDirectory(target)) return fail(target);

    // Folders first, breadth first.
    std::vector<fs::path> folders{fs::path()};
    std::deque<fs::path> queue{fs::path()};
    while (!queue.empty()) {
        const fs::path relative = queue.front();
        queue.pop_front();
        for (const auto& name : ListFolder(source / relative).folders) {
            const fs::path sub = relative / name;
            if (!fs::create_directory(target / sub, ec) && runtime::PlaceCannotBeWritten(ec))
                return fail(target / sub);
            folders.push_back(sub);
            queue.push_back(sub);
            Pump(pumpEvents);
        }
    }
    // Then the files, folder by folder in the same order.
    for (const auto& relative : folders) {
        const FolderListing listing = ListFolder(source / relative);
        if (!listing.ok) {
            ec.clear();
            return fail(source / relative);
        }
        for (const auto& name : listing.files) {
            const fs::path to = target / relative / name;
            if (!fs::copy_file(source / relative / name, to, fs::copy_options::overwrite_existing, ec)) {
                return fail(to);
            }
            Pump(pumpEvents);
        }
    }
    return true;
}

namespace {

// The folder of a template: the program home's, else the installed one of
// that name (the user's own template wins over an installed one).
fs::path TemplateFolder(const OutputJob& job, const std::string& folder) {
    const fs::path own = job.programHome / "template" / folder;
    std::error_code ec;
    if (job.installedTemplates.empty() || fs::is_directory(own, ec))
        return own;
    const fs::path installed = job.installedTemplates / folder;
    return fs::is_directory(installed, ec) ? installed : own;
}

}  // namespace

void OutputTemplates(const OutputJob& job, const fs::path& ebookDirectory, const PageContext& page,
                     runtime::Ui& ui, OutputProblems& problems) {
    const auto& names = job.selectedTemplates;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Text& name = names[i];
        ui.Status(Text(msg::kOutputtingTemplateOpen) + name + Text(msg::kOutputtingTemplateClose));
        const std::string folder = runtime::GbkToUtf8(name);
        if (IsPlainName(folder)) {
            fs::path failed;
            std::error_code why;
            if (!CopyDirectoryTree(TemplateFolder(job, folder), ebookDirectory, job.pumpEvents, &failed,
                                   &why) &&
                !failed.empty()) {
                AddFailure(problems, failed, why);
            }
        }
        errno = 0;
        TemplatePagesResult pages = WriteTemplatePages(ebookDirectory, page, ui);
        const std::error_code pagesError = LastError();  // of the last page that failed, if one did
        if (!pages.hasChapterPage) problems.brokenTemplates.push_back(name);
        for (auto& f : pages.failedFiles)
            AddFailure(problems, std::move(f), pagesError);

        const fs::path index = ebookDirectory / "index";
        const fs::path numbered = ebookDirectory / ("index" + std::to_string(i + 1));
        if (IsDirectory(index)) {
            std::error_code ec;
            fs::rename(index, numbered, ec);
            if (ec)
                AddFailure(problems, numbered, ec);
        }
    }
    std::error_code ec;
    fs::create_directory(ebookDirectory / "js", ec);
    if (names.size() > 1) {
        const fs::path menu = ebookDirectory / "js" / "mb.js";
        if (WriteFileIfAbsent(menu, BuildTemplateMenuScript(TemplateMenuItems(names), page)) == FileWrite::Failed) {
            AddFailure(problems, menu, LastError());
        }
    }
}

namespace {

// Chapters built ahead of the writing, a block at a time.
constexpr int kBlock = 256;

struct BuiltBlock {
    std::vector<Text> fragments;
    std::vector<int> sizes;
};

// The fragments of chapters [begin, end), built on two threads.
BuiltBlock BuildBlock(const text::Book& book, const PageContext& page, int begin, int end) {
    BuiltBlock b;
    b.fragments.resize(static_cast<std::size_t>(end - begin));
    b.sizes.resize(static_cast<std::size_t>(end - begin));
    auto build = [&](int from, int to) {
        for (int k = from; k < to; ++k) {
            const auto i = static_cast<std::size_t>(k - begin);
            b.fragments[i] = BuildChapterFragmentOf(book, k, page, &b.sizes[i]);
        }
    };
    const int middle = runtime::WorkerCount() > 1 ? begin + (end - begin) / 2 : end;
    auto other = std::async(Ahead(), build, middle, end);
    build(begin, middle);
    other.get();
    return b;
}

// A folder beside `ebook` for the run to fill, under a name of its own:
// "." + name + ".part-" + a number.
std::string TemporaryPrefix(const fs::path& ebook) {
    return "." + ebook.filename().string() + ".part-";
}

fs::path TemporaryBeside(const fs::path& ebook) {
    std::random_device rd;
    return ebook.parent_path() / (TemporaryPrefix(ebook) + std::to_string(rd()));
}

bool MoveAway(const OutputJob& job, const fs::path& path) {
    return job.moveToTrash ? job.moveToTrash(path) : runtime::MoveToTrash(path);
}

// The folders that earlier runs of this book left when they died: a new
// e-book half filled, or the old one after the exchange, on its way to the
// trash. They go to the trash, where a user looks for what went missing;
// only folders of the run's own temporary names that no living run marks.
void TrashLeftovers(const OutputJob& job, const fs::path& ebook) {
    const std::string prefix = TemporaryPrefix(ebook);
    const auto ours = [&](std::string_view name) {
        return name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix &&
               name.find_first_not_of("0123456789", prefix.size()) == std::string_view::npos;
    };
    for (const auto& leftover : runtime::LeftoversIn(ebook.parent_path(), ours)) {
        if (IsDirectory(leftover))
            MoveAway(job, leftover);
    }
}

// The error box of a run that the place could not take.
void ReportPlaceFailure(const fs::path& ebook, const OutputProblems& problems, runtime::Ui& ui) {
    Text text = Text(msg::kPlaceFailed) + GbkOf(ebook);
    if (!problems.failedFiles.empty())
        text.append("\r\n").append(msg::kFileNotWritten).append(GbkOf(problems.failedFiles.front()));
    text.append(msg::kReason).append(runtime::ReasonOf(problems.placeError));
    ui.Message(text, Icon::Error);
}

}  // namespace

OutputResult RunOutput(OutputJob& job, runtime::Ui& ui) {
    OutputResult result;
    if (!job.book) return result;
    text::Book& book = *job.book;
    auto& index = book.index;
    if (!CheckOutputReady(index, job.selectedTemplates.size(), ui)) return result;
    // A book loaded in one-line mode has no labels until it is analysed;
    // every fragment would get the same empty name.
    if (!LabelsComplete(index)) {
        text::AnalyzeChapters(book, text::LayoutMode::OneLine, ui);
        if (!LabelsComplete(index)) {
            ui.Status(msg::kAnalyseFirst);
            return result;
        }
    }

    const auto directory = EbookDirectoryFor(job.outputDirectory, job.title, job.author, ui);
    if (!directory) return result;
    const fs::path& ebook = *directory;
    result.ebookDirectory = ebook;

    // An existing e-book directory goes to the trash only when the new one
    // is complete: the run fills a folder of its own beside it and renames
    // it into place at the end, so a cancelled run leaves the old one and no
    // half-written directory.
    const bool replacing = Exists(ebook);
    if (replacing && ui.Ask(msg::kEbookExists, Buttons::YesNo) != Answer::Yes) return result;
    if (!MakeDirectoryPath(ebook.parent_path(), ui)) return result;
    TrashLeftovers(job, ebook);
    const fs::path work = TemporaryBeside(ebook);
    {
        // The user knows the e-book directory, not the temporary name: the
        // message names the one the run was making.
        std::error_code made;
        if (!fs::create_directory(work, made)) {
            if (!made)
                made = std::make_error_code(std::errc::file_exists);
            ui.Message(Text(msg::kDirectoryFailed) + "\r\n" + GbkOf(ebook) + Text(msg::kReason) +
                           runtime::ReasonOf(made),
                       Icon::Error);
            return result;
        }
    }
    const runtime::WritingMark workMark(work);  // not a leftover while this run lives
    std::error_code ec;
    auto cancelled = [&] {
        if (!ui.CancelRequested()) return false;
        fs::remove_all(work, ec);
        ui.Status(msg::kCancelled);
        result.cancelled = true;
        return true;
    };

    const PageContext page{job.title, job.author, job.parameters, job.selectedTemplates.size()};
    OutputProblems& problems = result.problems;
    OutputTemplates(job, work, page, ui, problems);
    if (cancelled()) return result;

    for (const char* folder : {"txt", "js"}) {
        if (!fs::create_directory(work / folder, ec) && runtime::PlaceCannotBeWritten(ec)) {
            AddFailure(problems, ebook / folder, ec);
        }
    }

    // Fragments are built on both cores a block ahead of the writing, and
    // written in book order: the same files, byte for byte, as one by one.
    const int n = index.ChapterCount();
    std::vector<int> sizes(static_cast<std::size_t>(n), 0);
    std::future<BuiltBlock> next =
        std::async(Ahead(), BuildBlock, std::cref(book), std::cref(page), 0, std::min(kBlock, n));
    int shown = -1;
    for (int begin = 0; begin < n; begin += kBlock) {
        const int end = std::min(begin + kBlock, n);
        BuiltBlock block = next.get();
        if (end < n) {
            next = std::async(Ahead(), BuildBlock, std::cref(book), std::cref(page), end,
                              std::min(end + kBlock, n));
        }
        for (int k = begin; k < end; ++k) {
            const auto i = static_cast<std::size_t>(k - begin);
            sizes[static_cast<std::size_t>(k)] = block.sizes[i];
            const fs::path file = work / "txt" / (runtime::GbkToUtf8(index.labels[static_cast<std::size_t>(k)]) + ".txt");
            if (!WriteWholeFile(file, block.fragments[i]))
                AddFailure(problems, ebook / "txt" / file.filename(), LastError());
            const int percent = static_cast<int>(static_cast<std::int64_t>(k + 1) * 100 / n);
            if (percent != shown) {
                shown = percent;
                ui.Status(std::to_string(percent) + "%");
                ui.Progress(msg::kOutputStage, k + 1, n);
                Pump(job.pumpEvents);
            }
        }
        if (ui.CancelRequested()) {
            if (next.valid()) next.wait();
            cancelled();
            return result;
        }
        if (problems.placeError)
            break;  // every later file would fail the same way
    }
    if (next.valid())
        next.wait();
    if (problems.placeError) {
        fs::remove_all(work, ec);
        ReportPlaceFailure(ebook, problems, ui);
        return result;
    }
    index.sizes = std::move(sizes);
    index.sizes.resize(index.titles.size(), 0);
    index.cursor = 0;

    auto writeIfAbsent = [&](const fs::path& path, std::string_view bytes) {
        if (WriteFileIfAbsent(path, bytes) == FileWrite::Failed) {
            AddFailure(problems, ebook / path.lexically_relative(work), LastError());
        }
    };
    writeIfAbsent(work / "js" / "page.js", BuildPageTable(index, page, ui));
    writeIfAbsent(work / "start.htm", BuildStartPage(page, ui));
    writeIfAbsent(work / "js" / "chapter.js", page.Parameter(param::kChapterScript));

    CopyPictures(job.inputFile, work, ui, problems);
    if (cancelled()) return result;

    if (problems.placeError) {
        fs::remove_all(work, ec);
        ReportPlaceFailure(ebook, problems, ui);
        return result;
    }

    // Into place. An existing e-book directory is exchanged with the new one
    // in one step, then goes to the trash from the temporary name: a run
    // that dies at any moment leaves one of the two, whole, under the final
    // name. Where the file system cannot exchange, the old one steps aside
    // under a temporary name and the new one is renamed after it: only
    // between those two renames is neither under the final name, and both
    // are still beside it.
    if (replacing) {
        ui.Status(msg::kMovingToTrash);
        std::error_code placing;
        bool exchanged = runtime::ExchangePaths(work, ebook, placing);
        fs::path old = work;  // where the old one is once the new one is in place
        if (!exchanged && runtime::ExchangeUnsupported(placing)) {
            old = TemporaryBeside(ebook);
            placing.clear();
            fs::rename(ebook, old, placing);
            if (!placing) {
                fs::rename(work, ebook, placing);
                if (placing) {
                    std::error_code back;
                    fs::rename(old, ebook, back);
                }
            }
        } else if (!exchanged) {
            old.clear();
        }
        if (placing) {
            // Nothing moved: the old one stays as it was.
            fs::remove_all(work, ec);
            AddFailure(problems, ebook, placing);
            if (problems.placeError) {
                ReportPlaceFailure(ebook, problems, ui);
            } else {
                ReportProblems(problems, ui);
            }
            return result;
        }
        runtime::WritingMark oldMark(old);
        if (!MoveAway(job, old) || Exists(old)) {
            // The old one cannot go: it goes back into place and the new one
            // is removed, as if the run had not put it there.
            oldMark.Release();
            std::error_code back;
            if (exchanged) {
                if (runtime::ExchangePaths(old, ebook, back))
                    fs::remove_all(old, ec);
            } else {
                const fs::path newAside = TemporaryBeside(ebook);
                fs::rename(ebook, newAside, back);
                if (!back)
                    fs::rename(old, ebook, back);
                fs::remove_all(newAside, ec);
            }
            ui.Message(msg::kTrashFailed, Icon::Error);
            return result;
        }
    } else {
        std::error_code placing;
        fs::rename(work, ebook, placing);
        if (placing) {
            fs::remove_all(work, ec);
            AddFailure(problems, ebook, placing);
            if (problems.placeError) {
                ReportPlaceFailure(ebook, problems, ui);
                return result;
            }
        }
    }

    if (problems.Any()) {
        ReportProblems(problems, ui);
        return result;
    }
    ui.Status(job.title + Text(msg::kOutputSucceeded), true);
    result.completed = true;
    return result;
}

bool CleanEbookDirectory(const fs::path& ebookDirectory, runtime::Ui& ui,
                         const std::function<bool(const fs::path&)>& moveToTrash) {
    if (ebookDirectory.empty()) return false;
    const Text shown = GbkOf(ebookDirectory);
    const Text question = Text(msg::kCleanQuestionOpen) + shown + Text(msg::kCleanQuestionClose);
    if (ui.Ask(question, Buttons::YesNo) != Answer::Yes) return false;
    const bool moved = moveToTrash ? moveToTrash(ebookDirectory) : runtime::MoveToTrash(ebookDirectory);
    ui.Status(Text(msg::kCleanResultOpen) + shown + Text(moved ? msg::kCleanSucceededClose : msg::kCleanFailedClose),
              true);
    return moved;
}

bool CheckPreviewReady(const fs::path& ebookDirectory, runtime::Ui& ui) {
    if (!ebookDirectory.empty() && Exists(ebookDirectory / "start.htm")) return true;
    ui.Message(msg::kNothingToPreview, Icon::Error);
    return false;
}

}  // namespace qx::output
