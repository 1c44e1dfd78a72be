# The script texts of the fuzz seeds parsed by node: a driver runs the
# pipeline of the fuzz targets on every committed seed and writes what it
# makes; node parses each as GBK script.
add_executable(qx_script_texts ${CMAKE_CURRENT_LIST_DIR}/script_texts.cpp
    ${PROJECT_SOURCE_DIR}/fuzz/pipeline_harness.cpp ${PROJECT_SOURCE_DIR}/fuzz/checks.cpp
    ${PROJECT_SOURCE_DIR}/fuzz/script_check.cpp)
target_include_directories(qx_script_texts PRIVATE ${PROJECT_SOURCE_DIR}/fuzz)
target_link_libraries(qx_script_texts PRIVATE qx_app qx_epub qx_output qx_text)
add_test(NAME fuzz_seed_scripts_parse_as_javascript
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/scripts_parse.py $<TARGET_FILE:qx_script_texts>
            ${PROJECT_SOURCE_DIR}/fuzz/seeds ${CMAKE_CURRENT_BINARY_DIR}/fuzz_seed_scripts)
set_tests_properties(fuzz_seed_scripts_parse_as_javascript PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
