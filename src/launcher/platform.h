#pragma once
// The operating system behind the launcher: the real LaunchPlatform, the
// error report and the address of the program image carried by the
// executable. One implementation per system (platform_posix.cpp,
// platform_windows.cpp).

#include <memory>
#include <string_view>

#include "launcher/launcher.h"

namespace qx::launcher {

std::unique_ptr<LaunchPlatform> MakeSystemPlatform();

// Tells the user that the launcher stopped: a box captioned "Error" with
// the message, or on a terminal the message on standard error. `detail`
// (the system's own reason, may be empty) follows on its own line where
// there is room for it.
void ShowLaunchError(std::string_view message, std::string_view detail);

// Why the last library load failed, as the system says it; empty if unknown.
std::string_view LastLoadError(const LaunchPlatform& platform);

}  // namespace qx::launcher
