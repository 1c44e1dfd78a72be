#pragma once
// Digests of texts, for identifiers that stay the same for the same input.

#include <array>
#include <cstdint>
#include <string_view>

namespace qx::runtime {

std::array<std::uint8_t, 20> Sha1(std::string_view bytes);

}  // namespace qx::runtime
