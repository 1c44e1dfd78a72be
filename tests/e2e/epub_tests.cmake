# End-to-end tests of the EPUB e-book: epubcheck on the test novels and on
# books made to break the writer, pandoc reading the pages back against the
# working text, and an EPUB renderer from npm in headless Chromium.

add_test(NAME e2e_epub_epubcheck
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/e2e/epub_epubcheck.py
            $<TARGET_FILE:qxebook> ${QX_CORPUS_DIR} ${PROJECT_SOURCE_DIR}/data/template)
set_tests_properties(e2e_epub_epubcheck PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)

# epubcheck spends minutes on a book of 10,000 chapters (its NCX rules
# compare every entry with every other): a test of its own, started early so
# that it runs beside the others.
add_test(NAME e2e_epub_epubcheck_10000_chapters
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/e2e/epub_epubcheck.py
            $<TARGET_FILE:qxebook> ${QX_CORPUS_DIR} ${PROJECT_SOURCE_DIR}/data/template --many)
set_tests_properties(e2e_epub_epubcheck_10000_chapters PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 1200 COST 1000)

add_test(NAME e2e_epub_read_by_pandoc
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/e2e/epub_read_by_pandoc.py
            $<TARGET_FILE:qxebook> ${QX_CORPUS_DIR})
set_tests_properties(e2e_epub_read_by_pandoc PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)

# epub.js from npm (tests/e2e/epub_reader/package-lock.json, installed into
# the build directory on the first run) renders the EPUB in headless
# Chromium; screenshots of the contents and of a chapter.
add_test(NAME e2e_epub_in_chromium
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/e2e/epub_in_chromium.py
            $<TARGET_FILE:qxebook> ${QX_CORPUS_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/epub_reader
            ${CMAKE_BINARY_DIR}/epub_reader ${CMAKE_BINARY_DIR}/screenshots)
set_tests_properties(e2e_epub_in_chromium PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900)
