// make_template_archive OUT DIR: packs the built-in templates under DIR
// into the bundle's template library.
#include <fstream>
#include <iostream>

#include "launcher/template_archive.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_template_archive OUT DIR\n";
        return 2;
    }
    try {
        std::ofstream out(argv[1], std::ios::binary);
        out << qx::launcher::EncodeArchive(qx::launcher::CollectFiles(argv[2]));
        if (!out.flush()) throw std::runtime_error(std::string("cannot write ") + argv[1]);
    } catch (const std::exception& e) {
        std::cerr << "make_template_archive: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
