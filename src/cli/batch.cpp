#include "cli/batch.h"

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <sstream>
#include <thread>

#include "projects/process.h"

namespace qx::cli {

namespace fs = std::filesystem;

std::vector<fs::path> BooksOf(const std::vector<std::string>& given) {
    std::vector<fs::path> books;
    for (const auto& g : given) {
        std::error_code ec;
        if (!fs::is_directory(g, ec)) {
            books.emplace_back(g);
            continue;
        }
        std::vector<fs::path> inFolder;
        for (fs::directory_iterator it(g, ec), end; !ec && it != end; it.increment(ec)) {
            std::string ext = it->path().extension().string();
            for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            std::error_code typeError;
            // Anything named .txt but a folder: one that cannot be read is told, not left out.
            if (ext == ".txt" && !it->is_directory(typeError)) inFolder.push_back(it->path());
        }
        std::sort(inFolder.begin(), inFolder.end());
        books.insert(books.end(), inFolder.begin(), inFolder.end());
    }
    return books;
}

namespace {

struct Outcome {
    bool done = false;
    std::string line;
};

// What a book's run said: the paths it printed, or its last error.
Outcome Judge(const fs::path& book, const projects::ProcessRun& run) {
    std::vector<std::string> written, told;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty()) continue;
        (line.rfind("qxebook:", 0) == 0 ? told : written).push_back(line);
    }
    Outcome o;
    o.done = run.end == projects::ProcessRun::End::Exited && run.exitCode == 0;
    std::string what;
    if (o.done) {
        for (const auto& w : written) what += (what.empty() ? "" : ", ") + w;
        o.line = "done: " + book.string() + ": " + what;
        return o;
    }
    std::string reason = told.empty() ? std::string("it ended without saying why") : told.back();
    for (const auto& t : told) {
        if (t.find("error:") != std::string::npos) reason = t;
    }
    if (reason.rfind("qxebook: ", 0) == 0) reason.erase(0, 9);
    if (run.end == projects::ProcessRun::End::FailedToStart) reason = "the program could not be started";
    if (run.end == projects::ProcessRun::End::Crashed) reason = "the conversion crashed";
    o.line = "failed: " + book.string() + ": " + reason;
    return o;
}

}  // namespace

int RunBatch(const fs::path& program, const std::vector<fs::path>& books, const std::vector<std::string>& options,
             unsigned jobs, std::ostream& out) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> anyFailed{false};
    std::mutex printing;
    auto work = [&] {
        for (std::size_t i = next++; i < books.size(); i = next++) {
            projects::ProcessCall call;
            call.program = program;
            call.arguments = {"convert", books[i]};
            for (const auto& o : options) call.arguments.emplace_back(o);
            call.arguments.emplace_back("--quiet");
            const Outcome outcome = Judge(books[i], projects::RunAndWait(call));
            if (!outcome.done) anyFailed = true;
            std::lock_guard lock(printing);
            out << outcome.line << "\n" << std::flush;
        }
    };
    const unsigned workers = std::max(1u, std::min<unsigned>(jobs, static_cast<unsigned>(books.size())));
    // Books run side by side share the cores: each one keeps to one, so that
    // they do not crowd each other out.
    if (workers > 1) ::setenv("QX_THREADS", "1", 1);
    std::vector<std::thread> threads;
    for (unsigned w = 1; w < workers; ++w) threads.emplace_back(work);
    work();
    for (auto& t : threads) t.join();
    return anyFailed ? 1 : 0;
}

}  // namespace qx::cli
