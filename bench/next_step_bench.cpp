// Speed and memory of the Next step on a large book.
//
//   qx_bench_next_step BOOK.txt [--convert auto|big5|gbk-trad|utf16|utf8]
//                      [--mode separate|one-line|headings] [--repeat N]
//
// First the whole step runs as the program runs it (RunNextStep with a Ui
// that shows nothing and answers No); its wall time, throughput, chapter
// count and the peak memory of the process are reported. The peak is taken
// right after that first run, before anything else has allocated. Then the
// same work runs again stage by stage through the public pieces, to show
// where the time goes, and a plain read of the file is timed for comparison.
// With --repeat N each measurement runs N times and the best time counts.

#include <sys/resource.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/encoding.h"
#include "runtime/files.h"
#include "runtime/ui.h"
#include "text/chapters.h"
#include "text/next_step.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace rt = qx::runtime;
namespace tx = qx::text;

constexpr double kMB = 1e6;

// Shows nothing and answers No, like a user who keeps the text as it is. A
// message box would mean the step failed; its text goes to stderr so a
// failed run is not mistaken for a fast one.
class QuietUi : public rt::Ui {
public:
    void Status(std::string_view, bool) override {}
    rt::Answer Ask(std::string_view, rt::Buttons, rt::Icon, std::string_view) override { return rt::Answer::No; }
    void Message(std::string_view gbkText, rt::Icon) override {
        std::cerr << "qx_bench_next_step: the step said: " << rt::GbkToUtf8(gbkText) << "\n";
    }
};

struct Options {
    std::string book;
    tx::FilePage page;
    std::string convertName = "none";
    std::string modeName = "separate";
    int repeat = 1;
};

[[noreturn]] void Usage(const std::string& problem) {
    std::cerr << "qx_bench_next_step: " << problem << "\n"
              << "usage: qx_bench_next_step BOOK.txt [--convert auto|big5|gbk-trad|utf16|utf8] "
                 "[--mode separate|one-line|headings] [--repeat N]\n";
    std::exit(2);
}

Options ParseArgs(int argc, char** argv) {
    Options o;
    auto value = [&](int& i) -> std::string {
        if (i + 1 >= argc) Usage(std::string(argv[i]) + " needs a value");
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--convert") {
            o.convertName = value(i);
            o.page.convert = true;
            if (o.convertName == "auto") {
                o.page.convert = false;
                o.page.detectEncoding = true;
            } else if (o.convertName == "utf8") {
                o.page.fromUtf8 = true;
            } else if (o.convertName == "big5") {
                o.page.fromBig5 = true;
            } else if (o.convertName == "gbk-trad") {
                o.page.fromTraditionalGbk = true;
            } else if (o.convertName == "utf16") {
                o.page.fromUnicode = true;
            } else {
                Usage("--convert must be auto, big5, gbk-trad, utf16 or utf8");
            }
        } else if (arg == "--mode") {
            o.modeName = value(i);
            if (o.modeName == "separate") {
                o.page.mode = tx::LayoutMode::SeparateLines;
            } else if (o.modeName == "one-line") {
                o.page.mode = tx::LayoutMode::OneLine;
            } else if (o.modeName == "headings") {
                o.page.mode = tx::LayoutMode::Headings;
            } else {
                Usage("--mode must be separate, one-line or headings");
            }
        } else if (arg == "--repeat") {
            const std::string n = value(i);
            const auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), o.repeat);
            if (ec != std::errc() || end != n.data() + n.size() || o.repeat < 1 || o.repeat > 1000) {
                Usage("--repeat needs a count from 1 to 1000");
            }
        } else if (arg == "-h" || arg == "--help") {
            Usage("benchmark of the Next step");
        } else if (arg.starts_with("--")) {
            Usage("unknown option " + std::string(arg));
        } else if (o.book.empty()) {
            o.book = arg;
        } else {
            Usage("only one BOOK.txt");
        }
    }
    if (o.book.empty()) Usage("no BOOK.txt given");
    o.page.inputPath = o.book;
    // The step insists on a title and an author; any will do.
    o.page.title = "bench";
    o.page.author = "bench";
    return o;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Peak resident set of the process so far, in bytes.
double PeakRss() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) * 1024.0;  // Linux reports KiB
}

// Reads the file once through a small buffer so the timed runs find it in the
// page cache, without raising the peak memory of the process.
bool WarmPageCache(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    }
    return true;
}

// Best and median of the runs of one measurement.
struct Timings {
    std::vector<double> runs;
    void Add(double s) { runs.push_back(s); }
    double Best() const { return runs.empty() ? 0 : *std::min_element(runs.begin(), runs.end()); }
    double Median() const {
        if (runs.empty()) return 0;
        auto sorted = runs;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

template <class F>
double Time(F&& f) {
    const auto start = Clock::now();
    f();
    return Seconds(Clock::now() - start);
}

int VolumeCount(const tx::ChapterIndex& index) {
    std::set<std::string> volumes(index.volumeNumbers.begin(), index.volumeNumbers.end());
    volumes.erase("0");  // chapters before the first volume
    return static_cast<int>(volumes.size());
}

// Rates of stages that take only microseconds (handing a buffer on) say
// nothing; they show "-".
std::string Rate(double seconds, double inputBytes) {
    if (seconds < 5e-5) return "-";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", inputBytes / kMB / seconds);
    return buffer;
}

void PrintRate(const char* label, double seconds, double inputBytes) {
    std::printf("  %-34s %9.1f ms %9s MB/s\n", label, seconds * 1e3, Rate(seconds, inputBytes).c_str());
}

struct Stage {
    const char* name;
    Timings t;
    bool run = true;  // false: the step skips this stage with these options
};

}  // namespace

int main(int argc, char** argv) {
    Options o = ParseArgs(argc, argv);
    std::error_code ec;
    const auto fileSize = std::filesystem::file_size(o.book, ec);
    if (ec || !WarmPageCache(o.book)) {
        std::cerr << "qx_bench_next_step: cannot read " << o.book << "\n";
        return 1;
    }
    if (fileSize == 0) {
        std::cerr << "qx_bench_next_step: " << o.book << " is empty; nothing to measure\n";
        return 1;
    }
    const double input = static_cast<double>(fileSize);
    const double rssBefore = PeakRss();

    std::printf("book       %s\n", o.book.c_str());
    std::printf("input      %.0f bytes (%.1f MB)\n", input, input / kMB);
    std::printf("step       convert %s, mode %s, %d run(s) each\n\n", o.convertName.c_str(), o.modeName.c_str(),
                o.repeat);

    // The whole step, as the program runs it. The first run fixes the peak.
    QuietUi ui;
    Timings whole;
    double peak = 0;
    int chapters = 0;
    int volumes = 0;
    std::int64_t workingSize = 0;
    for (int r = 0; r < o.repeat; ++r) {
        tx::FilePage page = o.page;
        tx::Book book;
        tx::NextStepResult result{};
        whole.Add(Time([&] { result = tx::RunNextStep(page, book, ui); }));
        if (result != tx::NextStepResult::Loaded) {
            std::cerr << "qx_bench_next_step: the step stopped without loading the book\n";
            return 1;
        }
        if (r == 0) {
            peak = PeakRss();
            chapters = book.index.ChapterCount();
            volumes = VolumeCount(book.index);
            workingSize = book.workingText.Size();
        }
    }

    std::printf("whole step (RunNextStep)\n");
    std::printf("  wall time      %.3f s first run, %.3f s best, %.3f s median\n", whole.runs.front(), whole.Best(),
                whole.Median());
    std::printf("  throughput     %.1f MB/s first run, %.1f MB/s best\n", input / kMB / whole.runs.front(),
                input / kMB / whole.Best());
    std::printf("  chapters       %d in %d volumes; working text %lld bytes\n", chapters, volumes,
                static_cast<long long>(workingSize));
    std::printf("  peak memory    %.1f MB = %.2f x input (%.1f MB before the step)\n\n", peak / kMB, peak / input,
                rssBefore / kMB);

    // A plain read of the file, the floor for any step that reads it whole.
    Timings plainRead;
    for (int r = 0; r < o.repeat; ++r) {
        std::optional<std::string> bytes;
        plainRead.Add(Time([&] { bytes = rt::ReadWholeFile(o.book); }));
        if (!bytes) {
            std::cerr << "qx_bench_next_step: cannot read " << o.book << "\n";
            return 1;
        }
    }

    // The same work stage by stage, in the order the step does it.
    Stage read{"read (ReadWholeFile)", {}};
    Stage detect{"detect (DetectEncoding)", {}};
    Stage zeros{"zero-byte check (HasZeroBytePair)", {}};
    Stage convert{"convert (ConvertInput)", {}};
    Stage normalise{"normalise (NormaliseText)", {}};
    Stage release{"release input buffers", {}};
    Stage load{"adopt + load (LoadChapters)", {}};  // in headings mode: finding and checking the headings
    Stage analyse{"analyse (AnalyzeChapters)", {}};
    const bool oneLine = o.page.mode == tx::LayoutMode::OneLine;
    for (int r = 0; r < o.repeat; ++r) {
        tx::FilePage page = o.page;
        tx::Book book;
        std::optional<std::string> raw;
        read.t.Add(Time([&] { raw = rt::ReadWholeFile(page.inputPath); }));
        if (!raw) {
            std::cerr << "qx_bench_next_step: cannot read " << o.book << "\n";
            return 1;
        }
        if (page.detectEncoding) {
            detect.t.Add(Time([&] {
                const auto guess = rt::DetectEncoding(std::string_view(*raw).substr(0, tx::kSampleBytes));
                tx::ApplyEncodingGuess(guess, page);
            }));
        }
        bool zeroPair = false;
        zeros.t.Add(Time([&] { zeroPair = !page.convert && tx::HasZeroBytePair(*raw); }));
        (void)zeroPair;  // the step would ask; this Ui answers No and the text stays as it is
        std::string converted;
        try {
            convert.t.Add(Time([&] { converted = tx::ConvertInput(std::move(*raw), page); }));
        } catch (const std::exception& e) {
            std::cerr << "qx_bench_next_step: conversion failed: " << e.what() << "\n";
            return 1;
        }
        std::string normalised;
        normalise.t.Add(Time([&] { normalised = tx::NormaliseText(std::move(converted)); }));
        release.t.Add(Time([&] {
            raw.reset();
            std::string().swap(converted);  // what the normalisation left of it
        }));
        load.t.Add(Time([&] {
            book.workingText.Adopt(std::move(normalised));
            tx::LoadChapters(book, page.mode, ui);
        }));
        if (oneLine) analyse.t.Add(Time([&] { tx::AnalyzeChapters(book, page.mode, ui); }));
    }

    // The step checks for UTF-16 only when no conversion is chosen, converts
    // only when one is (otherwise it hands the bytes on), analyses only in
    // one-line mode.
    detect.run = o.page.detectEncoding;
    zeros.run = !o.page.convert && !o.page.detectEncoding;
    convert.run = o.page.convert || o.page.detectEncoding;
    analyse.run = oneLine;
    const std::vector<const Stage*> stages{&read, &detect, &zeros, &convert, &normalise, &release, &load, &analyse};
    double sum = 0;
    for (const Stage* s : stages) sum += s->t.Best();

    std::printf("stages (best of %d; MB/s of input bytes)\n", o.repeat);
    for (const Stage* s : stages) {
        if (!s->run) {
            std::printf("  %-34s %12s\n", s->name, "skipped");
            continue;
        }
        const double t = s->t.Best();
        std::printf("  %-34s %9.1f ms %9s MB/s  %5.1f %%\n", s->name, t * 1e3, Rate(t, input).c_str(),
                    sum > 0 ? 100.0 * t / sum : 0.0);
    }
    PrintRate("sum of stages", sum, input);
    PrintRate("whole step, best", whole.Best(), input);
    std::printf("\n");
    PrintRate("plain read (ReadWholeFile), best", plainRead.Best(), input);
    return 0;
}
