#pragma once
// What the single-file bundle carries, shared by the build tool that writes
// its program image and by the kernel library that checks it at start.

#include <cstdint>

namespace qx::launcher {

struct BundleLibrary {
    const char* fileName;  // without extension; the payload file adds ".vlx"
    const char* identifier;
    const char* description;
};

// Library 0 is the kernel library: the program with its runtime. Library 1
// carries the built-in page templates, installed into the program home when
// it has none.
inline constexpr BundleLibrary kBundleLibraries[] = {
    {"vtrun", "QX-KERNEL", "QX e-book maker program and runtime"},
    {"qxtmpl", "QX-TEMPLATES", "QX e-book maker built-in page templates"},
};
inline constexpr const char* kLibraryExtension = ".vlx";

// The form's windows: main window, title dialog, preview window.
inline constexpr std::uint32_t kMainWindow = 0x52010001;

}  // namespace qx::launcher
