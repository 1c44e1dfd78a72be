# Building with clang.
#
# GBK literals under clang. GCC turns the UTF-8 literals of the qx_gbk_literals
# sources into GBK itself (-fexec-charset=GBK); clang knows no execution
# character set but UTF-8. For clang every compiler call goes through
# scripts/gbk_literals.py, which, when the call asks for GBK literals, compiles
# a copy of the source with those literals written as the GBK bytes the C
# library's iconv gives (the converter GCC uses), and leaves every other call
# as it is. The copies lie beside the object files.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    set(QX_GBK_LAUNCHER "${Python3_EXECUTABLE};${PROJECT_SOURCE_DIR}/scripts/gbk_literals.py;launch")
    # A launcher of the user's own (ccache, say) still runs, after the conversion.
    if(NOT CMAKE_CXX_COMPILER_LAUNCHER MATCHES "gbk_literals")
        set(CMAKE_CXX_COMPILER_LAUNCHER ${QX_GBK_LAUNCHER} ${CMAKE_CXX_COMPILER_LAUNCHER})
    endif()
endif()

# Under clang's sanitizers a shared library leaves the sanitizer runtime to
# the executable that loads it, so the kernel library cannot be linked with
# every symbol defined (-z defs); that check is left to the other builds.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    function(qx_clang_sanitizer_shared_libraries)
        foreach(target qx_kernel)
            if(TARGET ${target})
                get_target_property(options ${target} LINK_OPTIONS)
                if(options)
                    list(REMOVE_ITEM options "-Wl,-z,defs")
                    set_property(TARGET ${target} PROPERTY LINK_OPTIONS ${options})
                endif()
            endif()
        endforeach()
    endfunction()
    cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL qx_clang_sanitizer_shared_libraries)
endif()
