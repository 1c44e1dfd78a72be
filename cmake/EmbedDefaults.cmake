# The built-in parameter texts (data/params/NN_name.txt) compiled into qx_app.
#
# Included from src/app/CMakeLists.txt after qx_app is defined. A generated
# source holds every file's bytes and its file name as byte arrays; the
# program turns them into GBK texts at first use (see data/params/README.md).
# The source is regenerated whenever a data file changes; adding or removing a
# file re-runs the configuration.
#
# The same file is the generator: cmake -DQX_PARAMS_DIR=... -DQX_PARAMS_OUT=...
# -P EmbedDefaults.cmake writes the source.

function(qx_bytes_as_hex_list bytes_hex out_var)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," list "${bytes_hex}")
    # Sixteen bytes to a line keeps the generated file readable.
    string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n        " list "${list}")
    set(${out_var} "${list}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
    file(GLOB QX_PARAMS_FILES "${QX_PARAMS_DIR}/[0-9][0-9]_*.txt")
    list(LENGTH QX_PARAMS_FILES count)
    if(NOT count EQUAL 24)
        message(FATAL_ERROR "data/params must hold 24 parameter files, found ${count}")
    endif()
    list(SORT QX_PARAMS_FILES)
    set(arrays "")
    set(names "")
    set(bytes "")
    set(sizes "")
    set(row 0)
    foreach(file IN LISTS QX_PARAMS_FILES)
        math(EXPR row "${row} + 1")
        get_filename_component(file_name "${file}" NAME)
        string(SUBSTRING "${file_name}" 0 3 prefix)
        if(row LESS 10)
            set(expected "0${row}_")
        else()
            set(expected "${row}_")
        endif()
        if(NOT prefix STREQUAL expected)
            message(FATAL_ERROR "parameter file ${file_name} is out of place: row ${row} expected")
        endif()
        file(READ "${file}" content HEX)
        string(LENGTH "${content}" hex_length)
        math(EXPR size "${hex_length} / 2")
        qx_bytes_as_hex_list("${content}" content_list)
        # The name as its UTF-8 bytes, so the compiler's execution character
        # set does not touch it.
        string(HEX "${file_name}" name_hex)
        qx_bytes_as_hex_list("${name_hex}" name_list)
        string(APPEND arrays
            "const unsigned char kName${row}[] = {\n        ${name_list}0x00};\n"
            "const unsigned char kBytes${row}[] = {\n        ${content_list}0x00};\n")
        string(APPEND names "    kName${row},\n")
        string(APPEND bytes "    kBytes${row},\n")
        string(APPEND sizes "    ${size},\n")
    endforeach()
    file(WRITE "${QX_PARAMS_OUT}"
        "// Generated from data/params by cmake/EmbedDefaults.cmake. Do not edit.\n"
        "#include <cstddef>\n\n"
        "namespace qx::app::embedded {\n"
        "namespace {\n\n${arrays}\n}  // namespace\n\n"
        "// Row r (from 1) at index r - 1: the file name, the file's bytes and their\n"
        "// count (both arrays carry a closing zero byte that is not counted).\n"
        "extern const unsigned char* const kParameterFileNames[24];\n"
        "extern const unsigned char* const kParameterFileBytes[24];\n"
        "extern const std::size_t kParameterFileSizes[24];\n"
        "const unsigned char* const kParameterFileNames[24] = {\n${names}};\n"
        "const unsigned char* const kParameterFileBytes[24] = {\n${bytes}};\n"
        "const std::size_t kParameterFileSizes[24] = {\n${sizes}};\n\n"
        "}  // namespace qx::app::embedded\n")
    return()
endif()

file(GLOB qx_param_files CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/data/params/[0-9][0-9]_*.txt")
list(SORT qx_param_files)
set(qx_param_source "${CMAKE_CURRENT_BINARY_DIR}/default_parameter_data.cpp")
add_custom_command(
    OUTPUT "${qx_param_source}"
    COMMAND "${CMAKE_COMMAND}" "-DQX_PARAMS_DIR=${PROJECT_SOURCE_DIR}/data/params"
            "-DQX_PARAMS_OUT=${qx_param_source}" -P "${CMAKE_CURRENT_LIST_FILE}"
    DEPENDS ${qx_param_files} "${CMAKE_CURRENT_LIST_FILE}"
    COMMENT "Embedding the built-in parameter texts"
    VERBATIM)
target_sources(qx_app PRIVATE "${qx_param_source}")
