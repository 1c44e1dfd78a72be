// Writes fuzz inputs for the payload and image readers into two
// directories: valid payloads and record lists, and valid program images.
//   make_launcher_seeds PAYLOAD_DIR IMAGE_DIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "image/image_writer.h"
#include "launcher/payload.h"

using namespace qx::launcher;
using namespace qx::image;

namespace {

void Save(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

ImageSpec Image(int windows) {
    ImageSpec imageSpec;
    imageSpec.libraries = {{"vtrun", "K", "1", "0", "kernel"}, {"lib1", "L", "1", "0", "tree view"}};
    ConstBuilder c;
    imageSpec.dllLibraryName = c.AddText("kernel32.dll");
    imageSpec.dllFunctionName = c.AddText("WideCharToMultiByte");
    const std::uint32_t text = c.AddText("text");
    imageSpec.constData = c.Bytes();
    for (int i = 0; i < 4; ++i) imageSpec.code += std::string("\x08\0\0\0", 4);
    imageSpec.code += std::string(reinterpret_cast<const char*>(&text), 4);
    imageSpec.relocations = {{0, RelocationKind::Service}, {16, RelocationKind::Const}, {4, RelocationKind::Var},
                        {8, RelocationKind::Code}};
    imageSpec.loadLists.libraries = {12};
    for (int w = 0; w < windows; ++w) {
        const std::uint32_t id = 0x52010001 + static_cast<std::uint32_t>(w);
        FormUnit window;
        window.identifier = id;
        window.type = kWindowUnit;
        window.events = {{0, 4}};
        FormUnit tab;
        tab.identifier = 0x16010001;
        tab.type = kTabControlUnit;
        tab.name = "tab";
        tab.children = {0x16010002, 0};
        FormUnit tree;
        tree.identifier = 0x16010002;
        tree.type = UnitType(1, 1);
        tree.name = "tree";
        tree.parent = 0x16010001;
        tree.properties = "props";
        imageSpec.windows.push_back({id, 0x19010001, {window, tab, tree}});
    }
    return imageSpec;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PAYLOAD_DIR IMAGE_DIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path payloads = argv[1], images = argv[2];
    std::filesystem::create_directories(payloads);
    std::filesystem::create_directories(images);
    const std::vector<PayloadFile> files = {{"vtrun.vlx", "kernel"}, {"a.vlr", std::string(300, 'a')}};
    Save(payloads / "packed", std::string(1, '\0') + BuildPayload(files, {0x1A2B, 0x01020304}));
    Save(payloads / "records", "\x01" + EncodeRecords(files));
    Save(payloads / "records-two-kernels", "\x03" + EncodeRecords({{"VTRUN.VLR", "1"}, {"vtrun.vlx", "2"}}));
    for (int w = 0; w < 3; ++w) Save(images / ("image" + std::to_string(w)), WriteProgramImage(Image(w)));
    return 0;
}
