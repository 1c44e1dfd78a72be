// Writes every script text the pipeline makes from fuzz seeds, so that a
// JavaScript engine can parse them all:
//   qx_script_texts OUTDIR PIPELINE_SEED... [--texts TEXT_SEED...]
// A pipeline seed is read as the pipeline fuzz target reads it (choice bytes,
// then the book); a text seed (a seed of another target: its first byte
// dropped, what follows its first zero byte too) is run in every mode.
// Each seed's scripts go to OUTDIR/<n>/ under their names in the e-book
// (js/page.js, js/mb.js, txt/<label>.txt), as GBK bytes.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "pipeline_harness.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int g_runs = 0;
long g_scripts = 0;

void Run(const fs::path& outDir, const fs::path& seed, const std::string& input) {
    const fs::path dir = outDir / std::to_string(g_runs++);
    fs::create_directories(dir);
    std::ofstream(dir / "SEED") << seed.string() << "\n";
    qx::fuzz::RunPipeline(input, [&](const std::string& name, const std::string& script) {
        const fs::path file = dir / name;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << script;
        ++g_scripts;
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: qx_script_texts OUTDIR PIPELINE_SEED... [--texts TEXT_SEED...]\n";
        return 2;
    }
    const fs::path outDir = argv[1];
    fs::remove_all(outDir);
    bool texts = false;
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) == "--texts") {
            texts = true;
            continue;
        }
        const std::string bytes = ReadAll(argv[i]);
        if (!texts) {
            Run(outDir, argv[i], bytes);
            continue;
        }
        if (bytes.empty()) continue;
        const std::string book = bytes.substr(1, bytes.find('\0', 1) == std::string::npos ? std::string::npos
                                                                                          : bytes.find('\0', 1) - 1);
        // Separate lines, one line, headings, left to the step; with EPUB.
        for (unsigned char mode = 0; mode < 4; ++mode) {
            Run(outDir, argv[i], std::string{static_cast<char>(mode | 4), static_cast<char>(0x80), 0} + book);
        }
    }
    std::cout << g_runs << " runs, " << g_scripts << " script texts in " << outDir.string() << "\n";
    return 0;
}
