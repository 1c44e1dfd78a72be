// Compiled as UTF-8 like every file that includes Qt headers; it holds no
// Chinese texts.
#include "projects/process.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <memory>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace qx::projects {
namespace {

constexpr qsizetype kKeptOutput = 256 * 1024;

QString ToQString(const std::filesystem::path& path) {
#ifdef _WIN32
    return QString::fromStdWString(path.native());
#else
    return QString::fromStdString(path.native());
#endif
}

// The compilers print in the system's own encoding.
std::string OutputToUtf8(const QByteArray& bytes) { return QString::fromLocal8Bit(bytes).toStdString(); }

void Keep(QByteArray& kept, const QByteArray& more) {
    kept += more;
    if (kept.size() > kKeptOutput) kept.remove(0, kept.size() - kKeptOutput);
}

}  // namespace

ProcessRun RunAndWait(const ProcessCall& call) {
    ProcessRun run;
    QProcess process;
    process.setProgram(ToQString(call.program));
    QStringList args;
    for (const auto& a : call.arguments) args << ToQString(a);
    process.setArguments(args);
#ifdef _WIN32
    if (call.quoteEveryArgument) {
        // The command line exactly as the compiler expects it: the program
        // and every argument in double quotes, one blank between them.
        auto line = std::make_shared<std::wstring>(L"\"" + call.program.native() + L"\"");
        for (const auto& a : call.arguments) *line += L" \"" + a.native() + L"\"";
        process.setCreateProcessArgumentsModifier(
            [line](QProcess::CreateProcessArguments* created) { created->arguments = line->data(); });
    }
#endif
    if (!call.workingDirectory.empty()) process.setWorkingDirectory(ToQString(call.workingDirectory));
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    if (!process.waitForStarted(-1)) {
        run.end = ProcessRun::End::FailedToStart;
        run.output = process.errorString().toStdString();
        return run;
    }
    process.closeWriteChannel();  // a compiler that asks for input reads its end, not a hang

    QByteArray output;
    QElapsedTimer clock;
    clock.start();
    const qint64 limitMs = static_cast<qint64>(call.timeLimitSeconds) * 1000;
    bool stopped = false;
    bool timedOut = false;
    while (process.state() != QProcess::NotRunning) {
        if (process.waitForFinished(100)) break;
        Keep(output, process.readAll());
        if (call.keepWaiting && !call.keepWaiting()) {
            stopped = true;
        } else if (limitMs > 0 && clock.elapsed() > limitMs) {
            timedOut = true;
        }
        if (stopped || timedOut) {
            process.kill();
            process.waitForFinished(-1);
            break;
        }
    }
    Keep(output, process.readAll());
    run.output = OutputToUtf8(output);
    if (stopped) {
        run.end = ProcessRun::End::Stopped;
    } else if (timedOut) {
        run.end = ProcessRun::End::TimedOut;
    } else if (process.exitStatus() == QProcess::CrashExit) {
        run.end = ProcessRun::End::Crashed;
    } else {
        run.end = ProcessRun::End::Exited;
        run.exitCode = process.exitCode();
    }
    return run;
}

bool StartDetached(const std::filesystem::path& program, const std::vector<std::filesystem::path>& arguments) {
    QStringList args;
    for (const auto& a : arguments) args << ToQString(a);
    return QProcess::startDetached(ToQString(program), args);
}

bool IsExecutableFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
#ifdef _WIN32
    return true;
#else
    return ::access(path.c_str(), X_OK) == 0;
#endif
}

std::optional<std::filesystem::path> FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path) return std::nullopt;
#ifdef _WIN32
    constexpr char kSeparator = ';';
    const std::string file = name + ".exe";
#else
    constexpr char kSeparator = ':';
    const std::string& file = name;
#endif
    std::string_view rest(path);
    while (true) {
        const auto end = rest.find(kSeparator);
        const std::string_view dir = rest.substr(0, end);
        if (!dir.empty()) {
            const auto candidate = std::filesystem::path(std::string(dir)) / file;
            if (IsExecutableFile(candidate)) return candidate;
        }
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return std::nullopt;
}

}  // namespace qx::projects
