// Speed of the encoding layer on a large book, against the floor of moving
// the same bytes.
//
//   qx_bench_encoding BOOK.utf8.txt BOOK.gbk.txt [BOOK.big5.txt] [--repeat N]
//
// BOOK.utf8.txt is the UTF-8 copy of the GBK book BOOK.gbk.txt (make_big_book.py
// writes both). In one run, turn by turn:
//   - copy: the UTF-8 bytes copied into a fresh buffer (allocation, page
//     faults and memcpy: what any conversion into a new buffer pays at least);
//   - read: the UTF-8 book read from the page cache (ReadWholeFile);
//   - convert: Utf8TextToGbk of the bytes in memory, checked against the GBK
//     book byte for byte;
//   - read + convert: what the Next step spends before its GBK stages.
// Then DetectEncoding on the first 4 MB of the book in each encoding, against
// a count of the zero bytes in the same 4 MB. The best of N runs counts; ratios compare runs
// of the same turn, so a busy machine slows both sides.

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/ucnv.h>

#include "runtime/encoding.h"
#include "runtime/encoding_detect.h"
#include "runtime/files.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace rt = qx::runtime;

constexpr double kMB = 1e6;
constexpr std::size_t kSample = 4u << 20;

// Results of the floors go here, so that they are not optimised away.
volatile std::ptrdiff_t g_sink = 0;

template <class F>
double Time(F&& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Best {
    double seconds = 1e300;
    void Add(double s) { seconds = std::min(seconds, s); }
};

[[noreturn]] void Usage(const std::string& problem) {
    std::cerr << "qx_bench_encoding: " << problem << "\n"
              << "usage: qx_bench_encoding BOOK.utf8.txt BOOK.gbk.txt [BOOK.big5.txt] [--repeat N]\n";
    std::exit(2);
}

std::string Read(const std::string& path) {
    auto bytes = rt::ReadWholeFile(path);
    if (!bytes) {
        std::cerr << "qx_bench_encoding: cannot read " << path << "\n";
        std::exit(1);
    }
    return std::move(*bytes);
}

const char* EncodingName(rt::SourceEncoding e) {
    switch (e) {
        case rt::SourceEncoding::Gbk: return "Gbk";
        case rt::SourceEncoding::Big5: return "Big5";
        case rt::SourceEncoding::Utf8: return "Utf8";
        case rt::SourceEncoding::Utf16Le: return "Utf16Le";
        case rt::SourceEncoding::Utf16Be: return "Utf16Be";
    }
    return "?";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> books;
    int repeat = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--repeat") {
            if (i + 1 >= argc) Usage("--repeat needs a count");
            const std::string_view n = argv[++i];
            const auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), repeat);
            if (ec != std::errc() || end != n.data() + n.size() || repeat < 1 || repeat > 100) {
                Usage("--repeat needs a count from 1 to 100");
            }
        } else if (arg.starts_with("--")) {
            Usage("unknown option " + std::string(arg));
        } else {
            books.emplace_back(arg);
        }
    }
    if (books.size() < 2 || books.size() > 3) {
        Usage("give the UTF-8 book, the GBK book and optionally a BIG5 book");
    }

    const std::string utf8 = Read(books[0]);
    const std::string gbk = Read(books[1]);
    const double input = static_cast<double>(utf8.size());
    std::printf("book       %s\n", books[0].c_str());
    std::printf("input      %zu bytes of UTF-8 (%.1f MB), %zu bytes of GBK; %d run(s) each\n\n", utf8.size(),
                input / kMB, gbk.size(), repeat);

    Best copy, read, convert, readConvert;
    bool same = true;
    for (int r = 0; r < repeat; ++r) {
        copy.Add(Time([&] {
            std::string fresh(utf8.size(), '\0');  // what a buffer of one's own costs
            std::memcpy(fresh.data(), utf8.data(), utf8.size());
            g_sink = fresh[fresh.size() / 2];  // keep the copy
        }));
        read.Add(Time([&] { (void)Read(books[0]); }));
        std::string in = utf8;
        std::string out;
        convert.Add(Time([&] { out = rt::Utf8TextToGbk(std::move(in)); }));
        same = same && out == gbk;
        std::string().swap(out);
        readConvert.Add(Time([&] { out = rt::Utf8TextToGbk(Read(books[0])); }));
        same = same && out == gbk;
    }
    auto line = [&](const char* label, const Best& b) {
        std::printf("  %-36s %8.1f ms %8.1f MB/s  %5.2f x copy\n", label, b.seconds * 1e3,
                    input / kMB / b.seconds, b.seconds / copy.seconds);
    };
    std::printf("UTF-8 to GBK (MB/s of UTF-8 input; best of %d)\n", repeat);
    line("copy into a fresh buffer (floor)", copy);
    line("read from the page cache", read);
    line("convert (Utf8TextToGbk)", convert);
    line("read + convert", readConvert);
    std::printf("  result                               %s\n\n",
                same ? "byte for byte the GBK book" : "DIFFERS FROM THE GBK BOOK");

    // Detection on the first 4 MB of the book in each encoding.
    struct Sample {
        const char* label;
        std::string bytes;
    };
    std::vector<Sample> samples;
    samples.push_back({"GBK", gbk.substr(0, kSample)});
    samples.push_back({"UTF-8", utf8.substr(0, kSample)});
    {
        std::string slice = utf8.substr(0, kSample * 2);  // about 6 MB of UTF-16
        slice.resize(slice.rfind('\n') + 1);
        std::string le(slice.size() * 2, '\0');  // UTF-16LE without byte-order mark
        UErrorCode status = U_ZERO_ERROR;
        const int32_t n = ucnv_convert("UTF-16LE", "UTF-8", le.data(), static_cast<int32_t>(le.size()),
                                       slice.data(), static_cast<int32_t>(slice.size()), &status);
        le.resize(U_SUCCESS(status) ? static_cast<std::size_t>(n) : 0);
        samples.push_back({"UTF-16LE (no BOM)", le.substr(0, kSample)});
    }
    if (books.size() == 3) samples.push_back({"BIG5", Read(books[2]).substr(0, kSample)});

    (void)rt::DetectEncoding("warm-up");  // the character tables are built once per process
    std::printf("DetectEncoding on a 4 MB sample (best of %d; the floor counts its zero bytes)\n", repeat);
    for (const auto& s : samples) {
        Best detect, scan;
        rt::EncodingGuess guess;
        for (int r = 0; r < repeat; ++r) {
            scan.Add(Time([&] { g_sink = std::count(s.bytes.begin(), s.bytes.end(), 0); }));
            detect.Add(Time([&] { guess = rt::DetectEncoding(s.bytes); }));
        }
        std::printf("  %-20s %8.2f ms  (floor %.2f ms, %5.1f x)  -> %s, %s%s\n", s.label,
                    detect.seconds * 1e3, scan.seconds * 1e3, detect.seconds / scan.seconds,
                    guess.name.c_str(), EncodingName(guess.encoding), guess.traditional ? ", traditional" : "");
    }
    return same ? 0 : 1;
}
