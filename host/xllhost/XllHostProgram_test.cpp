// xllhost end to end, driving the tests' own add-in (XllHostProbe) as Excel would.
#include "XllHostProgram.h"

#include "BuiltinFunctions.h"
#include "WinApi.h"
#include "WithoutWindows.h"
#ifndef _WIN32
#include "PlatformControl.h"
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace xlhost {
namespace {

std::string programFolder() {
    char path[1024] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
#ifdef _WIN32
    const std::string program = path;
#else
    const std::string program = platform::LinuxPath(path);
#endif
    return program.substr(0, program.find_last_of("/\\"));
}

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

class XllHost : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("xllhost_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string write(const std::string& name, const std::string& text) {
        std::ofstream(folder / name, std::ios::binary) << text;
        return (folder / name).string();
    }
    Outcome run(std::vector<std::string> arguments) {
        std::ostringstream out, err;
        const int status = runXllHost(arguments, out, err);
        return Outcome{status, out.str(), err.str()};
    }
    Outcome sheet(const std::string& text, std::vector<std::string> options = {}) {
        options.push_back(probe);
        options.push_back(write("book.sheet", text));
        return run(options);
    }

    const std::string probe = programFolder() + "/" + XLLHOST_PROBE_FILE;
    std::filesystem::path folder;
};

TEST_F(XllHost, VersionIsTheProjectsThreeNumbersAndNeedsNoAddIn) {
    const Outcome version = run({"--version"});
    EXPECT_EQ(version.status, xllhostSucceeded) << version.err;
    EXPECT_TRUE(std::regex_match(version.out, std::regex("xllhost [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version.out;
}

// The probe exports no xlAddInManagerInfo: the list starts with its functions, under no name.
TEST_F(XllHost, ListShowsEachFunctionAsTheInsertFunctionDialogDoesAndWhatExcelRefused) {
    const Outcome listed = run({"--list", probe});
    EXPECT_EQ(listed.status, xllhostSucceeded) << listed.err;
    EXPECT_EQ(listed.out,
              "Category: Probe\n"
              "  probe_Describe(value)    [probe_Describe12, type QQ]\n"
              "       What reaches the add-in \n"
              "      value:  any value \n"
              "  probe_Grid(rows, columns)    [probe_Grid12, type QBB]\n"
              "       A block of numbers \n"
              "      rows:  row count \n"
              "  probe_Sum(cells)    [probe_Sum12, type QU]\n"
              "       Sum through xlCoerce \n"
              "      cells:  a range \n"
              "  probe_Leak()    [probe_Leak12, type Q]\n"
              "       Keeps Excel's memory \n"
              "Commands:\n"
              "  probe_Mark    [probe_Mark, type J]\n"
              "Refused: probe_Missing [probe_Missing, type QQ]: the add-in exports no probe_Missing\n");
    // Excel 11 has no Excel 12 records: the add-in registers its Excel 4 forms.
    const Outcome old = run({"--excel", "11", "--list", probe});
    EXPECT_NE(old.out.find("probe_Describe(value)    [probe_Describe4, type PP]"), std::string::npos) << old.out;
}

TEST_F(XllHost, ArgumentsReachTheAddInAsExcelPassesThem) {
    const std::string text =
        "A1:B2 = 4, 2; 2, 3\n"
        "A3 = \"t\", , TRUE\n"
        "D1 = probe_Describe(A1:B2)\n"
        "D2 = probe_Describe(A1)\n"
        "D3 = probe_Describe(B3)\n"
        "D4 = PROBE_DESCRIBE()\n"
        "D5 = probe_Describe(\"x\"\"y\")\n"
        "D6 = probe_Sum(A1:B2)\n"
        "D7 = probe_Grid(A1:B2, 1)\n"
        "D8 = probe_Grid(#N/A, 1)\n"
        "D9 = probe_Grid(\"1\", C3)\n"
        "D10 = probe_Grid(1, )\n"
        "D11 = no_such_function(A1)\n";
    for (const char* version : {"12", "11"}) {
        const Outcome evaluated = sheet(text, {"--excel", version});
        EXPECT_EQ(evaluated.status, xllhostSucceeded) << evaluated.err;
        EXPECT_EQ(evaluated.out,
                  "D1 = probe_Describe(A1:B2)\n     multi 2x2: num 4, num 2, num 2, num 3\n"
                  "D2 = probe_Describe(A1)\n     num 4\n"
                  "D3 = probe_Describe(B3)\n     nil\n"
                  "D4 = PROBE_DESCRIBE()\n     missing\n"
                  "D5 = probe_Describe(\"x\"\"y\")\n     str x\"y\n"
                  "D6 = probe_Sum(A1:B2)\n     11\n"           // a reference, read back through xlCoerce
                  "D7 = probe_Grid(A1:B2, 1)\n     #VALUE!\n"  // a block is no number
                  "D8 = probe_Grid(#N/A, 1)\n     #N/A\n"
                  "D9 = probe_Grid(\"1\", C3)\n     11\n"  // a number text and TRUE become numbers
                  "D10 = probe_Grid(1, )\n     #NUM!\n"    // a missing double is 0; a null result
                  "D11 = no_such_function(A1)\n     #NAME?\n")
            << "Excel " << version;
    }
}

TEST_F(XllHost, FormulasNestCallsOperatorsAndBuiltInFunctions) {
    const Outcome evaluated = sheet(
        "A1:B2 = 4, 2; 2, 3\n"
        "D1 = probe_Describe(INDEX(A1:B2, 2, 0))\n"  // a reference stays one (a U argument)
        "D2 = probe_Describe(A1:B2 * 2)\n"
        "D3 = =ROUND(MAX(ABS(MMULT(A1:B2, MINVERSE(A1:B2)) - MUNIT(2))), 12)\n"
        "D4 = =probe_Sum(A1:B2) & \" in all\"\n"
        "D5 = =C9 + IF(A1 > 3, 1)\n"
        "D6 = =TRANSPOSE(A1:B1)\n"
        "D8 = =A9\n");
    EXPECT_EQ(evaluated.status, xllhostSucceeded) << evaluated.err;
    EXPECT_EQ(evaluated.out,
              "D1 = probe_Describe(INDEX(A1:B2, 2, 0))\n     multi 1x2: num 2, num 3\n"
              "D2 = probe_Describe(A1:B2 * 2)\n     multi 2x2: num 8, num 4, num 4, num 6\n"
              "D3 = =ROUND(MAX(ABS(MMULT(A1:B2, MINVERSE(A1:B2)) - MUNIT(2))), 12)\n     0\n"
              "D4 = =probe_Sum(A1:B2) & \" in all\"\n     11 in all\n"
              "D5 = =C9 + IF(A1 > 3, 1)\n     1\n"
              "D6:D7 = =TRANSPOSE(A1:B1)\n     4\n     2\n"
              "D8 = =A9\n     0\n");
    for (const BuiltinFunction& builtin : builtinFunctions()) {
        EXPECT_TRUE(std::regex_search(xllhostHelp, std::regex(std::string("\\s") + builtin.name + "[,.]")))
            << builtin.name << " is missing from --help";
    }
}

TEST_F(XllHost, ACommandRunsOnALineOfItsOwnAndShowsWhatItDid) {
    const std::string text = "B1 = probe_Describe(A1)\nrun probe_mark\nB2 = probe_Describe(A1)\n";
    for (const char* version : {"12", "11"}) {
        const Outcome ran = sheet(text, {"--excel", version});
        EXPECT_EQ(ran.status, xllhostSucceeded) << ran.err;
        EXPECT_EQ(ran.out,
                  "B1 = probe_Describe(A1)\n     nil\n"
                  "run probe_mark\n     set A1 = \"marked\"\n     alert: Marked\n"
                  "B2 = probe_Describe(A1)\n     str marked\n")
            << "Excel " << version;
        EXPECT_EQ(ran.err, "") << "the alert is part of the command's output";
    }
    // The sheet at the end: B1 was recalculated after the command set the cell it reads.
    EXPECT_EQ(sheet(text, {"--csv"}).out, "\"marked\",\"str marked\"\n,\"str marked\"\n");
}

TEST_F(XllHost, CircularReferencesShowRefAreNamedOnStandardErrorAndExitFour) {
    const Outcome ran = sheet("A1 = probe_Sum(B1)\nB1 = probe_Sum(A1)\nC1 = probe_Sum(C1)\nD1 = probe_Sum(E1)\n");
    EXPECT_EQ(ran.status, xllhostCircularReference);
    EXPECT_EQ(ran.out,
              "A1 = probe_Sum(B1)\n     #REF!\nB1 = probe_Sum(A1)\n     #REF!\nC1 = probe_Sum(C1)\n     #REF!\n"
              "D1 = probe_Sum(E1)\n     0\n");
    const std::string path = (folder / "book.sheet").string();
    EXPECT_EQ(ran.err, "xllhost: " + path +
                           ":1: circular reference: A1 (line 1), B1 (line 2) read each other; they show #REF!\n" +
                           "xllhost: " + path + ":3: circular reference: C1 reads itself; it shows #REF!\n");
}

TEST_F(XllHost, AFunctionExcelRefusedShowsNameAndSaysWhy) {
    const Outcome refused = sheet("A1 = probe_missing(1)\n");
    EXPECT_EQ(refused.status, xllhostSucceeded);
    EXPECT_EQ(refused.out, "A1 = probe_missing(1)\n     #NAME?\n");
    EXPECT_EQ(refused.err, "xllhost: " + (folder / "book.sheet").string() +
                               ":1: probe_missing was not registered: the add-in exports no probe_Missing\n");
}

TEST_F(XllHost, ResultsSpillOrShowSpillAndTheCsvHoldsTheWholeSheet) {
    write("data.csv", "1,\"a b\"\n");
    const std::string text =
        "A1 = @data.csv\n"
        "C1 = probe_Grid(2, 3)\n"
        "A3 = probe_Grid(2, 2)\n"
        "B4 = 0.1\n"
        "A6 = probe_Describe(E2)\n";
    const Outcome blocks = sheet(text);
    EXPECT_EQ(blocks.status, xllhostSucceeded) << blocks.err;
    EXPECT_EQ(blocks.out,
              "C1:E2 = probe_Grid(2, 3)\n     11  12  13\n     21  22  23\n"
              "A3 = probe_Grid(2, 2)\n     #SPILL!  (the 2 x 2 result has no room to spill)\n"
              "A6 = probe_Describe(E2)\n     num 23\n");
    const Outcome csv = sheet(text, {"--csv"});
    EXPECT_EQ(csv.out,
              "1,\"a b\",11,12,13\n"
              ",,21,22,23\n"
              "#SPILL!,,,,\n"
              ",0.1,,,\n"
              ",,,,\n"
              "\"num 23\",,,,\n");
}

TEST_F(XllHost, NumbersShowInTheGeneralFormatOrAtFullPrecisionOnRequest) {
    const std::string text = "A1:B1 = 0.1, 0.2\nC1 = probe_Sum(A1:B1)\n";
    EXPECT_EQ(sheet(text).out, "C1 = probe_Sum(A1:B1)\n     0.3\n");
    const Outcome full = sheet(text, {"--full"});
    EXPECT_EQ(full.out, "C1 = probe_Sum(A1:B1)\n     0.30000000000000004\n");
    EXPECT_EQ(full.status, xllhostSucceeded);
}

TEST_F(XllHost, ALeakOfExcelMemoryIsReportedWithExitStatusOne) {
    const Outcome leaked = sheet("A1 = probe_Leak()\n");
    EXPECT_EQ(leaked.status, xllhostAddInFaults);
    EXPECT_EQ(leaked.out, "A1 = probe_Leak()\n     1\n");
    EXPECT_NE(leaked.err.find("leak: "), std::string::npos) << leaked.err;
    EXPECT_NE(leaked.err.find("from xlGetName"), std::string::npos) << leaked.err;
}

TEST_F(XllHost, DebugShowsStatusBarTextsAndWorksheetCalls) {
    const Outcome debugged = sheet("A1 = probe_Grid(1, 2)\n", {"--debug"});
    EXPECT_EQ(debugged.status, xllhostSucceeded);
    EXPECT_NE(debugged.err.find("status: Registering probe...\nstatus: (cleared)\n"), std::string::npos)
        << debugged.err;
    EXPECT_NE(debugged.err.find("call: probe_Grid12 [QBB](1, 2) -> {11, 12}\n"), std::string::npos) << debugged.err;
#ifndef _WIN32
    EXPECT_NE(debugged.err.find("debug: probe: opening\n"), std::string::npos) << debugged.err;
    EXPECT_NE(debugged.err.find("debug: probe: closing\n"), std::string::npos) << debugged.err;
#endif
    EXPECT_EQ(sheet("A1 = probe_Grid(1, 2)\n").err, "");
}

TEST_F(XllHost, WithoutAMainWindowItSaysSoOnceAndEvaluatesTheSheetAsUsual) {
    const std::string text = "A1:B1 = 0.1, 0.2\nC1 = probe_Sum(A1:B1)\nC2 = probe_Grid(2, 2)\n";
    const Outcome usual = sheet(text);
    Outcome windowless;
    testsupport::withoutWindows([&] { windowless = sheet(text); });
    EXPECT_EQ(windowless.status, xllhostSucceeded);
    EXPECT_EQ(windowless.out, usual.out);
    EXPECT_EQ(windowless.err,
              "xllhost: cannot create a window of class XLMAIN, error 5; playing Excel without a main "
              "window (xlGetHwnd fails, no function wizard)\n");
}

TEST_F(XllHost, BadInputGivesOneMessageWithFileAndLineAndExitStatusTwo) {
    const std::string book = (folder / "book.sheet").string();
    const auto expectBadInput = [](const Outcome& result, const std::string& message) {
        EXPECT_EQ(result.status, xllhostBadInput);
        EXPECT_EQ(result.err, "xllhost: " + message + "\n");
        EXPECT_EQ(result.out, "");
    };
    expectBadInput(sheet("A1 = 1\nB1 = probe_Grid(A1:B\n"), book + ":2: 'A1:B' is no range on the sheet");
    expectBadInput(sheet("A1 = probe_Grid(1, 2, 3)\n"), book + ":1: probe_Grid takes 2 arguments, not 3");
    expectBadInput(sheet("A1 = probe_Describe(1, )\n"), book + ":1: probe_Describe takes 1 argument, not 2");
    expectBadInput(
        sheet("A1 = probe_Mark()\n"),
        book + ":1: probe_Mark is a command, which no cell can call; run it on a line of its own: run probe_Mark");
    expectBadInput(sheet("run probe_Grid\n"), book + ":1: probe_Grid is a worksheet function, not a command");
    expectBadInput(sheet("run probe_Nothing\n"), book + ":1: probe_Nothing is no command the add-in registered");
    expectBadInput(run({probe, (folder / "none.sheet").string()}),
                   (folder / "none.sheet").string() + ": cannot read the sheet file");
    expectBadInput(run({(folder / "none.xll").string(), "--list"}),
                   (folder / "none.xll").string() + ": no such add-in file");
    const std::string notAnAddIn = write("plain.sheet", "A1 = 1\n");
    EXPECT_EQ(run({notAnAddIn, "--list"}).status, xllhostBadInput);
    expectBadInput(run({"--excel", "x12", probe, "--list"}),
                   "--excel takes a version number such as 11, 12 or 16, not 'x12' (xllhost --help explains)");
    for (const char* threads : {"0", "1025", "two", ""})
        expectBadInput(run({"--threads", threads, probe, "--list"}),
                       std::string("--threads takes a number of threads from 1 to 1024, not '") + threads +
                           "' (xllhost --help explains)");
    for (const char* seconds : {"0", "-1", "nan", "inf", "1e9", "2s", ""})
        expectBadInput(run({"--async-timeout", seconds, probe, "--list"}),
                       std::string("--async-timeout takes a number of seconds above 0, at most 86400, not '") +
                           seconds + "' (xllhost --help explains)");
    EXPECT_EQ(run({"--async-timeout=0.25", probe, "--list"}).status, xllhostSucceeded);
    expectBadInput(run({probe, "--list", "--threads"}),
                   "--threads needs a number of threads (xllhost --help explains)");
    expectBadInput(run({probe}), "give the add-in file and the sheet file (xllhost --help explains)");
    expectBadInput(run({"--frobnicate"}), "unknown option --frobnicate (xllhost --help explains)");
    const Outcome help = run({"--help"});
    EXPECT_EQ(help.status, xllhostSucceeded);
    EXPECT_EQ(help.out, xllhostHelp);
}

}  // namespace
}  // namespace xlhost
