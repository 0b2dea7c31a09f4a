#include "WideText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <string>

namespace zep {
namespace {

// Sets the character-type locale for one test and puts the previous one back afterwards.
class ScopedCharacterLocale {
public:
    explicit ScopedCharacterLocale(const char* name) : previous_(std::setlocale(LC_CTYPE, nullptr)) {
        active_ = std::setlocale(LC_CTYPE, name) != nullptr;
    }
    ~ScopedCharacterLocale() { std::setlocale(LC_CTYPE, previous_.c_str()); }
    bool active() const { return active_; }

private:
    std::string previous_;
    bool active_ = false;
};

WideString Units(std::initializer_list<unsigned> units) {
    WideString out;
    for (unsigned unit : units) out.push_back(static_cast<XCHAR>(unit));
    return out;
}

WideString Widen(const std::string& text) {
    return WidenText(text.data(), text.size());
}
std::string Narrow(const WideString& text) {
    return NarrowText(text.data(), text.size());
}

TEST(WideText, AsciiRoundTripKeepsEmbeddedNuls) {
    ScopedCharacterLocale locale("C");
    const std::string text("mtrx\0x 1", 8);
    const WideString wide = Widen(text);
    EXPECT_EQ(wide, Units({'m', 't', 'r', 'x', 0, 'x', ' ', '1'}));
    EXPECT_EQ(Narrow(wide), text);
    EXPECT_EQ(Widen(""), WideString());
    EXPECT_EQ(Narrow(WideString()), "");
}

TEST(WideText, ReadsOnlyTheGivenCount) {
    ScopedCharacterLocale locale("C");
    // Buffers exactly as long as the count, with no terminator: the sanitizer sees any read past them.
    std::unique_ptr<char[]> bytes(new char[3]{'a', 'b', 'c'});
    EXPECT_EQ(WidenText(bytes.get(), 3), Units({'a', 'b', 'c'}));
    EXPECT_EQ(WidenText(bytes.get(), 2), Units({'a', 'b'}));
    std::unique_ptr<XCHAR[]> units(new XCHAR[2]{u'y', u'z'});
    EXPECT_EQ(NarrowText(units.get(), 2), "yz");
    EXPECT_EQ(NarrowText(units.get(), 0), "");
}

TEST(WideText, UnmappableCharactersBecomeQuestionMarks) {
    ScopedCharacterLocale locale("C");
    EXPECT_EQ(Narrow(Units({'a', 0x0141, 'b'})), "a?b");
    EXPECT_EQ(Narrow(Units({0xD800, 'b'})), "?b");  // lone high surrogate
    EXPECT_EQ(Narrow(Units({'a', 0xDC00})), "a?");  // lone low surrogate
}

// msvcrt has no UTF-8 locale, so these run where the C library has one.
#ifndef _WIN32
TEST(WideText, Utf8LocaleCountsUnitsNotBytes) {
    ScopedCharacterLocale locale("C.UTF-8");
    if (!locale.active()) GTEST_SKIP() << "no UTF-8 locale here";
    const std::string text = "\xC3\xA9-\xE2\x82\xAC-\xF0\x9F\x98\x80";  // e acute, euro sign, a face beyond 16 bits
    const WideString wide = Widen(text);
    EXPECT_EQ(wide, Units({0xE9, '-', 0x20AC, '-', 0xD83D, 0xDE00}));
    EXPECT_EQ(Narrow(wide), text);
}

TEST(WideText, Utf8LocaleMarksBrokenSequencesAndGoesOn) {
    ScopedCharacterLocale locale("C.UTF-8");
    if (!locale.active()) GTEST_SKIP() << "no UTF-8 locale here";
    EXPECT_EQ(Widen("a\xFF"
                    "b"),
              Units({'a', '?', 'b'}));
    EXPECT_EQ(Widen("a\xE2\x82"), Units({'a', '?'}));  // cut off at the end
    EXPECT_EQ(Widen("\x80\x80z"), Units({'?', '?', 'z'}));
    EXPECT_EQ(Narrow(Units({0xDE00, 0xD83D, 'z'})), "??z");  // surrogates in the wrong order
    EXPECT_EQ(Narrow(Units({0xD83D})), "?");                 // pair cut off at the end
}

TEST(WideText, FollowsTheCurrentLocale) {
    const std::string eAcute = "\xC3\xA9";
    {
        ScopedCharacterLocale locale("C.UTF-8");
        if (!locale.active()) GTEST_SKIP() << "no UTF-8 locale here";
        EXPECT_EQ(Narrow(Units({0xE9})), eAcute);
    }
    ScopedCharacterLocale locale("C");
    EXPECT_NE(Widen(eAcute), Units({0xE9}));
}
#endif

// UTF-8 needs no locale: the "C" one is in force here, as in an add-in that sets none.
TEST(WideText, Utf8GoesBothWaysWithoutLossAndMarksWhatIsNoUtf8) {
    ScopedCharacterLocale locale("C");
    struct Case {
        std::string utf8;
        WideString units;
        std::string back;  // what the units give again; empty: not checked
    };
    const Case cases[] = {
        {"caf\xC3\xA9 \xE2\x82\xAC", Units({'c', 'a', 'f', 0xE9, ' ', 0x20AC}), "caf\xC3\xA9 \xE2\x82\xAC"},
        {"\xF0\x9F\x98\x80", Units({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80"},  // beyond 16 bits: a pair
        {std::string("a\0b", 3), Units({'a', 0, 'b'}), std::string("a\0b", 3)},
        {"\xC3", Units({0xFFFD}), "\xEF\xBF\xBD"},                                // cut off
        {"\xC0\xAF", Units({0xFFFD, 0xFFFD}), "\xEF\xBF\xBD\xEF\xBF\xBD"},        // overlong
        {"\xED\xA0\x80", Units({0xFFFD, 0xFFFD, 0xFFFD}), ""},                    // a surrogate
        {"\xF4\x90\x80\x80x", Units({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 'x'}), ""},  // beyond U+10FFFF
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WidenUtf8(c.utf8.data(), c.utf8.size()), c.units) << c.utf8;
        if (!c.back.empty()) {
            EXPECT_EQ(NarrowToUtf8(c.units.data(), c.units.size()), c.back);
        }
    }
    const WideString lone = Units({'x', 0xDC00, 0xD800});  // surrogates without partners
    EXPECT_EQ(NarrowToUtf8(lone.data(), lone.size()), "x\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace zep
