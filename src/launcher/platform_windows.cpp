// The launcher on Windows: the system calls it was first made for. Built
// only by a Windows build of the launcher.
#include <windows.h>

#include <string>

#include "launcher/platform.h"

namespace qx::launcher {
namespace {

class WindowsPlatform : public LaunchPlatform {
public:
    std::optional<std::filesystem::path> ExecutablePath() override {
        char path[MAX_PATH];
        const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return std::nullopt;
        return std::filesystem::path(std::string(path, n));
    }

    // The per-user temporary directory, with its trailing backslash.
    std::optional<std::filesystem::path> TemporaryPath() override {
        char path[MAX_PATH];
        const DWORD n = GetTempPathA(MAX_PATH, path);
        if (n == 0 || n >= MAX_PATH) return std::nullopt;
        return std::filesystem::path(std::string(path, n));
    }

    bool PrepareDirectory(const std::filesystem::path& dir) override {
        CreateDirectoryA(dir.string().c_str(), nullptr);  // an existing one is fine
        return true;
    }

    // No sharing: a file a running instance holds open cannot be created,
    // and that instance's copy is used.
    bool WriteFile(const std::filesystem::path& file, std::string_view data) override {
        HANDLE h = CreateFileA(file.string().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        const BOOL ok = ::WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
        CloseHandle(h);
        return ok && written == data.size();
    }

    void* LoadLibrary(const std::filesystem::path& file) override {
        return reinterpret_cast<void*>(LoadLibraryA(file.string().c_str()));
    }

    void* FindExport(void* library, const char* name) override {
        return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
    }
};

}  // namespace

std::unique_ptr<LaunchPlatform> MakeSystemPlatform() { return std::make_unique<WindowsPlatform>(); }

std::string_view LastLoadError(const LaunchPlatform&) { return {}; }

void ShowLaunchError(std::string_view message, std::string_view) {
    const std::string text(message);
    MessageBoxA(nullptr, text.c_str(), std::string(kErrorCaption).c_str(), MB_OK | MB_ICONERROR);  // style 0x10
}

}  // namespace qx::launcher

// The process entry of the Windows launcher; the program image lies in a
// section of its own.
#pragma section(".qximg", read)
extern "C" __declspec(allocate(".qximg")) extern const unsigned char qx_program_image[];

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace qx::launcher;
    auto platform = MakeSystemPlatform();
    const LaunchResult result = PrepareLaunch(*platform);
    if (result.failure) {
        ShowLaunchError(MessageOf(*result.failure), {});
        return 0;
    }
    result.entry(qx_program_image);
    return 0;
}
