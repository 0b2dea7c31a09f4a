// MatrixToolbox.xll as Excel meets it, loaded from beside this program into the stand-in Excel in
// both record layouts: registered in its category, every call answered as numpy and scipy answer
// (toolbox_cases.txt, written by toolbox_oracle_cases.py), failures as error values, and MTX.WHY
// saying why.
#include "ArgumentRecord.h"
#include "ExcelStandIn.h"
#include "HostLayouts.h"
#include "TypeText.h"
#include "WinApi.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using xlhost::Kind;
using xlhost::Layout12;
using xlhost::Layout4;
using xlhost::Value;

#if defined(_WIN32) && defined(__i386__)
// Calls the stdcall `function` with `count` pointer arguments on a stack whose address is
// `remainder` modulo 16 at the call, as 32-bit Excel may leave it (4-byte alignment only).
extern "C" void* CallOnMisalignedStack(void* function, void* const* arguments, int count, int remainder);
asm(R"(
    .text
    .globl _CallOnMisalignedStack
_CallOnMisalignedStack:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    andl $-16, %esp
    leal (%ecx,%ecx,1), %eax
    addl %eax, %eax
    addl 20(%ebp), %eax
    negl %eax
    andl $15, %eax
    subl %eax, %esp
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  call *8(%ebp)
    leal -4(%ebp), %esp
    popl %esi
    popl %ebp
    ret
)");
#endif

template <typename Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

HMODULE Module() {
    static const HMODULE module = LoadLibraryA(MATRIXTOOLBOX_FILE);
    return module;
}

// A row-major block of numbers, as the cases file and the stand-in's arrays both hold them.
struct Numbers {
    std::int32_t rows = 0, columns = 0;
    std::vector<double> elements;
};

struct Case {
    std::string label, function, compare;
    double rtol = 0;
    std::vector<Value> arguments;
    Numbers want;
    int wantError = 0;
    bool wide = false;  // an argument or the answer wider than an Excel 4 sheet
};

Numbers ReadNumbers(std::istream& in) {
    Numbers block;
    in >> block.rows >> block.columns;
    block.elements.resize(std::size_t(block.rows) * std::size_t(block.columns));
    for (double& x : block.elements) in >> x;
    return block;
}

Value ArrayOf(const Numbers& block) {
    std::vector<Value> elements;
    for (double x : block.elements) elements.push_back(Value::number(x));
    return Value::array(block.rows, block.columns, std::move(elements));
}

std::vector<Case> Cases() {
    std::ifstream file("toolbox_cases.txt");
    std::vector<Case> cases;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream in(line);
        std::string word;
        in >> word;
        if (word == "case") {
            cases.emplace_back();
            in >> cases.back().label >> cases.back().function >> cases.back().rtol >> cases.back().compare;
            continue;
        }
        Case& current = cases.back();
        if (word == "matrix") {
            const Numbers block = ReadNumbers(in);
            current.wide = current.wide || block.columns > 255;
            current.arguments.push_back(ArrayOf(block));
        } else if (word == "number") {
            double x = 0;
            in >> x;
            current.arguments.push_back(Value::number(x));
        } else if (word == "text") {
            in >> word;
            current.arguments.push_back(Value::text(word));
        } else if (word == "missing") {
            current.arguments.push_back(Value::missing());
        } else if (word == "want") {
            in >> word;
            if (word == "error") {
                in >> current.wantError;
            } else {
                current.want = ReadNumbers(in);
                current.wide = current.wide || current.want.columns > 255;
            }
        }
    }
    return cases;
}

// The result as numbers, or why it is not numbers.
std::string AsNumbers(const Value& result, Numbers& out) {
    if (result.kind() == Kind::Number) {
        out = {1, 1, {result.number()}};
        return "";
    }
    if (result.kind() != Kind::Array) return "not numbers";
    out = {result.rows(), result.columns(), {}};
    for (const Value& element : result.elements()) {
        if (element.kind() != Kind::Number) return "an element that is not a number";
        out.elements.push_back(element.number());
    }
    return "";
}

Numbers TimesTransposed(const Numbers& x) {
    Numbers p{x.rows, x.rows, std::vector<double>(std::size_t(x.rows) * std::size_t(x.rows))};
    for (std::int32_t i = 0; i < x.rows; ++i)
        for (std::int32_t j = 0; j < x.rows; ++j)
            for (std::int32_t k = 0; k < x.columns; ++k)
                p.elements[std::size_t(i) * std::size_t(x.rows) + std::size_t(j)] +=
                    x.elements[std::size_t(i) * std::size_t(x.columns) + std::size_t(k)] *
                    x.elements[std::size_t(j) * std::size_t(x.columns) + std::size_t(k)];
    return p;
}

// Frobenius distance relative to the answer's size (at least 1).
double RelativeDistance(const Numbers& got, const Numbers& want) {
    double difference = 0, size = 0;
    for (std::size_t i = 0; i < want.elements.size(); ++i) {
        difference += (got.elements[i] - want.elements[i]) * (got.elements[i] - want.elements[i]);
        size += want.elements[i] * want.elements[i];
    }
    return std::sqrt(difference) / std::max(1.0, std::sqrt(size));
}

template <class L>
class MatrixToolbox : public testing::Test {
public:
    void SetUp() override {
        ASSERT_NE(nullptr, Module()) << MATRIXTOOLBOX_FILE " is not beside the test program";
        char path[MAX_PATH + 1] = {};
        GetModuleFileNameA(Module(), path, MAX_PATH);
        host_.setAddInPath(path);
        host_.setExportLookup(
            [](const std::string& procedure) { return GetProcAddress(Module(), procedure.c_str()) != nullptr; });
        ASSERT_EQ(1, Export<int(XLCALL_STDCALL*)()>(Module(), "xlAutoOpen")());
    }

    void TearDown() override {
        EXPECT_EQ(1, Export<int(XLCALL_STDCALL*)()>(Module(), "xlAutoClose")());
        EXPECT_EQ(0u, host_.checkForLeaks());
        EXPECT_TRUE(host_.faults().empty()) << host_.faults();
    }

    // The worksheet function by its registered name, with as many parameters as it registered:
    // those not given are left out, as Excel passes them.
    Value Call(const std::string& function, std::vector<Value> given) {
        const xlhost::Registration* registration = host_.registry().find(function);
        if (registration == nullptr) return Value::invalid(0, "not registered: " + function);
        std::size_t parameters = xlhost::parseTypeText(registration->typeText()).typeText->arguments.size();
        if (given.size() > parameters) return Value::invalid(0, "too many arguments for " + function);
        given.resize(parameters, Value::missing());
        xlhost::ArgumentList<L> records(given);
        void* const address = reinterpret_cast<void*>(GetProcAddress(Module(), registration->procedure().c_str()));
        using R = void*;
        void* result = nullptr;
#if defined(_WIN32) && defined(__i386__)
        if (misalignment_ != 0) {
            std::vector<void*> pointers;
            for (std::size_t i = 0; i < parameters; ++i) pointers.push_back(records[i]);
            result = CallOnMisalignedStack(address, pointers.data(), static_cast<int>(parameters), misalignment_);
            parameters = 0;
        }
#endif
        switch (parameters) {
            case 0:
                break;
#define TOOLBOX_CALL(n, ...)                                                                                   \
    case n:                                                                                                    \
        result = reinterpret_cast<void*(XLCALL_STDCALL*)(__VA_ARGS__)>(address)(TOOLBOX_RECORDS_##n(records)); \
        break;
#define TOOLBOX_RECORDS_1(r) r[0]
#define TOOLBOX_RECORDS_2(r) TOOLBOX_RECORDS_1(r), r[1]
#define TOOLBOX_RECORDS_3(r) TOOLBOX_RECORDS_2(r), r[2]
#define TOOLBOX_RECORDS_6(r) TOOLBOX_RECORDS_3(r), r[3], r[4], r[5]
#define TOOLBOX_RECORDS_7(r) TOOLBOX_RECORDS_6(r), r[6]
                TOOLBOX_CALL(1, R)
                TOOLBOX_CALL(2, R, R)
                TOOLBOX_CALL(3, R, R, R)
                TOOLBOX_CALL(6, R, R, R, R, R, R)
                TOOLBOX_CALL(7, R, R, R, R, R, R, R)
            default:
                return Value::invalid(0, "no call of " + std::to_string(parameters) + " parameters");
        }
        if (result == nullptr) return Value::invalid(0, "no result record");
        return xlhost::RecordCodec<L>::decode(*static_cast<typename L::Record*>(result));
    }

    xlhost::ExcelStandIn host_{xltest::VersionText<L>()};
    int misalignment_ = 0;  // the stack's address modulo 16 at each call, where it can be chosen
};

using Layouts = testing::Types<Layout12, Layout4>;
TYPED_TEST_SUITE(MatrixToolbox, Layouts, xltest::LayoutNames);

TYPED_TEST(MatrixToolbox, RegistersEveryFunctionInItsCategory) {
    const auto& registrations = this->host_.registry().registrations();
    EXPECT_EQ(21u, registrations.size());
    for (const xlhost::Registration& registration : registrations) {
        EXPECT_TRUE(registration.accepted()) << registration.procedure() << ": " << registration.rejection;
        EXPECT_EQ("Matrix Toolbox", registration.category()) << registration.procedure();
        EXPECT_EQ(0u, registration.functionName().rfind("MTX.", 0)) << registration.functionName();
    }
}

template <class L>
void ExpectNumpysAnswers(MatrixToolbox<L>& test, bool misaligned) {
    const std::vector<Case> cases = Cases();
    ASSERT_GT(cases.size(), 100u) << "toolbox_cases.txt is not in the working folder";
    for (const Case& c : cases) {
        if (c.wide && L::layout == xlhost::Layout::Excel4) continue;  // wider than its sheets
        test.misalignment_ = misaligned ? 4 * (1 + static_cast<int>(&c - cases.data()) % 3) : 0;
        SCOPED_TRACE(c.function + " of " + c.label);
        const Value result = test.Call(c.function, c.arguments);
        if (c.wantError != 0) {
            EXPECT_EQ(Value::error(c.wantError), result);
            continue;
        }
        Numbers got;
        const std::string problem = AsNumbers(result, got);
        ASSERT_EQ("", problem) << result;
        if (c.compare == "projector") got = TimesTransposed(got);
        ASSERT_EQ(c.want.rows, got.rows);
        ASSERT_EQ(c.want.columns, got.columns);
        EXPECT_LE(RelativeDistance(got, c.want), c.rtol);
    }
}

TYPED_TEST(MatrixToolbox, AnswersAsNumpyAndScipyDo) {
    ExpectNumpysAnswers(*this, false);
}

#if defined(_WIN32) && defined(__i386__)
// Every call made with the stack 4, 8 or 12 bytes off 16-byte alignment, in turn: code that
// kept SSE2 data on a stack it assumed aligned would fault.
TYPED_TEST(MatrixToolbox, AnswersAlikeOnAStackAlignedTo4BytesOnly) {
    ExpectNumpysAnswers(*this, true);
}
#endif

TYPED_TEST(MatrixToolbox, ComplexEigenvaluesAreExcelComplexTexts) {
    const auto texts = [](std::vector<std::string> column) {
        std::vector<Value> cells;
        for (const std::string& text : column) cells.push_back(Value::text(text));
        return Value::array(static_cast<std::int32_t>(cells.size()), 1, cells);
    };
    const auto square = [](double a, double b, double c, double d) {
        return Value::array(2, 2, {Value::number(a), Value::number(b), Value::number(c), Value::number(d)});
    };
    EXPECT_EQ(texts({"i", "-i"}), this->Call("MTX.EIG", {square(0, -1, 1, 0)}));
    EXPECT_EQ(texts({"3+4i", "3-4i"}), this->Call("MTX.EIG", {square(3, -4, 4, 3)}));
    EXPECT_EQ(texts({"0.1", "-2.5E-20"}), this->Call("MTX.EIG", {square(0.1, 0, 0, -2.5e-20)}));
}

TYPED_TEST(MatrixToolbox, ResultsWiderThanTheRecordsHoldAreRefusedWhole) {
    const Value row = Value::array(1, 200, std::vector<Value>(200, Value::number(1)));
    const Value pair = Value::array(1, 2, {Value::number(1), Value::number(2)});
    const Value result = this->Call("MTX.KRON", {row, pair});
    if (TypeParam::layout == xlhost::Layout::Excel4) {
        EXPECT_EQ(Value::error(xlerrNum), result);
    } else {
        ASSERT_EQ(Kind::Array, result.kind()) << result;
        EXPECT_EQ(400, result.columns());
    }
}

TYPED_TEST(MatrixToolbox, WhyNamesTheReasonOfAnError) {
    const Value singular = Value::array(2, 2, {Value::number(1), Value::number(2), Value::number(2), Value::number(4)});
    const Value blank = Value::array(1, 2, {Value::number(1), Value::nil()});
    const struct {
        std::vector<Value> arguments;
        std::string reason;
    } cases[] = {
        {{Value::text("MTX.INV"), singular}, "MTX.INV #NUM!: inverse: the matrix is singular to working precision"},
        {{Value::text("inv"), blank},
         "MTX.INV #VALUE!: matrix is not a matrix of numbers: an empty, text or error cell"},
        {{Value::text("MTX.SVD"), singular, Value::text("X")}, "MTX.SVD #VALUE!: part is none of 1 to 3 or U, S, V"},
        {{Value::text("MTX.DET"), singular}, "no error"},
        {{Value::text("MTX.NOPE"), singular}, "MTX.WHY: no toolbox function is named \"MTX.NOPE\""},
    };
    for (const auto& c : cases) {
        const Value text = this->Call("MTX.WHY", c.arguments);
        ASSERT_EQ(Kind::Text, text.kind()) << text;
        const std::u16string& units = text.text();
        std::string narrow(units.begin(), units.end());
        EXPECT_EQ(c.reason, narrow);
    }
}

}  // namespace
