#include "rm/frame_header.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "rm/block_reader.h"
#include "shell/diagnostics.h"

static int32_t BlockInt32(int offset) {
    const uint8_t* b = State.Block + offset;
    return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                static_cast<uint32_t>(b[2]) << 16 |
                                static_cast<uint32_t>(b[3]) << 24);
}

static uint16_t BlockUInt16(int offset) {
    return static_cast<uint16_t>(State.Block[offset] | State.Block[offset + 1] << 8);
}

void GetHeader(Image& image) {
    LogAt(8, "Entering %s\n", "GetHeader");

    int32_t width = BlockInt32(header_field::Width);
    image.IW = static_cast<int32_t>(static_cast<uint32_t>(width) +
                                    static_cast<uint32_t>(State.WidthAdjust));
    image.IH = BlockInt32(header_field::Height);
    LogAt(0, "Image WxH = %ux%u\n", static_cast<unsigned>(image.IW),
          static_cast<unsigned>(image.IH));

    int32_t components = BlockInt32(header_field::Components);
    if (components != 1) FatalError("GetHeader", "RGB images not supported (%ld)", components);

    image.ColorFlag = BlockUInt16(header_field::ColorFlag);
    if (image.ColorFlag > 1)
        FatalError("GetHeader", "Illegal color flag (%ld) in Raster Metafile", image.ColorFlag);

    int32_t bitsPerEntry = BlockInt32(header_field::BitsPerLUTEntry);
    if (static_cast<uint32_t>(bitsPerEntry) > 8)
        FatalError("GetHeader", "Bits per LUT entry (%ld) must be < = 8", bitsPerEntry);

    // Tested unsigned, like the bits per LUT entry: a negative depth has no LUT size.
    image.Depth = BlockInt32(header_field::Depth);
    if (static_cast<uint32_t>(image.Depth) > 8)
        FatalError("GetHeader", "Depth of image (%ld) must be < = 8", image.Depth);

    // An image needs at least one pixel and one row: nothing can be placed, allocated or
    // drawn for a width or height of zero or below.
    if (image.IW <= 0) FatalError("GetHeader", "Width of image (%ld) must be > 0", image.IW);
    if (image.IH <= 0) FatalError("GetHeader", "Height of image (%ld) must be > 0", image.IH);

    for (int c = 0; c < 3; ++c) image.FillValues[c] = State.Block[header_field::Fill[c]];

    LogAt(8, "Leaving %s\n", "GetHeader");
}

void CreateLUT(Image& image) {
    size_t entries = ((static_cast<size_t>(image.LUTSize) + 255) / 256) * 256;
    if (entries == 0) entries = 256;
    LogAt(5, "Creating New LUT of size %d\n", image.LUTSize);
    size_t bytes = entries * sizeof(LUTEntry);
    image.LUT = static_cast<LUTEntry*>(std::malloc(bytes));
    if (image.LUT == nullptr)
        FatalError("CreateLUT", "Cannot allocate memory for LUT (%ld)",
                   static_cast<long long>(bytes));
    for (size_t i = 0; i < entries; ++i) image.LUT[i] = LUTEntry{0, 0, 0, 1};
}

// Reads the `blocks` blocks of one colour component into byte `component` (0 red, 1 green,
// 2 blue) of the entries; every word of every block is taken.
static void ReadLUTComponent(Image& image, int blocks, int component, const char* message) {
    for (int b = 0; b < blocks; ++b) {
        if (!ReadBlock()) FatalError("GetLUT", message, 0);
        LUTEntry* entry = image.LUT + b * WordsPerBlock;
        for (int k = 0; k < WordsPerBlock; ++k) {
            uint8_t v = State.Block[2 * k];
            if (component == 0)
                entry[k].Red = v;
            else if (component == 1)
                entry[k].Green = v;
            else
                entry[k].Blue = v;
        }
    }
}

void GetLUT(Image& image) {
    // GetHeader keeps Depth within 0 to 8, so n is 1 to 256 and one block per component.
    uint16_t n = static_cast<uint16_t>(1u << (static_cast<uint32_t>(image.Depth) & 15));
    if (image.LUTSize != 0 && image.LUTSize != n) {
        std::free(image.LUT);
        image.LUT = nullptr;
        image.LUTSize = 0;
    }
    if (image.LUTSize == 0) {
        image.LUTSize = n;
        CreateLUT(image);
    }
    int blocks = (n + WordsPerBlock - 1) / WordsPerBlock;

    ReadLUTComponent(image, blocks, 0, "Cannot read red/grey LUT");
    if (image.ColorFlag != 0) {
        ReadLUTComponent(image, blocks, 1, "Cannot read green LUT");
        ReadLUTComponent(image, blocks, 2, "Cannot read blue LUT");
    } else {
        for (int i = 0; i < n; ++i) image.LUT[i].Green = image.LUT[i].Blue = image.LUT[i].Red;
    }
    image.LUT[0].Red = image.LUT[0].Green = image.LUT[0].Blue = 0;

    LogAt(8, "Leaving %s\n", "GetLUT");
}

void SetUpLUT(Image& image) {
    if (State.Grayscale == 0 || image.LUT == nullptr) return;
    for (int i = 0; i < image.LUTSize; ++i) {
        LUTEntry& e = image.LUT[i];
        double v = (e.Green * 0.59 + e.Red * 0.3) + e.Blue * 0.11;
        uint8_t grey = static_cast<uint8_t>(static_cast<int>(v));
        e.Red = e.Green = e.Blue = grey;
    }
}
