// The kernel library of the single-file bundle (vtrun.vlx): the program
// with its runtime. The launcher loads it from the temporary directory,
// asks GetNewSock(1000) for the entry and hands that the program image.
// The entry checks the image and the libraries it lists, installs the
// runtime behind the service table and runs the program with the process's
// command line, as the ordinary executable does.
#include <dlfcn.h>
#include <link.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "gui/gui_main.h"
#include "image/image_inspect.h"
#include "image/program_image.h"
#include "image/services.h"
#include "launcher/bundle_layout.h"
#include "launcher/launcher.h"
#include "launcher/template_archive.h"
#include "runtime/system_paths.h"

namespace {

using namespace qx::image;
namespace fs = std::filesystem;

// How many bytes from `address` lie in the loaded segment that holds it: the
// most the image reader may look at.
std::size_t ReadableBytesFrom(const void* address) {
    struct Query {
        std::uintptr_t address;
        std::size_t bytes;
    } query{reinterpret_cast<std::uintptr_t>(address), 0};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto* q = static_cast<Query*>(data);
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& ph = info->dlpi_phdr[i];
                if (ph.p_type != PT_LOAD) continue;
                const std::uintptr_t start = info->dlpi_addr + ph.p_vaddr;
                if (q->address >= start && q->address < start + ph.p_memsz) {
                    q->bytes = start + ph.p_memsz - q->address;
                    return 1;
                }
            }
            return 0;
        },
        &query);
    return query.bytes;
}

std::vector<std::string> CommandLine() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    for (std::size_t at = 0; at < all.size();) {
        const std::size_t nul = all.find('\0', at);
        args.push_back(all.substr(at, nul == std::string::npos ? std::string::npos : nul - at));
        if (nul == std::string::npos) break;
        at = nul + 1;
    }
    return args;
}

// The directory the launcher unpacked the libraries into: the kernel's own.
fs::path KernelDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ReadableBytesFrom), &info) == 0 || !info.dli_fname) return {};
    return fs::path(info.dli_fname).parent_path();
}

[[noreturn]] void Stop(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::exit(1);
}

// Every support library the image lists must have come with the kernel.
void CheckLibraries(const ProgramImage& image, const fs::path& dir) {
    for (const LibraryEntry& l : image.libraries) {
        std::error_code ec;
        if (!fs::exists(dir / (l.fileName + qx::launcher::kLibraryExtension), ec))
            Stop("The support library " + l.fileName + " is missing from " + dir.string());
    }
}

// A program home without templates gets the built-in ones.
void InstallTemplates(const fs::path& dir, const std::vector<std::string>& args) {
    std::optional<fs::path> home;
    for (std::size_t i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--home") home = args[i + 1];
    }
    const fs::path target = qx::runtime::ProgramHome(home) / "template";
    std::error_code ec;
    if (fs::exists(target, ec)) return;
    std::ifstream in(dir / (std::string(qx::launcher::kBundleLibraries[1].fileName) + qx::launcher::kLibraryExtension),
                     std::ios::binary);
    const std::string archive((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!qx::launcher::UnpackArchive(archive, target))
        std::fprintf(stderr, "qxebook: could not install the built-in templates in %s\n", target.c_str());
}

std::vector<std::string> g_args;
std::vector<char*> g_argv;

void CleanUp() {
    std::cout.flush();
    std::cerr.flush();
}

// The program's entry routine, through the service table.
[[noreturn]] void RunProgram(Runtime& runtime) {
    const ServiceTable& services = Services();
    services.small(3, reinterpret_cast<std::intptr_t>(&CleanUp), 0, 0);
    const std::vector<std::string> args(g_args.begin() + (g_args.empty() ? 0 : 1), g_args.end());
    if (args.empty() || args[0] == "gui" || args[0] == "--home") {
        int code = 0;
        runtime.SetMessageLoop([&code] { code = qx::gui::RunGui(static_cast<int>(g_argv.size()) - 1, g_argv.data()); });
        if (!runtime.Image().windows.empty()) services.loadStartWindow(runtime.Image().windows.front().identifier);
        services.runMessageLoop();
        services.end(code);
        std::abort();  // end does not return
    }
    std::ios::sync_with_stdio(false);
    if (args[0] == "image") {
        services.end(qx::image::RunImageCommand({args.begin() + 1, args.end()}, std::cout, std::cerr));
    }
    services.end(qx::cli::RunCli(args, std::cout, std::cerr));
    std::abort();  // end does not return
}

void Entry(const void* imageAddress) {
    const std::size_t readable = imageAddress ? ReadableBytesFrom(imageAddress) : 0;
    if (readable == 0) Stop("The program image is missing.");
    static ProgramImage image;
    try {
        image = ReadProgramImage(std::string_view(static_cast<const char*>(imageAddress), readable));
    } catch (const ImageFormatError& e) {
        Stop(std::string("The program image is damaged: ") + e.what());
    }
    const fs::path dir = KernelDirectory();
    CheckLibraries(image, dir);

    g_args = CommandLine();
    for (std::string& a : g_args) g_argv.push_back(a.data());
    g_argv.push_back(nullptr);
    InstallTemplates(dir, g_args);

    static Runtime runtime(image);
    RegisterTextCommands(runtime);
    InstallRuntime(&runtime);
    RunProgram(runtime);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) qx::launcher::RuntimeEntry GetNewSock(int version) {
    return version == qx::launcher::kInterfaceVersion ? &Entry : nullptr;
}
