// The main routine from the command line to CleanUp, and the open-file dialog with its hook.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_routine.h"
#include "platform/headless/headless_control.h"
#include "resources/resource_ids.h"
#include "tests/support/test_support.h"
#include "tools/rmwriter/rmwriter.h"

namespace {

// A small animation of `frames` frames, each a flat picture of its own index.
void WriteAnimation(const std::string& path, int frames) {
    rmwriter::Metafile file;
    for (int i = 0; i < frames; ++i) {
        rmwriter::Frame f;
        f.header.Width = 12;
        f.header.Height = 8;
        f.colors = rmwriter::GreyRamp(8);
        f.rows.assign(8, std::vector<uint8_t>(12, static_cast<uint8_t>(10 + i)));
        file.AddFrame(f);
    }
    ASSERT_TRUE(file.Save(path));
}

class MainRoutineTest : public ViewerTest {
   protected:
    int Run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "kinaro");
        storage = arguments;
        argv.clear();
        for (auto& a : storage) argv.push_back(a.data());
        argv.push_back(nullptr);
        FreeStateArrays();  // a second run in one test starts afresh, as a new process would
        return KinaroMain(GetModuleHandleA(nullptr), nullptr, SW_SHOWDEFAULT,
                          static_cast<int>(storage.size()), argv.data());
    }
    // The viewer windows made (progress windows aside).
    int ViewerWindows() const {
        int n = 0;
        for (HWND h : core::WindowsInOrder())
            n += core::AnyWindow(h)->Class->Name == "KinaroWndClass";
        return n;
    }
    std::vector<std::string> storage;
    std::vector<char*> argv;
};

TEST_F(MainRoutineTest, OpensTheNameAsGivenElseWithRmAppendedAndRunsToCleanUp) {
    const std::string movie = TempPath("start.rm");
    WriteAnimation(movie, 3);
    const std::string log = TempPath("start.log");
    EXPECT_EQ(Run({"-d3", log, movie.substr(0, movie.size() - 3)}), 0);
    EXPECT_EQ(ViewerWindows(), 1);
    const core::WindowRecord* window = core::AnyWindow(State.MainWindow);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->Alive);  // CleanUp after the loop
    EXPECT_EQ(window->ClientWidth, 12);
    EXPECT_GE(window->Draws, 1);
    EXPECT_EQ(State.MetafileStream, nullptr);
    const std::string text = ReadWholeFile(log);
    EXPECT_NE(text.find("Entering Event Loop\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 18), "Closing Log File.\n");
}

TEST_F(MainRoutineTest, ANameThatOpensUnderNeitherFormIsFatalWithTheNameAskedFor) {
    const std::string missing = TempPath("missing.rm");
    EXPECT_EQ(ExpectProcessEnd([&] { Run({missing}); }), -1);
    ASSERT_EQ(Headless().Boxes.size(), 1u);
    EXPECT_EQ(Headless().Boxes[0].Title, "Kinaro Error");
    EXPECT_EQ(Headless().Boxes[0].Text, "Error: Cannot open Raster Metafile \"" + missing + "\"");
    EXPECT_EQ(ViewerWindows(), 0);
}

TEST_F(MainRoutineTest, AClassThatCannotBeRegisteredIsFatal) {
    const std::string movie = TempPath("noclass.rm");
    WriteAnimation(movie, 1);
    HeadlessSetFault(core::Call::RegisterClass);
    EXPECT_EQ(ExpectProcessEnd([&] { Run({movie}); }), -1);
    ASSERT_EQ(Headless().Boxes.size(), 1u);
    EXPECT_EQ(Headless().Boxes[0].Text, "Error: Cannot initialize graphics");
}

TEST_F(MainRoutineTest, WithoutANameTheDialogIsAskedForAsTheOlderTemplateDialog) {
    int calls = 0;
    HeadlessOpenFileScript script;  // the user cancels
    script.WhileOpen = [&](HWND, const OPENFILENAMEA& call) {
        ++calls;
        EXPECT_EQ(call.lStructSize, 136u);
        EXPECT_EQ(call.hwndOwner, nullptr);
        EXPECT_EQ(call.hInstance, GetModuleHandleA(nullptr));
        std::string filter;  // pairs of texts, each with its zero, ended by an empty one
        for (const char* p = call.lpstrFilter; *p != '\0'; p += std::strlen(p) + 1)
            filter.append(p, std::strlen(p) + 1);
        EXPECT_EQ(filter, std::string("Raster Metafiles (*.rm)\0*.rm\0All Files (*.*)\0*.*\0", 49));
        EXPECT_EQ(call.nFilterIndex, 1u);
        EXPECT_EQ(call.nMaxFile, 256u);
        EXPECT_STREQ(call.lpstrTitle, "Kinaro Open File");
        EXPECT_EQ(call.Flags, 0x106Cu);
        EXPECT_STREQ(call.lpstrDefExt, "rm");
        EXPECT_NE(call.lpfnHook, nullptr);
        EXPECT_EQ(call.lpTemplateName, MAKEINTRESOURCEA(IDD_OPENFILE));
        EXPECT_TRUE(call.lpstrCustomFilter == nullptr && call.nMaxCustFilter == 0 &&
                    call.lpstrFileTitle == nullptr && call.nMaxFileTitle == 0 &&
                    call.lpstrInitialDir == nullptr && call.nFileOffset == 0 &&
                    call.nFileExtension == 0 && call.lCustData == 0);
    };
    Headless().Script = script;
    const std::string log = TempPath("cancel.log");
    EXPECT_EQ(Run({"-d9", log}), 0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(ViewerWindows(), 0);
    fflush(State.LogFile);  // nothing is released on this way out
    EXPECT_EQ(ReadWholeFile(log),
              "GetOpenFile returns False, CommDlgExtendedError returns 00000000\n");
}

TEST_F(MainRoutineTest, ADialogThatCannotRunEndsWithZeroAndLogsItsCode) {
    HeadlessOpenFileScript script;
    script.Failure = 0xFFFF;
    Headless().Script = script;
    const std::string log = TempPath("failed.log");
    EXPECT_EQ(Run({"-d9", log}), 0);
    fflush(State.LogFile);
    EXPECT_EQ(ReadWholeFile(log),
              "GetOpenFile returns False, CommDlgExtendedError returns 0000ffff\n");
    // Below level 9 the line is not written.
    Headless().Script = script;
    const std::string quiet = TempPath("quiet.log");
    EXPECT_EQ(Run({"-d8", quiet}), 0);
    fflush(State.LogFile);
    EXPECT_EQ(ReadWholeFile(quiet), "");
}

TEST_F(MainRoutineTest, TheCheckBoxesShowTheCommandLineAndEveryClickTakesEffect) {
    const std::string movie = TempPath("dialog.rm");
    WriteAnimation(movie, 4);
    int colormapsAtStart = -1, bufferingAtStart = -1;
    std::vector<uint32_t> bufferCounts;
    std::vector<int> colormaps;
    HeadlessOpenFileScript script;
    script.Accept = true;
    script.FileName = movie;
    script.WhileOpen = [&](HWND dialog, const OPENFILENAMEA&) {
        colormapsAtStart = SendDlgItemMessageA(dialog, IDC_MULTIPLE_COLORMAPS, BM_GETCHECK, 0, 0);
        bufferingAtStart = SendDlgItemMessageA(dialog, IDC_USE_BUFFERING, BM_GETCHECK, 0, 0);
        EXPECT_EQ(core::ClickDialogItem(dialog, IDC_USE_BUFFERING), 1u);
        bufferCounts.push_back(State.BufferCount);
        EXPECT_EQ(core::ClickDialogItem(dialog, IDC_MULTIPLE_COLORMAPS), 1u);
        colormaps.push_back(State.MultipleColormaps);
        EXPECT_EQ(core::ClickDialogItem(dialog, IDC_USE_BUFFERING), 1u);
        bufferCounts.push_back(State.BufferCount);
        EXPECT_EQ(core::ClickDialogItem(dialog, 1), 0u) << "not one of the hook's controls";
    };
    Headless().Script = script;
    EXPECT_EQ(Run({"-s", "-b", "-max", "20"}), 0);
    EXPECT_EQ(colormapsAtStart, BST_UNCHECKED);  // -s
    EXPECT_EQ(bufferingAtStart, BST_CHECKED);    // -b
    EXPECT_EQ(bufferCounts, (std::vector<uint32_t>{0, 20}));
    EXPECT_EQ(colormaps, std::vector<int>{1});
    EXPECT_EQ(State.TotalImages, 3u) << "the file was buffered: all four images read";
}

TEST_F(MainRoutineTest, TheHelpButtonShowsItsBoxOwnedByTheDialog) {
    HWND dialogSeen = nullptr;
    UINT_PTR handled = 0;
    HeadlessOpenFileScript script;
    script.WhileOpen = [&](HWND dialog, const OPENFILENAMEA&) {
        dialogSeen = dialog;
        handled = core::ClickDialogItem(dialog, IDC_OPEN_HELP);
    };
    Headless().Script = script;
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(handled, 1u);
    ASSERT_EQ(Headless().Boxes.size(), 1u);
    const HeadlessBox& box = Headless().Boxes[0];
    EXPECT_EQ(box.Title, "Kinaro Open File Help");
    EXPECT_EQ(box.Owner, dialogSeen);
    EXPECT_EQ(box.Type, MB_OK);
    EXPECT_EQ(box.Text.rfind("Kinaro is a program to display Raster Metafile images.\n", 0), 0u);
    const std::string ending = "operation is much faster, but it may require a lot more\nmemory.";
    EXPECT_EQ(box.Text.substr(box.Text.size() - ending.size()), ending);
    EXPECT_EQ(box.Text.size(), 553u);
}

}  // namespace
