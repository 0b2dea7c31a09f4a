#include "ExcelStandIn.h"

#include "XlCall.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

namespace xlhost {
namespace {

template <class Printable>
std::string printed(const Printable& printable) {
    std::ostringstream out;
    out << printable;
    return out.str();
}

std::string printed(const std::vector<CallRecord>& calls) {
    std::ostringstream text;
    for (const CallRecord& call : calls) text << call << '\n';
    return text.str();
}

class Versions : public ::testing::TestWithParam<const char*> {};

TEST_P(Versions, GetWorkspaceTwoGivesTheConfiguredVersionInBothLayouts) {
    ExcelStandIn host(GetParam());
    Arguments4 two4{Value::integer(2)};
    XLOPER text4{};
    ASSERT_EQ(host.excel4(Entry::Direct, xlfGetWorkspace, &text4, 1, two4.pointers()), xlretSuccess);
    EXPECT_EQ(host.takeResult(text4), Value::text(GetParam()));
    Arguments12 two12{Value::number(2)};
    XLOPER12 text12{};
    ASSERT_EQ(host.excel12(Entry::Direct, xlfGetWorkspace, &text12, 1, two12.pointers()), xlretSuccess);
    EXPECT_EQ(host.takeResult(text12), Value::text(GetParam()));
    EXPECT_TRUE(host.faults().empty()) << host.faults();
}
INSTANTIATE_TEST_SUITE_P(ExcelVersions, Versions, ::testing::Values("12.0", "16.0", "11.0", "14.0"));

TEST(ExcelStandIn, TheVersionCanChangeAndDecidesTheMajorVersion) {
    ExcelStandIn host;
    EXPECT_EQ(host.majorVersion(), 12);
    host.setVersion("16.0");
    EXPECT_EQ(host.majorVersion(), 16);
}

TEST(ExcelStandIn, StatusBarShowsTextsAndIsGivenBackWithOneFalse) {
    ExcelStandIn host;
    Arguments4 show{Value::boolean(true), Value::text("Registering library...")};
    Arguments4 clear{Value::boolean(false)};
    EXPECT_EQ(host.excel4(Entry::Direct, xlcMessage, nullptr, 2, show.pointers()), xlretSuccess);
    EXPECT_EQ(host.statusBar(), std::u16string(u"Registering library..."));
    EXPECT_EQ(host.excel4(Entry::Direct, xlcMessage, nullptr, 1, clear.pointers()), xlretSuccess);
    EXPECT_EQ(host.statusBar(), std::nullopt);
    EXPECT_EQ(host.statusLog(), (std::vector<StatusEntry>{{true, u"Registering library..."}, {false, u""}}));
    EXPECT_EQ(host.calls().back().arguments, std::vector<Value>{Value::boolean(false)}) << printed(host.calls());
}

TEST(ExcelStandIn, StatusBarCallsOfTheWrongShapeAreRefused) {
    ExcelStandIn host;
    Arguments12 noText{Value::boolean(true)};
    Arguments12 notBoolean{Value::number(1), Value::text("x")};
    EXPECT_EQ(host.excel12(Entry::Direct, xlcMessage, nullptr, 1, noText.pointers()), xlretInvCount);
    EXPECT_EQ(host.excel12(Entry::Direct, xlcMessage, nullptr, 2, notBoolean.pointers()), xlretInvXloper);
    EXPECT_TRUE(host.statusLog().empty());
}

TEST(ExcelStandIn, GetNameGivesTheConfiguredPath) {
    ExcelStandIn host;
    host.setAddInPath("D:\\Addins\\matrix.xll");
    XLOPER12 name{};
    ASSERT_EQ(host.excel12(Entry::Direct, xlGetName, &name, 0, nullptr), xlretSuccess);
    EXPECT_EQ(host.takeResult(name), Value::text("D:\\Addins\\matrix.xll"));
}

TEST(ExcelStandIn, UnknownFunctionsAndWrongCountsAreRefusedAndLogged) {
    ExcelStandIn host("11.0");
    XLOPER result{};
    EXPECT_EQ(host.excel4(Entry::Direct, 4242, &result, 0, nullptr), xlretInvXlfn);
    // The result holds an error an add-in may free without harm; the stand-in says what it lacks.
    EXPECT_EQ(host.takeResult(result), Value::error(xlerrValue));
    EXPECT_EQ(host.notices().count(NoticeKind::NotModelled), 1u) << host.notices();
    host.clearCalls();
    EXPECT_EQ(host.excel4(Entry::Direct, xlGetName, &result, -1, nullptr), xlretInvCount);
    Arguments4 one{Value::nil()};
    EXPECT_EQ(host.excel4(Entry::Direct, xlGetHwnd, &result, 1, one.pointers()), xlretInvCount);
    // Excel before 12 takes at most 30 arguments per call; Excel 12 takes 255.
    Arguments4 many(std::vector<Value>(31, Value::text("x")));
    EXPECT_EQ(host.excel4(Entry::Direct, xlfRegister, &result, 31, many.pointers()), xlretInvCount);
    host.setVersion("12.0");
    EXPECT_EQ(host.excel4(Entry::Direct, xlfRegister, &result, 31, many.pointers()), xlretSuccess);
    ASSERT_EQ(host.calls().size(), 4u);
    EXPECT_EQ(host.calls().front().function, xlGetName);
    EXPECT_TRUE(host.faults().empty()) << host.faults();
}

TEST(ExcelStandIn, UnreadableArgumentsAreFaultsAndRefused) {
    ExcelStandIn host;
    XLOPER12 broken{};
    broken.xltype = xltypeStr;
    XLOPER12* argv[] = {&broken, nullptr};
    XLOPER12 result{};
    EXPECT_EQ(host.excel12(Entry::Direct, xlCoerce, &result, 1, argv), xlretInvXloper);
    EXPECT_EQ(host.excel12(Entry::Direct, xlCoerce, &result, 2, argv), xlretInvXloper);
    EXPECT_EQ(host.faults().count(FaultKind::MalformedArgument), 2u) << host.faults();
    EXPECT_EQ(host.calls().front().arguments.front().kind(), Kind::Invalid);
    host.clearFaults();
}

TEST(ExcelStandIn, AnExcelBefore12HasNoMdCallBack12AndSaysSoOnceHoweverOftenItIsCalled) {
    ExcelStandIn host("11.0");
    XLOPER12 name{};
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(host.excel12(Entry::MdCallBack12, xlGetName, &name, 0, nullptr), xlretFailed);
    EXPECT_EQ(name.xltype, 0u);
    // The add-in did nothing Excel 2003 would hold against it: no fault, one notice.
    EXPECT_TRUE(host.faults().empty()) << host.faults();
    ASSERT_EQ(host.notices().all().size(), 1u) << host.notices();
    EXPECT_EQ(host.notices().count(NoticeKind::MissingEntry), 24u);
    EXPECT_NE(printed(host.notices()).find("(24 times)"), std::string::npos) << host.notices();
}

TEST(ExcelStandIn, OnlyOneRunsAtATime) {
    ExcelStandIn host;
    EXPECT_EQ(ExcelStandIn::current(), &host);
    EXPECT_THROW(ExcelStandIn second, std::logic_error);
    EXPECT_EQ(ExcelStandIn::current(), &host);
}

// ---- the callbacks add-ins commonly make

struct Answered {
    int code;
    Value value;  // nil when the call left the result record as it was
};

// One call through Excel 12 records; whatever memory the result holds goes back with xlFree.
Answered ask(ExcelStandIn& host, int function, const std::vector<Value>& arguments = {}) {
    Arguments12 list(arguments);
    XLOPER12 result{};
    result.xltype = xltypeNil;
    const int code = host.excel12(Entry::Direct, function, &result, list.count(), list.pointers());
    return Answered{code, host.takeResult(result)};
}

TEST(Callbacks, CallerSheetNameAndSheetIdDescribeWhereTheAddInRuns) {
    ExcelStandIn host;
    const SheetId sheet = host.sheets().activeSheet();
    const Area b3{2, 2, 1, 1};
    EXPECT_EQ(ask(host, xlfCaller).value, Value::error(xlerrRef)) << "Excel itself, as in xlAutoOpen";
    {
        const ExcelStandIn::CallerScope cell(host, Caller::cellFormula(b3));
        const Answered caller = ask(host, xlfCaller);
        EXPECT_EQ(caller.value, Value::reference(sheet, b3));
        EXPECT_EQ(ask(host, xlSheetNm, {caller.value}).value, Value::text("[Book1]Sheet1"));
        {
            const ExcelStandIn::CallerScope command(host, Caller::command());
            EXPECT_EQ(ask(host, xlfCaller).value, Value::error(xlerrRef));
        }
        EXPECT_EQ(ask(host, xlfCaller).value, Value::reference(sheet, b3)) << "the cell comes back";
    }
    // The sheet alone: a reference whose area list is null, safe to free.
    const Answered id = ask(host, xlSheetId);
    EXPECT_EQ(id.value, Value::reference(sheet, std::vector<Area>()));
    EXPECT_EQ(ask(host, xlSheetId, {Value::text("[BOOK1.XLSX]sheet1")}).value, id.value);
    EXPECT_EQ(ask(host, xlSheetNm, {id.value}).value, Value::text("[Book1]Sheet1"));
    EXPECT_EQ(ask(host, xlSheetNm, {Value::sheetReference(b3)}).value, Value::text("[Book1]Sheet1"));
    EXPECT_EQ(ask(host, xlSheetId, {Value::text("Sheet9")}).code, xlretFailed);
    EXPECT_EQ(ask(host, xlSheetNm, {Value::reference(sheet + 1, b3)}).code, xlretFailed);
    EXPECT_TRUE(host.faults().empty()) << host.faults();
    EXPECT_TRUE(host.notices().empty()) << host.notices();
}

TEST(Callbacks, NamesHoldValuesAndReferencesAndRegisteredFunctionsStandForTheirIds) {
    ExcelStandIn host;
    host.sheets().setCell(host.sheets().activeSheet(), 0, 0, Value::number(7));
    EXPECT_EQ(ask(host, xlfSetName, {Value::text("Rate"), Value::number(0.25)}).value, Value::boolean(true));
    EXPECT_EQ(ask(host, xlfSetName, {Value::text("Corner"), Value::sheetReference(Area{0, 0, 0, 0})}).value,
              Value::boolean(true));
    EXPECT_EQ(host.nameValue(u"rate"), Value::number(0.25)) << "names ignore case";
    EXPECT_EQ(host.nameValue(u"CORNER"), Value::number(7)) << "a reference gives its cell's value";
    host.sheets().setCell(host.sheets().activeSheet(), 0, 0, Value::number(8));
    EXPECT_EQ(host.nameValue(u"Corner"), Value::number(8)) << "now, not when defined";
    EXPECT_EQ(ask(host, xlfSetName, {Value::text("Rate")}).value, Value::boolean(true));
    EXPECT_EQ(ask(host, xlfSetName, {Value::text("Rate")}).value, Value::boolean(false)) << "already gone";
    EXPECT_EQ(host.nameValue(u"Rate"), std::nullopt);
    EXPECT_EQ(ask(host, xlfSetName, {Value::text("2nd"), Value::number(1)}).value, Value::error(xlerrValue));
    EXPECT_EQ(ask(host, xlfSetName, {Value::number(3), Value::number(1)}).value, Value::error(xlerrValue));
}

TEST(Callbacks, XlSetFillsCellsAsExcelDoesButOnlyForCommands) {
    ExcelStandIn host;
    SheetModel& sheets = host.sheets();
    const SheetId sheet = sheets.activeSheet();
    const auto cells = [&](const Area& area) { return *sheets.valueOf(sheet, area); };
    // From a cell's formula Excel refuses to change cells.
    {
        const ExcelStandIn::CallerScope cell(host, Caller::cellFormula(Area{9, 9, 9, 9}));
        EXPECT_EQ(ask(host, xlSet, {Value::sheetReference(Area{0, 0, 0, 0}), Value::number(1)}).code, xlretInvXlfn);
    }
    EXPECT_EQ(sheets.cell(sheet, 0, 0), Value::nil());
    const ExcelStandIn::CallerScope command(host, Caller::command());
    const Area block{0, 1, 0, 2};
    EXPECT_EQ(ask(host, xlSet, {Value::sheetReference(block), Value::integer(4)}).code, xlretSuccess);
    EXPECT_EQ(cells(block), Value::array(2, 3, std::vector<Value>(6, Value::number(4))));
    const Value row = Value::array(1, 2, {Value::text("a"), Value::boolean(true)});
    ask(host, xlSet, {Value::reference(sheet, block), row});
    EXPECT_EQ(cells(block), Value::array(2, 3,
                                         {Value::text("a"), Value::boolean(true), Value::error(xlerrNA),
                                          Value::text("a"), Value::boolean(true), Value::error(xlerrNA)}))
        << "a row repeats down; a short one leaves #N/A";
    const Value column = Value::array(2, 1, {Value::number(1), Value::nil()});
    ask(host, xlSet, {Value::sheetReference(block), column});
    EXPECT_EQ(cells(block), Value::array(2, 3,
                                         {Value::number(1), Value::number(1), Value::number(1), Value::nil(),
                                          Value::nil(), Value::nil()}))
        << "a column repeats right; nil clears";
    ask(host, xlSet, {Value::sheetReference(Area{0, 0, 0, 0})});
    EXPECT_EQ(sheets.cell(sheet, 0, 0), Value::nil()) << "no value clears";
    ASSERT_EQ(host.cellsSet().size(), 4u);
    EXPECT_EQ(host.cellsSet()[1].area, block);
    EXPECT_EQ(ask(host, xlSet, {Value::number(1), Value::number(1)}).code, xlretInvXloper);
}

TEST(Callbacks, AlertsAreLoggedAsTextsAndAnsweredOk) {
    ExcelStandIn host;
    EXPECT_EQ(ask(host, xlcAlert, {Value::text("Thank you"), Value::integer(2)}).value, Value::boolean(true));
    EXPECT_EQ(ask(host, xlcAlert, {Value::number(1.5), Value::integer(1)}).value, Value::boolean(true));
    EXPECT_EQ(ask(host, xlcAlert, {Value::error(xlerrNA)}).value, Value::error(xlerrNA));
    EXPECT_EQ(host.alerts(), (std::vector<std::u16string>{u"Thank you", u"1.5"}));
}

TEST(Callbacks, WorkspaceDocumentAndInstanceQuestions) {
    ExcelStandIn host("14.0");
    host.setAddInPath("C:\\AddIns\\probe.xll");
    EXPECT_EQ(ask(host, xlfGetWorkspace, {Value::number(1)}).value.text().substr(0, 8), u"Windows ");
    EXPECT_EQ(ask(host, xlfGetWorkspace, {Value::number(4)}).value, Value::boolean(false));
    EXPECT_EQ(ask(host, xlfGetWorkspace, {Value::number(44)}).value, Value::error(xlerrNA)) << "nothing registered";
    EXPECT_EQ(ask(host, xlfGetDocument, {Value::number(76)}).value, Value::text("[Book1]Sheet1"));
    EXPECT_EQ(ask(host, xlfGetDocument, {Value::number(88)}).value, Value::text("Book1"));
    EXPECT_EQ(ask(host, xlStack).value, Value::integer(0x10000));
    XLOPER stack{};
    ASSERT_EQ(host.excel4(Entry::Direct, xlStack, &stack, 0, nullptr), xlretSuccess);
    EXPECT_GT(decode(stack).integer(), 0) << "positive in 16 bits";
    EXPECT_EQ(ask(host, xlAbort, {Value::boolean(false)}).value, Value::boolean(false));
    const Answered instance = ask(host, xlGetInstPtr);
    ASSERT_EQ(instance.code, xlretSuccess);
    EXPECT_EQ(instance.value, Value::handle(reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr))));
    EXPECT_EQ(ask(host, xlGetInst).code, sizeof(void*) == 8 ? xlretFailed : xlretSuccess) << "too narrow on 64 bits";
    host.setVersion("12.0");
    EXPECT_EQ(ask(host, xlGetInstPtr).code, xlretInvXlfn) << "new in Excel 2010";
    EXPECT_TRUE(host.notices().empty()) << host.notices();
    // A question the stand-in does not model fails and says so, once per question.
    for (int i = 0; i < 2; ++i) EXPECT_EQ(ask(host, xlfGetWorkspace, {Value::number(13)}).code, xlretFailed);
    ASSERT_EQ(host.notices().all().size(), 1u) << host.notices();
    EXPECT_EQ(host.notices().all().front().times, 2u);
    EXPECT_TRUE(host.faults().empty()) << host.faults();
}

TEST(Callbacks, UdfAndEvaluateGoThroughWhatRunsTheAddIn) {
    ExcelStandIn host;
    Arguments4 registration{Value::text(ExcelStandIn::defaultAddInPath), Value::text("fn_Twice"), Value::text("BB"),
                            Value::text("Twice")};
    XLOPER id{};
    ASSERT_EQ(host.excel4(Entry::Excel4v, xlfRegister, &id, registration.count(), registration.pointers()),
              xlretSuccess);
    const double registerId = decode(id).number();
    EXPECT_EQ(ask(host, xlUDF, {Value::text("twice"), Value::number(2)}).code, xlretFailed) << "no one to call it";
    std::vector<Value> passed;
    Caller calledAs;
    host.setFunctionCaller([&](const Registration& function, const std::vector<Value>& arguments) {
        passed = arguments;
        calledAs = host.caller();
        return Value::text(function.procedure());
    });
    EXPECT_EQ(ask(host, xlUDF, {Value::text("TWICE"), Value::number(2)}).value, Value::text("fn_Twice"));
    EXPECT_EQ(passed, std::vector<Value>{Value::number(2)});
    EXPECT_EQ(calledAs.kind, Caller::Kind::Function);
    EXPECT_EQ(calledAs.registerId, registerId);
    EXPECT_EQ(ask(host, xlUDF, {Value::number(registerId)}).value, Value::text("fn_Twice"));
    EXPECT_EQ(ask(host, xlUDF, {Value::text("Thrice")}).value, Value::error(xlerrName));
    EXPECT_EQ(host.nameValue(u"Twice"), Value::number(registerId)) << "the function's hidden name";

    EXPECT_EQ(ask(host, xlfEvaluate, {Value::text("=1")}).code, xlretFailed) << "no formula reader";
    host.setFormulaReader([](const std::u16string& formula) -> std::optional<Value> {
        if (formula == u"=1") return Value::number(1);
        return std::nullopt;
    });
    EXPECT_EQ(ask(host, xlfEvaluate, {Value::text("=1")}).value, Value::number(1));
    const Answered unread = ask(host, xlfEvaluate, {Value::text("=1+")});
    EXPECT_EQ(unread.code, xlretFailed);
    EXPECT_EQ(unread.value, Value::error(xlerrValue));
    EXPECT_EQ(host.notices().count(NoticeKind::NotModelled), 3u) << host.notices();
}

TEST(Callbacks, MenusAndToolbarsAsTheGenericTemplateUsesThem) {
    ExcelStandIn host;
    const Value menu =
        Value::array(2, 2, {Value::text("&Probe"), Value::nil(), Value::text("&Dance"), Value::text("fDance")});
    const auto getBar = [&] {
        return ask(host, xlfGetBar, {Value::number(10), Value::text("Probe"), Value::number(0)}).value;
    };
    EXPECT_EQ(getBar(), Value::error(xlerrNA)) << "not there yet";
    EXPECT_EQ(ask(host, xlfAddMenu, {Value::number(10), menu}).value, Value::number(10))
        << "after the 9 built-in menus";
    EXPECT_EQ(getBar(), Value::number(10));
    EXPECT_EQ(ask(host, xlfDeleteMenu, {Value::number(10), Value::text("probe")}).value, Value::boolean(true));
    EXPECT_EQ(getBar(), Value::error(xlerrNA));
    EXPECT_EQ(ask(host, xlfAddToolbar, {Value::text("Probe bar")}).value, Value::boolean(true));
    EXPECT_EQ(ask(host, xlfDeleteToolbar, {Value::text("Probe bar")}).value, Value::boolean(true));
    EXPECT_EQ(ask(host, xlfDeleteToolbar, {Value::text("Probe bar")}).value, Value::error(xlerrValue));
    EXPECT_TRUE(host.notices().empty()) << host.notices();
}

// ---- the function registry

std::vector<Value> registration(const char* procedure, const char* typeText, double macroType,
                                std::vector<const char*> argumentHelp) {
    std::vector<Value> values{Value::text(ExcelStandIn::defaultAddInPath),
                              Value::text(procedure),
                              Value::text(typeText),
                              Value::text(std::string(procedure).substr(2)),
                              Value::text("mtrx"),
                              Value::number(macroType),
                              Value::text("MatrixFunctions"),
                              Value::text(""),
                              Value::text(""),
                              Value::text("Inverts a matrix")};
    for (const char* help : argumentHelp) values.push_back(Value::text(help));
    return values;
}

Value registerThrough4(ExcelStandIn& host, const std::vector<Value>& values) {
    Arguments4 arguments(values);
    XLOPER id{};
    EXPECT_EQ(host.excel4(Entry::Excel4v, xlfRegister, &id, arguments.count(), arguments.pointers()), xlretSuccess);
    return decode(id);
}

TEST(FunctionRegistry, RecordsEveryArgumentInOrderAndHandsBackAnId) {
    ExcelStandIn host("12.0");
    const auto values = registration("xlmtrx_Invert", "QQ", 1, {" Matrix to be inverted . "});
    const Value id = registerThrough4(host, values);
    ASSERT_EQ(id.kind(), Kind::Number) << id;
    ASSERT_EQ(host.registry().registrations().size(), 1u);
    const Registration& recorded = host.registry().registrations().front();
    EXPECT_EQ(recorded.arguments, values);
    EXPECT_EQ(recorded.layout, Layout::Excel4);
    EXPECT_EQ(recorded.procedure(), "xlmtrx_Invert");
    EXPECT_EQ(recorded.functionName(), "mtrx_Invert");
    EXPECT_EQ(recorded.typeText(), "QQ");
    EXPECT_EQ(recorded.macroType(), 1.0);
    EXPECT_EQ(recorded.argumentHelpCount(), 1u);
    EXPECT_EQ(recorded.argumentHelp(0), " Matrix to be inverted . ");
    EXPECT_EQ(host.registry().find("mtrx_Invert"), &recorded);
    EXPECT_TRUE(host.registry().isActive(id.number()));
}

TEST(FunctionRegistry, RegisteringAgainGivesTheSameIdAndUnregisterRetiresIt) {
    ExcelStandIn host("16.0");
    const Value id = registerThrough4(host, registration("xlmtrx_Transpose", "PP", 1, {"m"}));
    EXPECT_EQ(registerThrough4(host, registration("xlmtrx_Transpose", "PP", 0, {"m"})), id);
    EXPECT_NE(registerThrough4(host, registration("xlmtrx_Column", "PPB", 1, {"m", "c"})), id);
    Arguments12 unregister{id};
    XLOPER12 done{};
    ASSERT_EQ(host.excel12(Entry::Direct, xlfUnregister, &done, 1, unregister.pointers()), xlretSuccess);
    EXPECT_EQ(decode(done), Value::boolean(true));
    EXPECT_FALSE(host.registry().isActive(id.number()));
    ASSERT_EQ(host.excel12(Entry::Direct, xlfUnregister, &done, 1, unregister.pointers()), xlretSuccess);
    EXPECT_EQ(decode(done), Value::boolean(false));
}

TEST(FunctionRegistry, RefusesWhatThatExcelWouldRefuse) {
    ExcelStandIn host("11.0");
    host.setExportLookup([](const std::string& procedure) { return procedure != "xlmtrx_Missing"; });
    EXPECT_EQ(registerThrough4(host, registration("xlmtrx_Invert", "QQ", 1, {})), Value::error(xlerrValue));
    EXPECT_EQ(registerThrough4(host, registration("xlmtrx_Invert", "PC%", 1, {})), Value::error(xlerrValue));
    EXPECT_EQ(registerThrough4(host, registration("xlmtrx_Invert", "PP$", 1, {})), Value::error(xlerrValue));
    EXPECT_EQ(registerThrough4(host, registration("xlmtrx_Missing", "PP", 1, {})), Value::error(xlerrValue));
    EXPECT_EQ(registerThrough4(host, registration("xlmtrx_Invert", "P!P", 1, {})), Value::error(xlerrValue));
    auto otherModule = registration("xlmtrx_Invert", "PP", 1, {});
    otherModule[0] = Value::text("C:\\elsewhere.xll");
    EXPECT_EQ(registerThrough4(host, otherModule), Value::error(xlerrValue));
    auto numberAsName = registration("xlmtrx_Invert", "PP", 1, {});
    numberAsName[3] = Value::number(3);
    EXPECT_EQ(registerThrough4(host, numberAsName), Value::error(xlerrValue));
    for (const Registration& refused : host.registry().registrations()) {
        EXPECT_FALSE(refused.accepted());
        EXPECT_FALSE(refused.rejection.empty());
    }
    EXPECT_EQ(registerThrough4(host, registration("xlmtrx_Invert", "PPB!", 1, {})).kind(), Kind::Number);
}

TEST(FunctionRegistry, MacroTypesAreConvertedAsRegisterConvertsThemAndCommandsAreKeptApart) {
    ExcelStandIn host("12.0");
    auto textType = registration("xlmtrx_Invert", "QQ", 1, {});
    textType[5] = Value::text("1");  // as Microsoft's own template registers
    EXPECT_EQ(registerThrough4(host, textType).kind(), Kind::Number);
    auto command = registration("xlmtrx_Transpose", "J", 1, {});
    command[5] = Value::text(" 2 ");
    EXPECT_EQ(registerThrough4(host, command).kind(), Kind::Number);
    auto hidden = registration("xlmtrx_Column", "QQ", 1, {});
    hidden[5] = Value::boolean(false);
    EXPECT_EQ(registerThrough4(host, hidden).kind(), Kind::Number);
    auto absent = registration("xlmtrx_Row", "QQ", 1, {});
    absent.erase(absent.begin() + 5, absent.end());
    EXPECT_EQ(registerThrough4(host, absent).kind(), Kind::Number);
    // A macro type that is no number, or not one of 0, 1 and 2, is refused with #VALUE!, the call
    // itself succeeding (registerThrough4 checks the code).
    for (const Value& bad : {Value::text("one"), Value::text("3"), Value::error(xlerrNA)}) {
        auto refused = registration("xlmtrx_Determinant", "QQ", 1, {});
        refused[5] = bad;
        EXPECT_EQ(registerThrough4(host, refused), Value::error(xlerrValue)) << bad;
    }
    const FunctionRegistry& registry = host.registry();
    EXPECT_EQ(registry.findFunction("MTRX_INVERT"), &registry.registrations()[0]);
    EXPECT_EQ(registry.findFunction("mtrx_Transpose"), nullptr) << "a command is no worksheet function";
    EXPECT_EQ(registry.findCommand("mtrx_transpose"), &registry.registrations()[1]);
    EXPECT_EQ(registry.registrations()[2].macroType(), 0.0);
    EXPECT_EQ(registry.registrations()[3].macroType(), 1.0);
    EXPECT_EQ(registry.findById(*registry.registrations()[3].id), &registry.registrations()[3]);
}

TEST(FunctionRegistry, TextsCountingTheirClosingZeroReadAsCStrings) {
    ExcelStandIn host("11.0");
    std::vector<Value> values = registration("xlmtrx_Invert", "PP", 1, {" Matrix to be inverted . "});
    for (Value& value : values)
        if (value.kind() == Kind::Text) value = Value::text(value.narrowText() + std::string(1, '\0'));
    EXPECT_EQ(registerThrough4(host, values).kind(), Kind::Number);
    const Registration& recorded = host.registry().registrations().back();
    EXPECT_EQ(recorded.arguments, values);
    EXPECT_EQ(recorded.procedure(), "xlmtrx_Invert");
    EXPECT_EQ(recorded.argumentHelp(0), " Matrix to be inverted . ");
    Arguments4 show{Value::boolean(true), Value::text(std::string("Done\0", 5))};
    ASSERT_EQ(host.excel4(Entry::Direct, xlcMessage, nullptr, 2, show.pointers()), xlretSuccess);
    EXPECT_EQ(host.statusBar(), std::u16string(u"Done"));
    EXPECT_EQ(host.statusLog().back().text, std::u16string(u"Done", 5));
}

TEST(FunctionRegistry, TypeTextsFollowTheVersion) {
    EXPECT_EQ(typeTextProblem("QQ", 12), std::nullopt);
    EXPECT_EQ(typeTextProblem("QUC%B!$", 12), std::nullopt);
    EXPECT_NE(typeTextProblem("Q", 11), std::nullopt);
    EXPECT_NE(typeTextProblem("", 12), std::nullopt);
    EXPECT_NE(typeTextProblem("P%", 12), std::nullopt);
    EXPECT_NE(typeTextProblem("PZ", 12), std::nullopt);
    EXPECT_NE(typeTextProblem("P" + std::string(31, 'B'), 11), std::nullopt);
    EXPECT_EQ(typeTextProblem("P" + std::string(30, 'B'), 11), std::nullopt);
}

// xlAsyncReturn: each open handle's result taken once, from any thread; a row of handles with a
// row of results taken together; an unknown or answered handle refused with FALSE.
TEST(Callbacks, AsyncReturnTakesEachOpenHandleOnce) {
    ExcelStandIn host("16.0");
    AsyncReturns& calls = host.asyncReturns();
    const std::uintptr_t first = calls.open(), second = calls.open(), third = calls.open();
    const auto give = [&](Value handles, Value results) {
        Answered answered{xlretFailed, Value::nil()};
        std::thread([&] { answered = ask(host, xlAsyncReturn, {std::move(handles), std::move(results)}); }).join();
        EXPECT_EQ(answered.code, xlretSuccess);
        return answered.value == Value::boolean(true);
    };
    const Value pair = Value::array(1, 2, {Value::handle(second), Value::handle(third)});
    const struct {
        Value handles, results;
        bool taken;
    } cases[] = {
        {Value::handle(first), Value::number(7), true},
        {Value::handle(first), Value::number(8), false},        // answered already
        {Value::handle(99), Value::number(1), false},           // never given
        {Value::number(2), Value::number(1), false},            // no handle at all
        {pair, Value::array(1, 1, {Value::number(1)}), false},  // rows that do not match
        {pair, Value::array(1, 2, {Value::text("b"), Value::number(3)}), true},
    };
    for (const auto& c : cases) EXPECT_EQ(give(c.handles, c.results), c.taken) << c.handles << " " << c.results;
    const auto arrived = calls.arrived(std::chrono::steady_clock::now());
    ASSERT_EQ(arrived.size(), 3u);
    EXPECT_EQ(arrived[0], std::make_pair(first, Value::number(7)));
    EXPECT_EQ(arrived[1], std::make_pair(second, Value::text("b")));
    EXPECT_EQ(arrived[2], std::make_pair(third, Value::number(3)));
    EXPECT_TRUE(calls.arrived(std::chrono::steady_clock::now() + std::chrono::milliseconds(20)).empty());
    const std::uintptr_t abandoned = calls.open();
    calls.abandon(abandoned);
    EXPECT_EQ(ask(host, xlAsyncReturn, {Value::handle(abandoned), Value::number(1)}).value, Value::boolean(false));
    host.setVersion("12.0");
    EXPECT_EQ(ask(host, xlAsyncReturn, {Value::handle(calls.open()), Value::number(1)}).code, xlretInvXlfn)
        << "new in Excel 2010";
    EXPECT_TRUE(host.faults().empty()) << host.faults();
}

}  // namespace
}  // namespace xlhost
