// Build-time tool: writes the Windows resource script, the icon and manifest it names and
// the document icon of metafiles, which the installer registers.
//   kinaro_write_resources OUT.rc OUT.ico OUT.manifest OUT-document.ico
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "resources/icon_drawing.h"
#include "resources/writer/resource_script.h"

static bool WriteFile(const char* path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s OUT.rc OUT.ico OUT.manifest OUT-document.ico\n", argv[0]);
        return 2;
    }
    try {
        std::vector<uint8_t> icon = IconFile();
        std::vector<uint8_t> document = DocumentIconFile();
        std::string manifest = ApplicationManifest();
        std::string script = ResourceScript(argv[2], argv[3]);
        if (!WriteFile(argv[2], icon.data(), icon.size()) ||
            !WriteFile(argv[3], manifest.data(), manifest.size()) ||
            !WriteFile(argv[1], script.data(), script.size()) ||
            !WriteFile(argv[4], document.data(), document.size())) {
            std::fprintf(stderr, "%s: cannot write %s, %s, %s or %s\n", argv[0], argv[1], argv[2],
                         argv[3], argv[4]);
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        return 1;
    }
    return 0;
}
