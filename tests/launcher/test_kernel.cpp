// A stand-in kernel library for the launcher's tests: GetNewSock(1000)
// gives an entry that remembers the image it was handed and, in the
// executable test, reports it and the command line on standard output.
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const void* g_image = nullptr;

void Entry(const void* image) {
    g_image = image;
    if (std::getenv("QX_TEST_KERNEL_REPORT")) {
        const auto* bytes = static_cast<const char*>(image);
        std::printf("test kernel entry: image starts with %c%c\n", bytes[0], bytes[1]);
        std::fflush(stdout);
    }
}

}  // namespace

// The launcher calls it as a function giving a void (*)(const void*), so it
// is declared as one: a call through another function type is undefined.
using RuntimeEntry = void (*)(const void*);
extern "C" __attribute__((visibility("default"))) RuntimeEntry GetNewSock(int version) {
    return version == 1000 ? &Entry : nullptr;
}

extern "C" __attribute__((visibility("default"))) const void* SeenImage() { return g_image; }
