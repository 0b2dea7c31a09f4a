#ifndef TESTING_VALUESTESTSUPPORT_H
#define TESTING_VALUESTESTSUPPORT_H

// A fixture that runs a value test under a stand-in Excel of either layout: version "12.0"
// speaks XLOPER12, "11.0" the Excel 4 layout XLOPER. It captures diagnostic lines and, at the
// end, demands that Excel saw no leak, no double or foreign xlFree and no malformed record.

#include "ExcelStandIn.h"
#include "HostLayouts.h"

#include <zep/XlfExcel.h>
#include <zep/XlfOper.h>
#include <zep/XlfOperImpl12.h>
#include <zep/XlfOperImpl4.h>

#include <gtest/gtest.h>

#include <clocale>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

namespace zep::testing {

struct Excel12Values {
    using Record = XLOPER12;
    using Unit = XCHAR;
    using Strategy = XlfOperImpl12;
    using HostLayout = xlhost::Layout12;
    static constexpr xlhost::Layout layout = HostLayout::layout;
    static constexpr bool isExcel12 = layout == xlhost::Layout::Excel12;
};

struct Excel4Values {
    using Record = XLOPER;
    using Unit = char;
    using Strategy = XlfOperImpl4;
    using HostLayout = xlhost::Layout4;
    static constexpr xlhost::Layout layout = HostLayout::layout;
    static constexpr bool isExcel12 = layout == xlhost::Layout::Excel12;
};

// Excel 12 text from a UTF-16 literal (XCHAR is wchar_t on Windows).
inline WideString Wide(std::u16string_view text) {
    return WideString(text.begin(), text.end());
}

using BothLayouts = ::testing::Types<Excel12Values, Excel4Values>;

using xltest::LayoutNames;

template <class L>
class ValuesTest : public ::testing::Test {
protected:
    using Record = typename L::Record;
    using Unit = typename L::Unit;
    using Text = std::basic_string<Unit>;
    using Argument = xlhost::ArgumentRecord<typename L::HostLayout>;

    ValuesTest() : host_(xltest::VersionText<L>()), savedCerr_(std::cerr.rdbuf(diagnostics_.rdbuf())) {
        XlfExcel::DeleteCurrent();
        XlfExcel::Current();
        host_.clearCalls();
    }

    ~ValuesTest() override {
        std::cerr.rdbuf(savedCerr_);
        XlfExcel::DeleteCurrent();
    }

    void TearDown() override {
        EXPECT_EQ(host_.checkForLeaks(), 0u) << host_.faults();
        EXPECT_TRUE(host_.faults().empty()) << host_.faults();
        host_.clearFaults();
    }

    static const XlfOperImpl& Impl() { return XlfOperImpl::Current(); }
    static Record& RecordOf(const XlfOper& h) { return *static_cast<Record*>(h.Pointer()); }
    // The value as Excel reads it, for readable expectations and failure messages.
    static xlhost::Value Decoded(const XlfOper& h) { return xlhost::decode(RecordOf(h)); }
    // A text record's count and units, exactly as stored.
    static Text BodyOf(const Record& record) {
        const Unit* body = record.val.str;
        return Text(body + 1, static_cast<std::make_unsigned_t<Unit>>(body[0]));
    }
    static Text Units(const char* ascii) { return Text(ascii, ascii + std::char_traits<char>::length(ascii)); }

    std::size_t CallsTo(int function) const { return host_.callsTo(function).size(); }
    std::string Diagnostics() const { return diagnostics_.str(); }

    xlhost::ExcelStandIn host_;

private:
    std::ostringstream diagnostics_;
    std::streambuf* savedCerr_;
};

// Switches the runtime's character conversions to UTF-8 for one test, where the system has it.
class Utf8Locale {
public:
    Utf8Locale() {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8", ".UTF8"})
            if (std::setlocale(LC_ALL, name) != nullptr) {
                active_ = true;
                return;
            }
    }
    ~Utf8Locale() { std::setlocale(LC_ALL, "C"); }
    bool active() const { return active_; }

private:
    bool active_ = false;
};

}  // namespace zep::testing

#endif
