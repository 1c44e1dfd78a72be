# The usual hardening of Debian's programs, for every build: stack
# protection, checked buffer functions (where the code is optimised) and
# read-only relocations bound at start.
include(CheckPIESupported)
check_pie_supported()
add_compile_options(-fstack-protector-strong)
# (Not under the sanitizers, which check buffers themselves.)
if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug" AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    add_compile_definitions(_FORTIFY_SOURCE=2)
endif()
add_link_options(-Wl,-z,relro -Wl,-z,now)
