#pragma once
// The folders of an installed copy's user: made on the user's first start,
// with the built-in parameter table and settings, without asking (an
// installed program has nothing else to offer a new user).

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "runtime/system_paths.h"

namespace qx::app {

// Creates the home and settings folders of a per-user layout and writes the
// built-in parameter table and the default settings where they are missing;
// a portable layout is left as it is. False, with the place and the reason
// in `problem` (UTF-8), when something could not be made.
bool PrepareUserHome(const runtime::HomeLayout& layout, const std::filesystem::path& documents,
                     std::string& problem);

}  // namespace qx::app
