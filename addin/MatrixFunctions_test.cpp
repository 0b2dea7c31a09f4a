// The add-in as Excel meets it: MatrixFunctions.xll loaded from beside this program into a
// stand-in Excel, opened, used from worksheet calls in the record layout of the running Excel,
// and closed. Runs under Excel "11.0" (Excel 4 records), "12.0" and "16.0" (Excel 12 records).
#include "ExcelStandIn.h"
#include "WinApi.h"

#ifndef _WIN32
#include "PlatformControl.h"
#endif

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using xlhost::ExcelStandIn;
using xlhost::Registration;
using xlhost::StatusEntry;
using xlhost::Value;

typedef int(XLCALL_STDCALL* AutoFunction)();
typedef void*(XLCALL_STDCALL* OneRecord)(void*);
typedef void*(XLCALL_STDCALL* RecordAndNumber)(void*, double);
typedef void*(XLCALL_STDCALL* TwoRecords)(void*, void*);

template <typename Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

struct AddIn {
    HMODULE module = nullptr;
    std::string path;
    AutoFunction open = nullptr;
    AutoFunction close = nullptr;
};

const AddIn& LoadedAddIn() {
    static const AddIn addIn = [] {
        AddIn loaded;
        loaded.module = LoadLibraryA(MATRIXFUNCTIONS_FILE);
        if (loaded.module == nullptr) return loaded;
        char path[MAX_PATH + 1] = {};
        GetModuleFileNameA(loaded.module, path, MAX_PATH);
        loaded.path = path;
        loaded.open = Export<AutoFunction>(loaded.module, "xlAutoOpen");
        loaded.close = Export<AutoFunction>(loaded.module, "xlAutoClose");
        return loaded;
    }();
    return addIn;
}

std::string AddInFolder() {
    const std::string& path = LoadedAddIn().path;
    return path.substr(0, path.rfind('\\'));
}

// "Path" as Windows keeps it; nothing when the variable does not exist.
void SetPathVariable(const std::optional<std::string>& value) {
#ifdef _WIN32
    SetEnvironmentVariableA("Path", value ? value->c_str() : nullptr);
#else
    std::vector<std::pair<std::string, std::string> > variables;
    if (value) variables.emplace_back("Path", *value);
    platform::ResetEnvironment(variables);
#endif
}

std::string PathVariable() {
    const DWORD size = GetEnvironmentVariableA("Path", nullptr, 0);
    std::string value(size, '\0');
    const DWORD length = GetEnvironmentVariableA("Path", &value[0], size);
    value.resize(length);
    return value;
}

// The eleven rows as Excel must receive them, in registration order.
struct ExpectedFunction {
    const char* procedure;
    const char* name;
    const char* help;
    const char* argumentText;
    const char* argumentKinds;  // 'Q' for a value record, 'B' for a number, after the result's 'Q'
    std::vector<const char*> argumentHelp;
};

const std::vector<ExpectedFunction>& Catalogue() {
    static const std::vector<ExpectedFunction> rows = {
        {"xlmtrx_Invert", "mtrx_Invert", " Performs the Matrix inversion ", "mtrx", "Q", {" Matrix to be inverted . "}},
        {"xlmtrx_Transpose", "mtrx_Transpose", " Performs the Matrix transpose ", "mtrx", "Q", {" input Matrix . "}},
        {"xlmtrx_Determinant",
         "mtrx_Determinant",
         " Calculates the determinant of the input Matrix ",
         "mtrx",
         "Q",
         {" input Matrix . "}},
        {"xlmtrx_Row",
         "mtrx_Row",
         " Returns the nth row of the input Matrix ",
         "mtrx, n",
         "QB",
         {" input Matrix . ", " row number . "}},
        {"xlmtrx_Column",
         "mtrx_Column",
         " Returns the nth column of the input Matrix ",
         "mtrx, n",
         "QB",
         {" input Matrix . ", " column number . "}},
        {"xlmtrx_LinEqSolve",
         "mtrx_LinEqSolve",
         " Performs the Matrix solve AX = Y. A = Input coefficient matrix. Y = RHS Vector. ",
         "coeffMtrx, rhsVector",
         "QQ",
         {" Input coefficient matrix . ", " RHS vector . "}},
        {"xlmtrx_Cholesky",
         "mtrx_Cholesky",
         " Performs the Cholesky Decomposition of the matrix. ",
         "mtrx",
         "Q",
         {" Input matrix . "}},
        {"xlmtrx_QRDecomposition_R",
         "mtrx_QRDecomposition_R",
         " Performs the QR Decomposition of the matrix. A = QR. Returns the R matrix. ",
         "mtrx",
         "Q",
         {" Input matrix . "}},
        {"xlmtrx_SVDDecomposition",
         "mtrx_SVDDecomposition",
         " Performs the SVD Decomposition of the m X n (where m >= n) matrix A. Input param = 1 will return m X m "
         "unary matrix, param = 2 will return m X n diagnal matrix and param = 3 will return n X n conjugate matrix "
         "of a unary matrix. ",
         "mtrx, param",
         "QB",
         {" Input matrix . ", " 1,2 or 3 . "}},
        {"xlmtrx_quickSort",
         "mtrx_quickSort",
         " Performs quick sort on the input array. Input param = 1 will sort the array in the ascending "
         "order.Param = 2 will sort in descending order. ",
         "mtrx, param",
         "QB",
         {" Input array . ", " 1 or 2 . "}},
        {"xlmtrx_EVDecomposition",
         "mtrx_EVDecomposition",
         " Performs the Eigen Value Decomposition of the symmetric m X m matrix A. mtrx = V * D * V'. Input param = "
         "1 will return matrix V and param = 2 will return diagnal matrix D. ",
         "mtrx, param",
         "QB",
         {" Input matrix . ", " 1 or 2 . "}},
    };
    return rows;
}

Value Matrix(std::int32_t rows, std::int32_t columns, const std::vector<double>& numbers) {
    std::vector<Value> elements;
    for (double number : numbers) elements.push_back(Value::number(number));
    return Value::array(rows, columns, elements);
}

// Within rounding; a red test prints what came back.
void ExpectNumbers(const Value& result, std::int32_t rows, std::int32_t columns, const std::vector<double>& expected,
                   bool ignoreSigns = false) {
    ASSERT_EQ(xlhost::Kind::Array, result.kind()) << result;
    ASSERT_EQ(rows, result.rows()) << result;
    ASSERT_EQ(columns, result.columns()) << result;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Value& element = result.elements()[i];
        ASSERT_EQ(xlhost::Kind::Number, element.kind()) << result;
        const double number = ignoreSigns ? std::fabs(element.number()) : element.number();
        EXPECT_NEAR(expected[i], number, 1e-12) << "element " << i << " of " << result;
    }
}

// The worksheet calls in one record layout: arguments built as Excel builds them, the result read
// as Excel reads it.
template <class Layout>
struct Sheet {
    using Arguments = xlhost::ArgumentList<Layout>;
    using Record = typename Layout::Record;

    static Value Result(void* record) {
        if (record == nullptr) return Value::invalid(0, "no result record");
        return xlhost::RecordCodec<Layout>::decode(*static_cast<Record*>(record));
    }
    static Value Call(OneRecord function, const Value& argument) {
        Arguments arguments{argument};
        return Result(function(arguments[0]));
    }
    static Value Call(RecordAndNumber function, const Value& argument, double number) {
        Arguments arguments{argument};
        return Result(function(arguments[0], number));
    }
    static Value Call(TwoRecords function, const Value& first, const Value& second) {
        Arguments arguments{first, second};
        return Result(function(arguments[0], arguments[1]));
    }
};

// Before any open there is nothing to release and no buffer to give back.
TEST(MatrixFunctionsBeforeOpen, CloseNeitherCallsExcelNorTouchesStandardError) {
    ASSERT_NE(nullptr, LoadedAddIn().close) << MATRIXFUNCTIONS_FILE " is not beside the test program";
    ExcelStandIn host("11.0");
#ifndef _WIN32
    // The module shares this program's C++ runtime here, so its std::cerr is ours.
    std::streambuf* const before = std::cerr.rdbuf();
    EXPECT_EQ(1, LoadedAddIn().close());
    EXPECT_EQ(before, std::cerr.rdbuf());
#else
    EXPECT_EQ(1, LoadedAddIn().close());
#endif
    EXPECT_TRUE(host.calls().empty()) << "close built a connection just to delete it";
}

class MatrixFunctionsAddIn : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, LoadedAddIn().module) << MATRIXFUNCTIONS_FILE " is not beside the test program";
        ASSERT_NE(nullptr, LoadedAddIn().open);
        ASSERT_NE(nullptr, LoadedAddIn().close);
        host_.setAddInPath(LoadedAddIn().path);
        host_.setExportLookup([](const std::string& procedure) {
            return GetProcAddress(LoadedAddIn().module, procedure.c_str()) != nullptr;
        });
        SetPathVariable(std::string("C:\\Windows"));
#ifndef _WIN32
        platform::AttachDebugger([this](const std::string& text) { debugger_.push_back(text); });
#endif
    }

    void TearDown() override {
        EXPECT_EQ(1, LoadedAddIn().close());
#ifndef _WIN32
        platform::DetachDebugger();
#endif
        EXPECT_EQ(0u, host_.checkForLeaks());
        EXPECT_TRUE(host_.faults().empty()) << host_.faults();
    }

    bool Excel12() const {
        return std::atoi(GetParam()) >= 12;
    }
    std::string RecordCode() const {
        return Excel12() ? "Q" : "P";
    }
    // A text the add-in built for Excel: under Excel 4 its count includes a closing zero byte.
    std::string BuiltText(const std::string& text) const {
        return Excel12() ? text : text + '\0';
    }

    template <class Function, class... Arguments>
    Value Call(const char* procedure, const Arguments&... arguments) {
        const auto function = Export<Function>(LoadedAddIn().module, procedure);
        if (function == nullptr) return Value::invalid(0, std::string("no export ") + procedure);
        return Excel12() ? Sheet<xlhost::Layout12>::Call(function, arguments...)
                         : Sheet<xlhost::Layout4>::Call(function, arguments...);
    }

    bool DebuggerSaw(const std::string& line) const {
        for (const std::string& text : debugger_)
            if (text == line + "\n") return true;
        return false;
    }

    ExcelStandIn host_{GetParam()};
    std::vector<std::string> debugger_;
};

TEST_P(MatrixFunctionsAddIn, OpenRegistersTheElevenFunctionsInTableOrderAsExcel4Values) {
    ASSERT_EQ(1, LoadedAddIn().open());

    const std::vector<Registration>& registrations = host_.registry().registrations();
    ASSERT_EQ(Catalogue().size(), registrations.size());
    for (std::size_t i = 0; i < registrations.size(); ++i) {
        const ExpectedFunction& expected = Catalogue()[i];
        const Registration& registration = registrations[i];
        SCOPED_TRACE(expected.name);
        std::string typeText = RecordCode();
        for (const char* kind = expected.argumentKinds; *kind != '\0'; ++kind)
            typeText += *kind == 'Q' ? RecordCode() : std::string(1, *kind);
        EXPECT_TRUE(registration.accepted()) << registration.rejection;
        EXPECT_EQ(xlhost::Layout::Excel4, registration.layout) << "registration goes through Excel4v";
        EXPECT_EQ(LoadedAddIn().path, registration.module());
        EXPECT_EQ(expected.procedure, registration.procedure());
        EXPECT_EQ(typeText, registration.typeText());
        EXPECT_EQ(expected.name, registration.functionName());
        EXPECT_EQ(Value::text(std::string(expected.name) + '\0'), registration.arguments.at(3))
            << "an Excel 4 text counting its closing zero byte, whatever the version";
        EXPECT_EQ(expected.argumentText, registration.argumentText());
        EXPECT_EQ(std::optional<double>(1.0), registration.macroType());
        EXPECT_EQ("MatrixFunctions", registration.category());
        EXPECT_EQ("", registration.shortcut());
        EXPECT_EQ("", registration.helpTopic());
        EXPECT_EQ(expected.help, registration.functionHelp());
        ASSERT_EQ(expected.argumentHelp.size(), registration.argumentHelpCount());
        for (std::size_t argument = 0; argument < expected.argumentHelp.size(); ++argument)
            EXPECT_EQ(expected.argumentHelp[argument], registration.argumentHelp(argument));
    }
#ifndef _WIN32
    // No refused registration and no argument name too long for the wizard was reported.
    for (const std::string& text : debugger_) {
        EXPECT_EQ(std::string::npos, text.find("XlfAbstractCmdDesc")) << text;
        EXPECT_EQ(std::string::npos, text.find("XlfArgDesc")) << text;
    }
#endif
}

// Excel's Add-in Manager asks for the name as soon as the file is chosen, before xlAutoOpen;
// Excel 2007 and later call the 12 form whatever layout the worksheet functions speak.
TEST_P(MatrixFunctionsAddIn, TheAddInManagerGetsTheNameBeforeTheAddInIsOpened) {
    typedef XLOPER*(XLCALL_STDCALL * ManagerInfo)(XLOPER*);
    typedef XLOPER12*(XLCALL_STDCALL * ManagerInfo12)(XLOPER12*);
    const auto info = Export<ManagerInfo>(LoadedAddIn().module, "xlAddInManagerInfo");
    const auto info12 = Export<ManagerInfo12>(LoadedAddIn().module, "xlAddInManagerInfo12");
    ASSERT_NE(nullptr, info);
    ASSERT_NE(nullptr, info12);
    xlhost::Argument4 one(Value::number(1));
    xlhost::Argument12 one12(Value::number(1));
    EXPECT_EQ(Value::text("Matrix Functions"), Sheet<xlhost::Layout4>::Result(info(one.get())));
    EXPECT_EQ(Value::text("Matrix Functions"), Sheet<xlhost::Layout12>::Result(info12(one12.get())));
    xlhost::Argument12 two(Value::number(2));
    EXPECT_EQ(Value::error(xlerrValue), Sheet<xlhost::Layout12>::Result(info12(two.get())));

    ASSERT_EQ(1, LoadedAddIn().open());
    EXPECT_EQ(Catalogue().size(), host_.registry().registrations().size());
}

TEST_P(MatrixFunctionsAddIn, OpenShowsProgressInTheStatusBarAndGivesItBack) {
    ASSERT_EQ(1, LoadedAddIn().open());
    const std::string path = BuiltText(LoadedAddIn().path);
    const std::string registering = BuiltText("Registering library...");
    const std::vector<StatusEntry> expected = {
        {true, std::u16string(path.begin(), path.end())},
        {true, std::u16string(registering.begin(), registering.end())},
        {false, u""},
    };
    EXPECT_EQ(expected, host_.statusLog());
    EXPECT_FALSE(host_.statusBar().has_value());
}

TEST_P(MatrixFunctionsAddIn, OpenAppendsTheAddInFolderToPathEachTime) {
    ASSERT_EQ(1, LoadedAddIn().open());
    EXPECT_EQ("C:\\Windows;" + AddInFolder(), PathVariable());
#ifndef _WIN32
    EXPECT_TRUE(DebuggerSaw("..\\..\\src\\XlOpenClose(56): std::cerr redirected to MSVC debugger"));
    EXPECT_TRUE(DebuggerSaw("..\\..\\src\\XlOpenClose(101):  PATH set successfully "));
#endif

    // A second open repeats everything: the folder again, every function again.
    ASSERT_EQ(1, LoadedAddIn().open());
    EXPECT_EQ("C:\\Windows;" + AddInFolder() + ";" + AddInFolder(), PathVariable());
    EXPECT_EQ(2 * Catalogue().size(), host_.registry().registrations().size());
    EXPECT_EQ(Catalogue()[0].name, host_.registry().registrations()[Catalogue().size()].functionName());
}

TEST_P(MatrixFunctionsAddIn, AMissingPathBecomesTheFolderAfterASemicolon) {
    SetPathVariable(std::nullopt);
    ASSERT_EQ(1, LoadedAddIn().open());
    EXPECT_EQ(";" + AddInFolder(), PathVariable());
}

TEST_P(MatrixFunctionsAddIn, APathLongerThanTheFirstReadIsReadWholeAndExtended) {
    for (const std::size_t length : {4095u, 4096u, 6000u}) {
        const std::string longPath = "C:\\" + std::string(length - 3, 'p');
        SetPathVariable(longPath);
        ASSERT_EQ(1, LoadedAddIn().open());
        EXPECT_EQ(longPath + ";" + AddInFolder(), PathVariable()) << "a Path of " << length << " characters";
    }
}

TEST_P(MatrixFunctionsAddIn, CloseRestoresStandardErrorAndReleasesTheConnection) {
#ifndef _WIN32
    // The module shares this program's C++ runtime here, so its std::cerr is ours.
    std::streambuf* const before = std::cerr.rdbuf();
    ASSERT_EQ(1, LoadedAddIn().open());
    ASSERT_EQ(1, LoadedAddIn().open());
    EXPECT_NE(before, std::cerr.rdbuf());
    ASSERT_EQ(1, LoadedAddIn().close());
    EXPECT_EQ(before, std::cerr.rdbuf()) << "two opens, one close: std::cerr must get its own buffer back";
    EXPECT_TRUE(DebuggerSaw("..\\..\\src\\XlOpenClose(125): Releasing ressources"));
#else
    ASSERT_EQ(1, LoadedAddIn().open());
    ASSERT_EQ(1, LoadedAddIn().close());
#endif
    // Closed: the next call into the add-in builds a fresh connection, which asks for the version.
    host_.clearCalls();
    const Value determinant = Call<OneRecord>("xlmtrx_Determinant", Matrix(2, 2, {4, 7, 2, 6}));
    ASSERT_EQ(xlhost::Kind::Number, determinant.kind()) << determinant;
    EXPECT_NEAR(10.0, determinant.number(), 1e-12);
    EXPECT_EQ(1u, host_.callsTo(xlfGetWorkspace).size());
}

TEST_P(MatrixFunctionsAddIn, EveryWorksheetFunctionAnswersAfterOpen) {
    ASSERT_EQ(1, LoadedAddIn().open());
    const Value square = Matrix(2, 2, {4, 7, 2, 6});

    ExpectNumbers(Call<OneRecord>("xlmtrx_Invert", square), 2, 2, {0.6, -0.7, -0.2, 0.4});
    ExpectNumbers(Call<OneRecord>("xlmtrx_Transpose", Matrix(2, 3, {1, 2, 3, 4, 5, 6})), 3, 2, {1, 4, 2, 5, 3, 6});
    const Value determinant = Call<OneRecord>("xlmtrx_Determinant", square);
    ASSERT_EQ(xlhost::Kind::Number, determinant.kind()) << determinant;
    EXPECT_NEAR(10.0, determinant.number(), 1e-12);
    ExpectNumbers(Call<RecordAndNumber>("xlmtrx_Row", Matrix(3, 2, {1, 2, 3, 4, 5, 6}), 2.0), 1, 2, {3, 4});
    ExpectNumbers(Call<RecordAndNumber>("xlmtrx_Column", Matrix(3, 2, {1, 2, 3, 4, 5, 6}), 2.0), 3, 1, {2, 4, 6});
    ExpectNumbers(Call<TwoRecords>("xlmtrx_LinEqSolve", Matrix(2, 2, {2, 0, 0, 4}), Matrix(2, 1, {2, 8})), 2, 1,
                  {1, 2});
    ExpectNumbers(Call<OneRecord>("xlmtrx_Cholesky", Matrix(2, 2, {4, 2, 2, 3})), 2, 2, {2, 0, 1, std::sqrt(2.0)});
    // R is fixed up to the sign of each row: RᵀR = AᵀA = {{25, 20}, {20, 25}}.
    ExpectNumbers(Call<OneRecord>("xlmtrx_QRDecomposition_R", Matrix(2, 2, {3, 0, 4, 5})), 2, 2, {5, 4, 0, 3}, true);
    ExpectNumbers(Call<RecordAndNumber>("xlmtrx_SVDDecomposition", Matrix(2, 2, {1, 0, 0, 1}), 2.0), 2, 2,
                  {1, 0, 0, 1});
    EXPECT_EQ(Value::text(BuiltText("Invalid value of param")),
              Call<RecordAndNumber>("xlmtrx_SVDDecomposition", Matrix(2, 2, {1, 0, 0, 1}), 4.0));
    ExpectNumbers(Call<RecordAndNumber>("xlmtrx_quickSort", Matrix(3, 1, {3, 1, 2}), 1.0), 3, 1, {1, 2, 3});
    ExpectNumbers(Call<RecordAndNumber>("xlmtrx_quickSort", Matrix(1, 3, {3, 1, 2}), 2.0), 3, 1, {3, 2, 1});
    ExpectNumbers(Call<RecordAndNumber>("xlmtrx_EVDecomposition", Matrix(2, 2, {2, 0, 0, 1}), 2.0), 2, 2, {1, 0, 0, 2});
}

// A column of 300 numbers transposed: Excel 12 and later take the whole row, an Excel 4 grid 255.
TEST_P(MatrixFunctionsAddIn, ATransposedRowKeepsTheColumnsItsExcelHas) {
    ASSERT_EQ(1, LoadedAddIn().open());
    std::vector<double> numbers(300);
    for (std::size_t i = 0; i < numbers.size(); ++i) numbers[i] = static_cast<double>(i);
    const std::int32_t kept = Excel12() ? 300 : 255;
    ExpectNumbers(Call<OneRecord>("xlmtrx_Transpose", Matrix(300, 1, numbers)), 1, kept,
                  std::vector<double>(numbers.begin(), numbers.begin() + kept));
}

INSTANTIATE_TEST_SUITE_P(Excel11, MatrixFunctionsAddIn, testing::Values("11.0"));
INSTANTIATE_TEST_SUITE_P(Excel12, MatrixFunctionsAddIn, testing::Values("12.0"));
INSTANTIATE_TEST_SUITE_P(Excel16, MatrixFunctionsAddIn, testing::Values("16.0"));

}  // namespace
