# End-to-end tests of the EPUB e-book (filled in below).
