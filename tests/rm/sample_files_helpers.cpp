#include "tests/rm/sample_files.h"

#include "tests/rm/rm_test_helpers.h"

using rmwriter::Frame;
using rmwriter::Metafile;

namespace {

Metafile OneFrame(const Frame& f) {
    Metafile m;
    m.AddFrame(f);
    return m;
}

// A valid frame whose header is then given the changes of `edit`.
template <typename Edit>
Metafile BadHeader(Edit edit) {
    Frame f = PatternFrame(6, 3, 1);
    edit(f.header);
    return OneFrame(f);
}

}  // namespace

std::vector<SampleFile> SampleFiles() {
    std::vector<SampleFile> s;
    auto add = [&](const std::string& path, Metafile m) { s.push_back({path, std::move(m)}); };

    // Good files.
    add("good/one-frame.rm", OneFrame(PatternFrame(16, 8, 1)));
    {
        Metafile m;
        m.AddJunk(1);
        for (int i = 0; i < 5; ++i) {
            Frame f = PatternFrame(24, 10, 10 + i);
            f.junkBeforeStream = i % 2;
            m.AddFrame(f);
            m.AddJunk(i % 3, static_cast<uint8_t>(i));
        }
        add("good/five-frames-with-gaps.rm", m);
    }
    {
        Metafile m;
        Frame a = PatternFrame(7, 3, 2, 4);
        a.header.ColorFlag = 1;
        a.colors = rmwriter::ColourRamp(4);
        m.AddFrame(a);
        m.AddFrame(PatternFrame(20, 10, 3, 8));
        m.AddFrame(PatternFrame(1, 1, 4, 0));
        m.AddFrame(PatternFrame(300, 2, 5, 1));
        add("good/sizes-and-depths.rm", m);
    }
    {
        // Start word with a first byte, no-ops, every pixel opcode, an end of scan line
        // after the last line.
        add("good/every-opcode.rm", RawStream(5, 2,
                                              {0xF123, 0x0004, 0x3007, 0x1203, 0x6000, 0xD002,
                                               0x0003, 0x1009, 0xF000, 0x3008, 0x6000, 0x7000}));
    }
    {
        Frame f = PatternFrame(8, 4, 6);
        for (auto& row : f.rows) row.resize(11, 3);  // scan lines run into the next row
        add("good/long-scan-lines.rm", OneFrame(f));
    }

    // Damaged and hostile files: each must end cleanly, with the error shown.
    {
        Metafile m = OneFrame(PatternFrame(6, 3, 1));
        m.Truncate(300);
        add("crashers/truncated-header.rm", m);
    }
    {
        Metafile m = OneFrame(PatternFrame(6, 3, 1));
        m.Truncate(BlockSize + 100);
        add("crashers/truncated-lut.rm", m);
    }
    {
        Frame f = PatternFrame(40, 40, 1);
        Metafile m = OneFrame(f);
        m.Truncate(m.Bytes().size() - BlockSize + 200);
        add("crashers/truncated-stream.rm", m);
    }
    {
        Metafile m;
        Frame f = PatternFrame(6, 3, 1);
        m.AddHeader(f.header);
        m.AddColorTable(f.header, f.colors);
        m.AddJunk(3);
        add("crashers/no-start-word.rm", m);
    }
    {
        Frame f = PatternFrame(6, 3, 1);
        f.writeLUT = false;  // the stream block is taken for the LUT
        add("crashers/lut-missing.rm", OneFrame(f));
    }
    add("crashers/illegal-opcode.rm", RawStream(4, 4, {0x1001, 0x8FFF}));
    add("crashers/colormap-opcode.rm", RawStream(4, 4, {0x1001, 0xB000}));
    add("crashers/start-inside-frame.rm", RawStream(4, 4, {0x1001, 0x4000}));
    {
        // A header marker as the first four bytes of a stream block.
        std::vector<uint16_t> words(255, 0xF000);
        words[0] = 0x1001;
        words.push_back(0x0000);
        words.push_back(0xE000);
        add("crashers/marker-in-stream.rm", RawStream(4, 4, words));
    }
    add("crashers/no-end-of-frame.rm", RawStream(4, 4, {0x1001}));
    add("crashers/rgb.rm", BadHeader([](rmwriter::Header& h) { h.Components = 3; }));
    add("crashers/color-flag-2.rm", BadHeader([](rmwriter::Header& h) { h.ColorFlag = 2; }));
    add("crashers/bits-per-entry-negative.rm",
        BadHeader([](rmwriter::Header& h) { h.BitsPerLUTEntry = -1; }));
    add("crashers/depth-9.rm", BadHeader([](rmwriter::Header& h) { h.Depth = 9; }));
    add("crashers/depth-negative.rm", BadHeader([](rmwriter::Header& h) { h.Depth = -3; }));
    add("crashers/width-zero.rm", BadHeader([](rmwriter::Header& h) { h.Width = 0; }));
    add("crashers/width-negative.rm", BadHeader([](rmwriter::Header& h) { h.Width = -640; }));
    add("crashers/height-zero.rm", BadHeader([](rmwriter::Header& h) { h.Height = 0; }));
    add("crashers/height-negative.rm",
        BadHeader([](rmwriter::Header& h) { h.Height = INT32_MIN; }));
    add("crashers/size-overflows-32-bits.rm", BadHeader([](rmwriter::Header& h) {
            h.Width = 65536;
            h.Height = 65536;
        }));
    add("crashers/width-near-2-31.rm", BadHeader([](rmwriter::Header& h) { h.Width = INT32_MAX; }));
    add("crashers/too-large.rm", BadHeader([](rmwriter::Header& h) {
            h.Width = 50000;
            h.Height = 50000;
        }));
    {
        // Pixels that would fall outside the array are dropped: more scan lines than rows,
        // runs, fills and literal pixels past the end, end-of-scan-lines past the start.
        Frame f = PatternFrame(5, 3, 7);
        for (int i = 0; i < 4; ++i) f.rows.push_back(f.rows[i % 3]);
        add("crashers/more-lines-than-rows.rm", OneFrame(f));
    }
    add("crashers/run-past-the-end.rm",
        RawStream(3, 2, {0x1001, 0x0FFF, 0x3002, 0x1003, 0x0FFF, 0x3004, 0xDFFF, 0x1005, 0x7000}));
    {
        std::vector<uint16_t> words = {0x1001};
        for (int i = 0; i < 700; ++i) words.push_back(0x6000);
        for (uint16_t w : {0x1002, 0x0FFF, 0x3003, 0xDFFF, 0x7000}) words.push_back(w);
        add("crashers/lines-past-the-start.rm", RawStream(3, 2, words));
    }
    add("crashers/spent-run.rm",
        RawStream(4, 2, {0x3005, 0x0002, 0x3006, 0x3007, 0x3008, 0x1009, 0x7000}));
    {
        Metafile m = OneFrame(PatternFrame(6, 3, 1));
        Frame bad = PatternFrame(6, 3, 2);
        bad.header.Depth = 12;
        m.AddFrame(bad);
        add("crashers/second-frame-bad.rm", m);
    }
    return s;
}

rmwriter::Metafile RawStream(int width, int height, const std::vector<uint16_t>& words) {
    rmwriter::Metafile m;
    rmwriter::Header h;
    h.Width = width;
    h.Height = height;
    h.Fill[0] = 0xF0;
    m.AddHeader(h);
    m.AddColorTable(h, rmwriter::GreyRamp(8));
    m.BeginStream();
    for (uint16_t w : words) m.AddWord(w);
    m.EndBlock();
    return m;
}
