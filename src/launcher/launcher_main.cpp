// The process entry of the launcher on Linux: unpack the payload, hand the
// program image to the kernel library's entry. The image itself is compiled
// into this executable (program_image.cpp, written at build time).
#include "launcher/launcher.h"
#include "launcher/platform.h"

extern "C" const unsigned char qx_program_image[];

int main() {
    using namespace qx::launcher;
    auto platform = MakeSystemPlatform();
    const LaunchResult result = PrepareLaunch(*platform);
    if (result.failure) {
        const bool loading = *result.failure == LaunchFailure::KernelLoadFailed;
        ShowLaunchError(MessageOf(*result.failure), loading ? LastLoadError(*platform) : std::string_view{});
        // Scripts that start the program need to see that it did not run.
        return 1;
    }
    result.entry(qx_program_image);
    return 0;
}
