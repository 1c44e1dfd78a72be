#include "projects/chm_project.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <system_error>
#include <type_traits>

#include "projects/process.h"
#include "projects/project_text.h"
#include "runtime/encoding.h"

namespace qx::projects {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kNoOutput = "请先输出文件！！！";
constexpr std::string_view kCompiled = "编译CHM成功！";
constexpr std::string_view kCompilerMissing = "CHM编译程序HHC.EXE不存在";
constexpr std::string_view kCompiling = "正在编译CHM，请稍候……";
constexpr std::string_view kFailed = "编译CHM失败！";
constexpr std::string_view kStopped = "编译CHM已中止";
constexpr std::string_view kBadFileName = "CHM文件名不能为空，也不能含有下列字符：\r\n\\ / : * ? \" < > |";
constexpr std::string_view kNoChm = "文件不存在！\r\n请先编译文件！！！！";

// The language of a CHM whose project leaves it open: the pages are GBK.
constexpr std::string_view kChineseLanguage = "0x804";

// How many lines of the compiler's output an error message shows.
constexpr std::size_t kShownOutputLines = 40;

// ---------------------------------------------------------------------------
// File list

std::string LowerAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Names in the order a Windows file system lists them: letters compared
// without case, ties broken by the exact name.
bool ByName(const fs::path& a, const fs::path& b) {
    const auto& x = a.native();
    const auto& y = b.native();
    const auto lower = [](auto c) {
        using Unit = std::make_unsigned_t<decltype(c)>;
        return c >= 'A' && c <= 'Z' ? static_cast<Unit>(c - 'A' + 'a') : static_cast<Unit>(c);
    };
    const auto lessFolded = [&](auto p, auto q) { return lower(p) < lower(q); };
    if (std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), lessFolded)) return true;
    if (std::lexicographical_compare(y.begin(), y.end(), x.begin(), x.end(), lessFolded)) return false;
    return x < y;
}

struct Entries {
    std::vector<fs::path> files;
    std::vector<fs::path> directories;
};

// Plain files (and links to them) and real subdirectories of one directory,
// each group sorted by name. Anything else (a pipe, a device, a link to a
// directory) is left out: a compiler reading a pipe would never end, and a
// link to a directory may lead in a circle.
Entries ReadDirectory(const fs::path& dir) {
    Entries out;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) return out;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const auto& entry = *it;
        std::error_code typeError;
        if (entry.is_symlink(typeError)) {
            if (fs::is_regular_file(entry.path(), typeError)) out.files.push_back(entry.path().filename());
        } else if (entry.is_directory(typeError)) {
            out.directories.push_back(entry.path().filename());
        } else if (entry.is_regular_file(typeError)) {
            out.files.push_back(entry.path().filename());
        }
    }
    std::sort(out.files.begin(), out.files.end(), ByName);
    std::sort(out.directories.begin(), out.directories.end(), ByName);
    return out;
}

// A subdirectory: its own subdirectories first, depth first, then its files.
void AppendSubdirectory(const fs::path& root, const fs::path& relative, std::vector<fs::path>& list) {
    const Entries entries = ReadDirectory(root / relative);
    for (const auto& d : entries.directories) AppendSubdirectory(root, relative / d, list);
    for (const auto& f : entries.files) list.push_back(relative / f);
}

// ---------------------------------------------------------------------------
// Project texts

Text FillTemplate(std::string_view hhpTemplate, std::string_view ebookTitle, std::string_view chmFileName) {
    // A line break in the title (the default rights text has one) would cut
    // the Title line and the window definition in two.
    Text text = runtime::Replace(hhpTemplate, "{标题}", JoinLines(ebookTitle));
    return runtime::Replace(text, "{文件名}", chmFileName);
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (true) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::string_view TrimAscii(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// "[NAME]" gives the upper-case name; any other line nothing.
std::optional<std::string> SectionName(std::string_view line) {
    line = TrimAscii(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
    std::string name(line.substr(1, line.size() - 2));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

struct Option {
    std::string key;  // lower case
    std::string_view value;
};
std::optional<Option> ParseOption(std::string_view line) {
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return Option{LowerAscii(std::string(TrimAscii(line.substr(0, eq)))), TrimAscii(line.substr(eq + 1))};
}

// A path of the project relative to the e-book directory, where chmcmd runs.
fs::path RelativeToBook(const fs::path& path, const fs::path& ebookDirectory) {
    if (!path.is_absolute()) return path;
    const fs::path relative = path.lexically_relative(ebookDirectory);
    return relative.empty() ? path : relative;
}

std::string ProjectPath(std::string_view gbk, const fs::path& ebookDirectory) {
    return PathToProjectBytes(RelativeToBook(ProjectTextToPath(gbk), ebookDirectory));
}

bool IsPathOption(const std::string& key) {
    return key == "contents file" || key == "index file" || key == "default topic" ||
           key == "full text search stop list file";
}

// A window definition: name="title","contents","index","default","home",...
// The four file fields after the title get the project's path form.
std::string AdaptWindow(std::string_view line, const fs::path& ebookDirectory) {
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return std::string(line);
    std::vector<std::string_view> fields;
    std::string_view rest = line.substr(eq + 1);
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= rest.size(); ++i) {
        if (i == rest.size() || (rest[i] == ',' && !quoted)) {
            fields.push_back(rest.substr(start, i - start));
            start = i + 1;
        } else if (rest[i] == '"') {
            quoted = !quoted;
        }
    }
    std::string out(line.substr(0, eq + 1));
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out += ',';
        std::string_view f = fields[i];
        if (i >= 1 && i <= 4 && f.size() >= 2 && f.front() == '"' && f.back() == '"' && f.size() > 2) {
            out += '"' + ProjectPath(f.substr(1, f.size() - 2), ebookDirectory) + '"';
        } else {
            out += f;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// The compiler run

struct FileStamp {
    bool exists = false;
    std::uintmax_t size = 0;
    fs::file_time_type time{};
};
FileStamp StampOf(const fs::path& path) {
    FileStamp s;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return s;
    s.exists = true;
    s.size = fs::file_size(path, ec);
    s.time = fs::last_write_time(path, ec);
    return s;
}

bool WriteBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

void RemoveQuietly(const fs::path& path) {
    std::error_code ec;
    fs::remove(path, ec);
}

// The last lines of the compiler's output, with CR LF line ends.
Text OutputTail(std::string_view output) {
    std::vector<std::string_view> lines = SplitLines(output);
    while (!lines.empty() && TrimAscii(lines.back()).empty()) lines.pop_back();
    const std::size_t first = lines.size() > kShownOutputLines ? lines.size() - kShownOutputLines : 0;
    Text out;
    for (std::size_t i = first; i < lines.size(); ++i) {
        if (!out.empty()) out += "\r\n";
        out += lines[i];
    }
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------

Text LastChapterLabel(const text::ChapterIndex& index) {
    const std::size_t n = index.titles.size();
    if (n == 0 || n > index.labels.size()) return {};
    return index.labels[n - 1];
}

Text ProposeEbookTitle(std::string_view title, std::string_view author, std::string_view rights,
                       std::string_view maker) {
    Text t(title);
    t += " 作者：";
    t += author;
    t += " - ";
    t += rights;
    t += " - ";
    t += maker;
    return t;
}

Text ProposeChmFileName(std::string_view title, std::string_view lastChapterLabel, std::string_view author) {
    Text t(title);
    t += "(1~";
    t += lastChapterLabel;
    t += ")作者：";
    t += author;
    return t;
}

Text FullBookChmFileName(std::string_view title, std::string_view author) {
    Text t("《");
    t += title;
    t += "》作者：";
    t += author;
    return t;
}

Text TitleDialogFileName(bool fullBookTicked, std::string_view title, std::string_view author,
                         std::string_view proposedChmFileName) {
    return fullBookTicked ? FullBookChmFileName(title, author) : Text(proposedChmFileName);
}

ChmProposal ProposeChm(const ChmRequest& request, runtime::Ui& ui) {
    ChmProposal p;
    p.ebookDirectory = request.recordedEbookDirectory;
    std::error_code ec;
    if (request.recordedEbookDirectory.empty() ||
        !fs::is_regular_file(request.recordedEbookDirectory / "start.htm", ec)) {
        ui.Status(kNoOutput);
        return p;
    }
    // The output run names the directory after the title without its trailing blanks.
    const std::string_view name = runtime::TrimEnd(request.title);
    const fs::path named = request.outputDirectory / GbkToPath(name);
    if (!name.empty() && fs::is_regular_file(named / "start.htm", ec)) p.ebookDirectory = named;
    p.ready = true;
    p.ebookTitle = ProposeEbookTitle(request.title, request.author, request.rights, request.maker);
    p.chmFileName = ProposeChmFileName(request.title, request.lastChapterLabel, request.author);
    return p;
}

std::vector<fs::path> ListEbookFiles(const fs::path& ebookDirectory) {
    std::vector<fs::path> list;
    const Entries top = ReadDirectory(ebookDirectory);
    for (const auto& f : top.files) {
        // Project files left behind by a run that was cut short are not part of the book.
        if (f == kProjectFileName || f == kChmcmdProjectFileName) continue;
        list.push_back(f);
    }
    for (const auto& d : top.directories) AppendSubdirectory(ebookDirectory, d, list);
    return list;
}

Text BuildChmProject(std::string_view hhpTemplate, std::string_view ebookTitle, std::string_view chmFileName,
                     const fs::path& ebookDirectory, const std::vector<fs::path>& files) {
    Text text = FillTemplate(hhpTemplate, ebookTitle, chmFileName);
    Text directory = PathToGbk(ebookDirectory);
    while (directory.size() > 1 && (directory.back() == '/' || directory.back() == '\\')) directory.pop_back();
    for (const auto& f : files) {
        // A slash is never part of a GBK character, so it can be swapped bytewise.
        Text relative = PathToGbk(f);
        std::replace(relative.begin(), relative.end(), '/', '\\');
        text += "\r\n";
        text += directory;
        text += '\\';
        text += relative;
    }
    return text;
}

fs::path CompiledFileOf(std::string_view filledTemplate, const fs::path& ebookDirectory) {
    std::string section;
    for (std::string_view line : SplitLines(filledTemplate)) {
        if (auto name = SectionName(line)) {
            section = *name;
            continue;
        }
        if (section != "OPTIONS") continue;
        const auto option = ParseOption(line);
        if (!option || option->key != "compiled file") continue;
        if (option->value.empty()) break;
        const fs::path p = ProjectTextToPath(option->value);
        return (p.is_absolute() ? p : ebookDirectory / p).lexically_normal();
    }
    return ebookDirectory / "temp.chm";
}

Text AdaptProjectForChmcmd(std::string_view filledTemplate, const fs::path& ebookDirectory,
                           const std::vector<fs::path>& files) {
    std::vector<std::string> out;
    std::vector<std::string> entries;
    std::optional<std::size_t> filesHeader, optionsHeader;
    bool hasCompiledFile = false, hasLanguage = false;
    std::string section;
    std::error_code ec;

    for (std::string_view line : SplitLines(filledTemplate)) {
        if (auto name = SectionName(line)) {
            section = *name;
            if (section == "FILES") {
                if (!filesHeader) {
                    filesHeader = out.size();
                    out.emplace_back(line);
                }
                continue;
            }
            if (section == "OPTIONS" && !optionsHeader) optionsHeader = out.size();
            out.emplace_back(line);
            continue;
        }
        if (section == "FILES") {
            // The template's own entries: kept when they name a file of the
            // book; chmcmd stops at the first file it cannot open.
            const std::string_view entry = TrimAscii(line);
            if (entry.empty() || entry.front() == ';') continue;
            const fs::path relative = RelativeToBook(ProjectTextToPath(entry), ebookDirectory);
            if (!relative.is_absolute() && fs::is_regular_file(ebookDirectory / relative, ec)) {
                entries.push_back(PathToProjectBytes(relative));
            }
            continue;
        }
        if (section == "OPTIONS") {
            if (auto option = ParseOption(line)) {
                const std::string key(TrimAscii(line.substr(0, line.find('='))));
                if (option->key == "compiled file") {
                    hasCompiledFile = true;
                    const std::string value = option->value.empty() ? std::string("temp.chm")
                                                                    : ProjectPath(option->value, ebookDirectory);
                    out.push_back(key + "=" + value);
                    continue;
                }
                if (option->key == "language") {
                    hasLanguage = true;
                    if (option->value.empty()) {
                        out.push_back(key + "=" + std::string(kChineseLanguage));
                        continue;
                    }
                }
                if (IsPathOption(option->key) && !option->value.empty()) {
                    out.push_back(key + "=" + ProjectPath(option->value, ebookDirectory));
                    continue;
                }
            }
        } else if (section == "WINDOWS") {
            out.push_back(AdaptWindow(line, ebookDirectory));
            continue;
        }
        out.emplace_back(line);
    }

    // Without a compiled file chmcmd stops; the HTML Help compiler would name
    // the CHM after the project.
    std::vector<std::string> missingOptions;
    if (!hasCompiledFile) missingOptions.emplace_back("Compiled File=temp.chm");
    if (!hasLanguage) missingOptions.push_back("Language=" + std::string(kChineseLanguage));
    if (!missingOptions.empty()) {
        std::size_t at = 0;
        if (optionsHeader) {
            at = *optionsHeader + 1;
        } else {
            out.insert(out.begin(), "[OPTIONS]");
            at = 1;
            if (filesHeader) ++*filesHeader;
        }
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), missingOptions.begin(), missingOptions.end());
        if (filesHeader && *filesHeader >= at) *filesHeader += missingOptions.size();
    }

    for (const auto& f : files) {
        std::string entry = PathToProjectBytes(f);
        if (std::find(entries.begin(), entries.end(), entry) == entries.end()) entries.push_back(std::move(entry));
    }
    if (filesHeader) {
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(*filesHeader + 1), entries.begin(), entries.end());
    } else {
        out.emplace_back("[FILES]");
        out.insert(out.end(), entries.begin(), entries.end());
    }

    Text text;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (i > 0) text += "\r\n";
        text += out[i];
    }
    return text;
}

bool IsValidChmFileName(std::string_view name) {
    if (runtime::Trim(name).empty()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < name.size()) {
            ++i;  // a two-byte character; its second byte may look like '\' or '|'
            continue;
        }
        if (c < 0x20 || c == 0x7F) return false;
        if (std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos) return false;
    }
    return true;
}

ChmCompiler FindChmCompiler(const fs::path& programHome) {
    ChmCompiler compiler;
    const auto chmcmd = FindOnPath("chmcmd");
    const fs::path hhc = programHome / "chm" / "hhc.exe";
    if (IsExecutableFile(hhc)) {
        compiler.kind = ChmCompiler::Kind::Hhc;
        compiler.program = hhc;
        compiler.fallback = chmcmd;
    } else if (chmcmd) {
        compiler.kind = ChmCompiler::Kind::Chmcmd;
        compiler.program = *chmcmd;
    }
    return compiler;
}

ChmResult CompileChm(const ChmJob& job, runtime::Ui& ui) {
    ChmResult result;
    if (!IsValidChmFileName(job.chmFileName)) {
        result.outcome = ChmOutcome::BadFileName;
        ui.Message(kBadFileName, runtime::Icon::Error);
        return result;
    }
    const fs::path& dir = job.ebookDirectory;
    std::error_code ec;
    if (dir.empty() || !fs::is_regular_file(dir / "start.htm", ec)) {
        result.outcome = ChmOutcome::NotReady;
        ui.Status(kNoOutput);
        return result;
    }

    // The list is taken before the project is written, so the project is
    // not part of the book.
    const std::vector<fs::path> files = ListEbookFiles(dir);
    const Text filled = FillTemplate(job.hhpTemplate, job.ebookTitle, job.chmFileName);
    const fs::path projectFile = dir / kProjectFileName;
    result.chmFile = CompiledFileOf(filled, dir);
    result.showPreviewButtons = true;

    const auto fail = [&](std::string_view reason) {
        result.outcome = ChmOutcome::Failed;
        ui.Status(kFailed);
        Text message(kFailed);
        message += "\r\n";
        message += reason;
        if (const Text tail = OutputTail(result.compilerOutput); !tail.empty()) {
            message += "\r\n\r\n编译程序的输出：\r\n";
            message += tail;
        }
        ui.Message(message, runtime::Icon::Error);
        return result;
    };

    if (!WriteBytes(projectFile, BuildChmProject(job.hhpTemplate, job.ebookTitle, job.chmFileName, dir, files))) {
        RemoveQuietly(projectFile);
        return fail("无法写入工程文件：" + PathToGbk(projectFile));
    }

    const ChmCompiler compiler = FindChmCompiler(job.programHome);
    if (compiler.kind == ChmCompiler::Kind::None) {
        RemoveQuietly(projectFile);
        result.outcome = ChmOutcome::CompilerMissing;
        ui.Message(kCompilerMissing, runtime::Icon::None);
        return result;
    }

    // An older CHM of the same name is set aside while the compiler writes:
    // a compilation that fails or is stopped then puts it back, and never
    // leaves half a file under its name.
    FileStamp before = StampOf(result.chmFile);
    const fs::path aside =
        result.chmFile.parent_path() / ("." + result.chmFile.filename().string() + ".before-compiling");
    bool setAside = false;
    if (before.exists) {
        fs::remove(aside, ec);
        fs::rename(result.chmFile, aside, ec);
        setAside = !ec;
        if (setAside) before.exists = false;
    }
    const auto putBack = [&] {
        if (!setAside) return;
        std::error_code e;
        fs::remove(result.chmFile, e);
        fs::rename(aside, result.chmFile, e);
    };
    ui.Status(kCompiling);
    ProcessCall call;
    call.keepWaiting = [&] {
        if (ui.CancelRequested()) return false;
        return job.keepWaiting ? job.keepWaiting() : true;
    };
    call.timeLimitSeconds = job.timeLimitSeconds;
    ProcessRun run;
    bool judgeExitCode = false;
    std::optional<fs::path> chmcmd;
    if (compiler.kind == ChmCompiler::Kind::Hhc) {
        // The HTML Help compiler reports success with exit code 1, so only
        // the CHM it leaves tells how it went.
        call.program = compiler.program;
        call.arguments = {projectFile};
        call.quoteEveryArgument = true;
        run = RunAndWait(call);
        if (run.end == ProcessRun::End::FailedToStart && compiler.fallback) chmcmd = compiler.fallback;
    } else {
        chmcmd = compiler.program;
    }
    if (chmcmd) {
        // chmcmd gets its own copy of the project, beside temp.hhp and only
        // for this run.
        const fs::path adapted = dir / kChmcmdProjectFileName;
        if (!WriteBytes(adapted, AdaptProjectForChmcmd(filled, dir, files))) {
            RemoveQuietly(adapted);
            RemoveQuietly(projectFile);
            return fail("无法写入工程文件：" + PathToGbk(adapted));
        }
        call.program = *chmcmd;
        call.arguments = {"--no-html-scan", kChmcmdProjectFileName};
        call.workingDirectory = dir;
        call.quoteEveryArgument = false;
        run = RunAndWait(call);
        judgeExitCode = true;
        RemoveQuietly(adapted);
    }
    RemoveQuietly(projectFile);
    result.compilerOutput = runtime::Utf8ToGbk(run.output);
    const auto failed = [&](std::string_view reason) {
        if (setAside) {
            putBack();
        } else if (run.end != ProcessRun::End::Exited || judgeExitCode) {
            RemoveQuietly(result.chmFile);  // what a failed compiler left is no CHM
        }
        return fail(reason);
    };

    switch (run.end) {
    case ProcessRun::End::Stopped:
        if (setAside) {
            putBack();
        } else {
            RemoveQuietly(result.chmFile);
        }
        result.outcome = ChmOutcome::Stopped;
        ui.Status(kStopped);
        return result;
    case ProcessRun::End::FailedToStart:
        return failed("无法启动编译程序。");
    case ProcessRun::End::Crashed:
        return failed("编译程序异常退出。");
    case ProcessRun::End::TimedOut:
        return failed("编译程序运行超过 " + runtime::NumberToText(static_cast<std::int64_t>(job.timeLimitSeconds)) +
                      " 秒，已被中止。");
    case ProcessRun::End::Exited:
        break;
    }
    if (judgeExitCode && run.exitCode != 0) {
        return failed("编译程序的退出代码是 " + runtime::NumberToText(static_cast<std::int64_t>(run.exitCode)) +
                      "。");
    }
    const FileStamp after = StampOf(result.chmFile);
    if (!after.exists || (before.exists && after.time == before.time && after.size == before.size)) {
        putBack();
        return fail("编译程序没有写出CHM文件：" + PathToGbk(result.chmFile));
    }
    if (after.size == 0) return failed("编译程序写出的CHM文件是空的：" + PathToGbk(result.chmFile));
    if (setAside) fs::remove(aside, ec);
    result.outcome = ChmOutcome::Compiled;
    ui.Status(kCompiled);
    return result;
}

std::optional<fs::path> ChmToOpen(const fs::path& outputDirectory, std::string_view chmFileName, runtime::Ui& ui) {
    Text name(chmFileName);
    name += ".chm";
    const fs::path chm = outputDirectory / GbkToPath(name);
    std::error_code ec;
    if (fs::is_regular_file(chm, ec)) return chm;
    ui.Message(kNoChm, runtime::Icon::Error);
    return std::nullopt;
}

}  // namespace qx::projects
