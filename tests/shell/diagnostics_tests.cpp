#include <cstdio>

#include "platform/headless/headless_control.h"
#include "shell/info_boxes.h"
#include "tests/support/test_support.h"

class DiagnosticsTest : public ViewerTest {};

TEST_F(DiagnosticsTest, LogLinesAreWrittenOnlyAboveTheirThreshold) {
    std::string path = TempPath("threshold.log");
    State.LogFile = fopen(path.c_str(), "w");
    State.LogLevel = 3;
    for (int threshold : {0, 1, 2, 3, 4, 9}) LogAt(threshold, "line %d\n", threshold);
    fclose(State.LogFile);
    EXPECT_EQ(ReadWholeFile(path), "line 0\nline 1\nline 2\n");
}

TEST_F(DiagnosticsTest, FatalErrorWritesThreeLinesWithTheBlockNumberAndClosesTheLog) {
    std::string path = TempPath("fatal.log");
    State.LogFile = fopen(path.c_str(), "w");
    State.LogLevel = 3;
    State.BlockNumber = 17;
    int status = ExpectProcessEnd(
        [] { FatalError("GetRLE", "Illegal opcode (%ld) in Raster Metafile", 128); });
    EXPECT_EQ(status, -1);
    EXPECT_EQ(State.LogFile, nullptr);
    EXPECT_EQ(ReadWholeFile(path),
              "\nFatal error in routine \"GetRLE\"\n"
              "Error: Illegal opcode (128) in Raster Metafile\n"
              "Raster Metafile Block Number = 17\n");
    ASSERT_EQ(Headless().Boxes.size(), 1u);
    EXPECT_EQ(Headless().Boxes[0].Text, "Error: Illegal opcode (128) in Raster Metafile");
    EXPECT_EQ(Headless().Boxes[0].Title, "Kinaro Error");
    EXPECT_EQ(Headless().Boxes[0].Type, MB_OK | MB_ICONERROR);
    EXPECT_EQ(Headless().Boxes[0].Owner, nullptr);
}

TEST_F(DiagnosticsTest, FatalErrorBeforeAnyReadReportsBlockMinusOneAndLeavesStdoutOpen) {
    State.LogLevel = 1;
    State.LogFile = stdout;
    testing::internal::CaptureStdout();
    ExpectProcessEnd([] { FatalError("main", "Cannot open Raster Metafile \"%s\"", "gone.rm"); });
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(State.LogFile, stdout);
    EXPECT_EQ(out,
              "\nFatal error in routine \"main\"\n"
              "Error: Cannot open Raster Metafile \"gone.rm\"\n"
              "Raster Metafile Block Number = -1\n");
}

TEST_F(DiagnosticsTest, FatalErrorWithoutLogShowsOnlyTheBox) {
    ExpectProcessEnd([] { FatalError("main", "Cannot initialize graphics", 12345); });
    ASSERT_EQ(Headless().Boxes.size(), 1u);
    EXPECT_EQ(Headless().Boxes[0].Text, "Error: Cannot initialize graphics");
}

TEST_F(DiagnosticsTest, MessagesKeepLongTextsAndLargeNumbersWhole) {
    std::string name(1000, 'n');
    EXPECT_EQ(FormatErrorText("Cannot open Raster Metafile \"%s\"", name),
              "Error: Cannot open Raster Metafile \"" + name + "\"");
    EXPECT_EQ(FormatErrorText("Cannot allocate memory for image array (%ld)", 8589934592LL),
              "Error: Cannot allocate memory for image array (8589934592)");
    EXPECT_EQ(FormatErrorText("Too many images in Raster Metafile (MAX = %ld)\n\tSet", -1),
              "Error: Too many images in Raster Metafile (MAX = -1)\n\tSet");
}

TEST_F(DiagnosticsTest, CleanUpClosesTheMetafileAndEndsTheLogWithItsClosingLine) {
    std::string logPath = TempPath("cleanup.log");
    std::string rmPath = TempPath("cleanup.rm");
    fclose(fopen(rmPath.c_str(), "w"));
    State.MetafileStream = fopen(rmPath.c_str(), "rb");
    State.LogFile = fopen(logPath.c_str(), "w");
    State.LogLevel = 1;
    LogAt(0, "first\n");
    CleanUp(true);
    EXPECT_EQ(State.MetafileStream, nullptr);
    EXPECT_EQ(State.LogFile, nullptr);
    EXPECT_EQ(ReadWholeFile(logPath), "first\nClosing Log File.\n");
}

TEST_F(DiagnosticsTest, CleanUpLeavesTheLogOpenWhenAskedAndNeverClosesStdout) {
    std::string logPath = TempPath("keep.log");
    State.LogFile = fopen(logPath.c_str(), "w");
    State.LogLevel = 1;
    CleanUp(false);
    EXPECT_NE(State.LogFile, nullptr);
    fclose(State.LogFile);

    State.LogFile = stdout;
    CleanUp(true);
    EXPECT_EQ(State.LogFile, stdout);
}

TEST_F(DiagnosticsTest, InformationTexts) {
    EXPECT_EQ(UsageText().size(), 658u);
    EXPECT_EQ(UsageText().rfind("Usage: kinaro [-b [#]] [-d[#] log]", 0), 0u);
    EXPECT_EQ(ControlsText().rfind("Controls:\n", 0), 0u);
    EXPECT_NE(ControlsText().back(), '\n');
    // The About text has always fitted a 160-character buffer; keep it that way.
    EXPECT_LT(AboutText().size(), 160u);
    EXPECT_EQ(AboutText().rfind("Kinaro : version 1.62, ", 0), 0u);
}

TEST_F(DiagnosticsTest, UsageAndControlsBoxesTurnAwayASecondRequestWhileUp) {
    State.UsageShowing = 1;
    State.ControlsShowing = 1;
    ShowUsage();
    ShowControls();
    EXPECT_TRUE(Headless().Boxes.empty());

    State.UsageShowing = 0;
    State.ControlsShowing = 0;
    ShowUsage();
    ShowControls();
    ASSERT_EQ(Headless().Boxes.size(), 2u);
    EXPECT_EQ(State.UsageShowing, 0) << "the guard is cleared when the box closes";
    EXPECT_EQ(State.ControlsShowing, 0);
}

TEST_F(DiagnosticsTest, AboutBoxIsOwnedByTheMainWindowWhenThereIsOne) {
    static int fakeWindow;
    State.MainWindow = reinterpret_cast<HWND>(&fakeWindow);
    ShowAbout();
    State.MainWindow = nullptr;
    ShowAbout();
    ASSERT_EQ(Headless().Boxes.size(), 2u);
    EXPECT_EQ(Headless().Boxes[0].Owner, reinterpret_cast<HWND>(&fakeWindow));
    EXPECT_EQ(Headless().Boxes[1].Owner, nullptr);
    EXPECT_EQ(Headless().Boxes[0].Title, "Kinaro Info");
}
