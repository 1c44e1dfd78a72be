// qxebook-image inspect FILE
#include <iostream>
#include <string>
#include <vector>

#include "image/image_inspect.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return qx::image::RunImageCommand(args, std::cout, std::cerr);
}
