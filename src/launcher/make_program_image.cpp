// Writes the bundle's program image at build time: the header, the list of
// the libraries the bundle carries, and the segments. The const segment
// holds the program's message texts; the form segment defines the three
// windows; the code segment carries the immediates the runtime relocates
// (the routines themselves are compiled into the kernel library).
//
//   make_program_image IMAGE.bin SOURCE.cpp
// writes the image and a C++ source that puts it into the launcher's
// .qximage section.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "image/image_writer.h"
#include "launcher/bundle_layout.h"
#include "text/messages.h"

namespace {

using namespace qx::image;

void PutWord(std::string& code, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) code.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A window unit whose own properties are its caption (length word, bytes).
FormUnit WindowUnit(std::uint32_t id, const std::string& caption, std::int32_t left, std::int32_t top,
                    std::int32_t width, std::int32_t height) {
    FormUnit u;
    u.identifier = id;
    u.type = kWindowUnit;
    u.left = left;
    u.top = top;
    u.width = width;
    u.height = height;
    u.flags = 1;
    PutWord(u.properties, static_cast<std::uint32_t>(caption.size()));
    u.properties += caption;
    return u;
}

ImageSpec BundleImage() {
    using namespace qx::text::msg;
    ImageSpec imageSpec;
    for (const qx::launcher::BundleLibrary& l : qx::launcher::kBundleLibraries)
        imageSpec.libraries.push_back({l.fileName, l.identifier, "3", "2", l.description});

    ConstBuilder constants;
    imageSpec.dllLibraryName = constants.AddText("kernel32.dll");
    imageSpec.dllFunctionName = constants.AddText("WideCharToMultiByte");
    std::vector<std::uint32_t> texts;
    for (const std::string_view m :
         {kChooseInputFirst, kTitleOrAuthorMissing, kLooksLikeUnicode, kAttention, kLoaded, kAnalysed,
          kNoLayoutNeeded, kCannotReadInput, kConversionFailed, kParameterNotSaved, kAutoLayoutRunning,
          kAutoLayoutDone, kManualLayoutRefused, kNoVolumeNameToTake, kVolumeNamesDiffer, kPictureNeedsNoLayout,
          kManualLayoutHint, kExpandCaption, kCollapseCaption}) {
        texts.push_back(constants.AddText(std::string(m)));
    }
    imageSpec.constData = constants.Bytes();
    imageSpec.constSize = static_cast<std::uint32_t>(imageSpec.constData.size());

    FormWindow main{qx::launcher::kMainWindow, 0x19010001, {}};
    main.units.push_back(WindowUnit(main.identifier, "QX电子书制作软件 v3.2 Final", 50, 50, 379, 356));
    FormWindow title{qx::launcher::kMainWindow + 1, 0, {}};
    title.units.push_back(WindowUnit(title.identifier, "", 0, 0, 287, 236));
    FormWindow preview{qx::launcher::kMainWindow + 2, 0, {}};
    preview.units.push_back(WindowUnit(preview.identifier, "预览", 0, 0, 802, 602));
    imageSpec.windows = {main, title, preview};

    // The code: one immediate per relocation and load-list entry.
    std::string& code = imageSpec.code;
    const auto immediate = [&](std::uint32_t value) {
        const auto at = static_cast<std::uint32_t>(code.size());
        PutWord(code, value);
        return at;
    };
    imageSpec.entry = 0;
    for (std::uint32_t i = 0; i < kServiceCount; ++i)
        imageSpec.relocations.push_back({immediate(i * 4), RelocationKind::Service});
    imageSpec.relocations.push_back({immediate(0), RelocationKind::Code});  // the clean-up routine
    for (const std::uint32_t t : texts) imageSpec.relocations.push_back({immediate(t), RelocationKind::Const});
    imageSpec.varSize = 76;
    for (std::uint32_t g = 0; g < imageSpec.varSize / 4; ++g)
        imageSpec.relocations.push_back({immediate(g * 4), RelocationKind::Var});
    for (const FormWindow& w : imageSpec.windows) imageSpec.loadLists.identifiers.push_back(immediate(w.identifier));
    imageSpec.loadLists.dllFunctions.push_back(immediate(0));
    for (std::uint32_t l = 0; l < imageSpec.libraries.size(); ++l) imageSpec.loadLists.libraries.push_back(immediate(l));
    imageSpec.loadLists.unitTypes.push_back(immediate(kWindowUnit));
    return imageSpec;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_program_image IMAGE.bin SOURCE.cpp\n";
        return 2;
    }
    const std::string image = WriteProgramImage(BundleImage());
    ReadProgramImage(image);  // the writer and the reader must agree
    std::ofstream(argv[1], std::ios::binary) << image;
    std::ofstream source(argv[2]);
    source << "// Written by make_program_image: the program image in its own section.\n"
              "extern \"C\" {\nextern const unsigned char qx_program_image[];\n}\n"
              "__attribute__((section(\".qximage\"), aligned(16), used))\n"
              "const unsigned char qx_program_image[] = {";
    for (std::size_t i = 0; i < image.size(); ++i) {
        source << (i % 20 == 0 ? "\n    " : " ") << static_cast<unsigned>(static_cast<unsigned char>(image[i])) << ",";
    }
    source << "\n};\n";
    if (!source) {
        std::cerr << "make_program_image: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
