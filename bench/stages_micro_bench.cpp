// Throughput of the text stages of the Next step on a slice of about 10 MB,
// repeated many times. Unlike qx_bench_next_step, which sees each large
// buffer fresh from the system, these loops reuse memory the allocator has
// already mapped, so they show what the stages cost apart from page faults.
//
//   qx_bench_stages [BOOK.txt] [benchmark options]
//
// BOOK.txt (or $QX_BENCH_BOOK) is a GBK book laid out for separate-lines
// mode with CR LF line ends, such as big.gbk.txt of make_big_book.py.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>

#include "app/default_parameters.h"
#include "output/page_generation.h"
#include "runtime/files.h"
#include "runtime/ui.h"
#include "text/chapters.h"
#include "text/next_step.h"

namespace {

namespace rt = qx::runtime;
namespace tx = qx::text;

constexpr std::size_t kSliceBytes = 10'000'000;

class QuietUi : public rt::Ui {
public:
    void Status(std::string_view, bool) override {}
    rt::Answer Ask(std::string_view, rt::Buttons, rt::Icon, std::string_view) override { return rt::Answer::No; }
    void Message(std::string_view, rt::Icon) override {}
};

// The book's first 10 MB or so, cut at a line end.
std::string g_slice;

bool LoadSlice(const std::string& path) {
    auto bytes = rt::ReadWholeFile(path);
    if (!bytes || bytes->empty()) return false;
    std::size_t end = std::min(bytes->size(), kSliceBytes);
    if (end < bytes->size()) {
        const auto lf = bytes->find('\n', end);
        end = lf == std::string::npos ? bytes->size() : lf + 1;
    }
    g_slice = bytes->substr(0, end);
    return true;
}

std::string WithoutCarriageReturns(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::copy_if(text.begin(), text.end(), std::back_inserter(out), [](char c) { return c != '\r'; });
    return out;
}

void SetBytes(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

// The common case: the book already has CR LF line ends.
void BM_NormaliseText_CrLf(benchmark::State& state) {
    for (auto _ : state) {
        std::string out = tx::NormaliseText(g_slice);
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state, g_slice.size());
}

// A book with LF line ends: every line end grows by one byte.
void BM_NormaliseText_Lf(benchmark::State& state) {
    const std::string lf = WithoutCarriageReturns(g_slice);
    for (auto _ : state) {
        std::string out = tx::NormaliseText(lf);
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state, lf.size());
}

void BM_HasZeroBytePair(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(tx::HasZeroBytePair(g_slice));
    SetBytes(state, g_slice.size());
}

// Loading reads the working text again from its start each time.
void BM_LoadChapters_Separate(benchmark::State& state) {
    QuietUi ui;
    tx::Book book;
    book.workingText.Adopt(tx::NormaliseText(g_slice));
    for (auto _ : state) {
        tx::LoadChapters(book, tx::LayoutMode::SeparateLines, ui);
        benchmark::DoNotOptimize(book.index.titles.data());
    }
    state.counters["chapters"] = book.index.ChapterCount();
    SetBytes(state, static_cast<std::size_t>(book.workingText.Size()));
}

// The page table: its rows, then the page script's placeholders filled in
// around them. The rows alone are the floor; filling in the placeholders
// should add little to them however long the table is.
void PageTableBook(tx::Book& book) {
    QuietUi ui;
    book.workingText.Adopt(tx::NormaliseText(g_slice));
    tx::LoadChapters(book, tx::LayoutMode::SeparateLines, ui);
}

void BM_PageTableRows(benchmark::State& state) {
    tx::Book book;
    PageTableBook(book);
    for (auto _ : state) {
        std::string rows = qx::output::BuildPageTableLines(book.index);
        benchmark::DoNotOptimize(rows.data());
    }
    state.counters["chapters"] = book.index.ChapterCount();
}

void BM_PageTable(benchmark::State& state) {
    tx::Book book;
    PageTableBook(book);
    const qx::output::ParameterTexts parameters = qx::app::DefaultParameterTexts();
    const qx::output::PageContext page{"Book", "Author", &parameters, 2};
    QuietUi ui;
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string table = qx::output::BuildPageTable(book.index, page, ui);
        bytes = table.size();
        benchmark::DoNotOptimize(table.data());
    }
    state.counters["chapters"] = book.index.ChapterCount();
    SetBytes(state, bytes);
}

BENCHMARK(BM_PageTableRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormaliseText_CrLf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormaliseText_Lf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HasZeroBytePair)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadChapters_Separate)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::string path;
    if (argc > 1) path = argv[1];
    if (path.empty()) {
        if (const char* env = std::getenv("QX_BENCH_BOOK")) path = env;
    }
    if (argc > 2 || path.empty()) {
        std::cerr << "usage: qx_bench_stages BOOK.txt [benchmark options] (or set QX_BENCH_BOOK)\n";
        return 2;
    }
    if (!LoadSlice(path)) {
        std::cerr << "qx_bench_stages: cannot read " << path << "\n";
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
