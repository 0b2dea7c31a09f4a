#include "WinApi.h"

#include <gtest/gtest.h>

namespace {

int Compare(DWORD flags, const char* a, int lengthA, const char* b, int lengthB) {
    return CompareStringA(1033, flags, a, lengthA, b, lengthB);
}

TEST(CompareString, IgnoresCaseOverTheGivenLengths) {
    EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORECASE, "BOSA_SDM_XL9", 11, "bosa_sdm_XL", -1));
    EXPECT_EQ(CSTR_LESS_THAN, Compare(NORM_IGNORECASE, "bosa_sdm_X", -1, "bosa_sdm_XL", -1));
    EXPECT_EQ(CSTR_GREATER_THAN, Compare(NORM_IGNORECASE, "bosa_sdm_XM", -1, "BOSA_SDM_XL", -1));
    EXPECT_EQ(CSTR_EQUAL, Compare(NORM_IGNORECASE, "", 0, "", -1));
}

TEST(CompareString, WithCaseOrdersLettersFirstAndLowerCaseBeforeUpper) {
    EXPECT_EQ(CSTR_LESS_THAN, Compare(0, "a", -1, "B", -1)) << "not byte order";
    EXPECT_EQ(CSTR_LESS_THAN, Compare(0, "ab", -1, "Ab", -1));
    EXPECT_EQ(CSTR_GREATER_THAN, Compare(0, "Ab", -1, "aa", -1)) << "letters decide before case";
    EXPECT_EQ(CSTR_EQUAL, Compare(0, "Ab", -1, "Ab", -1));
}

TEST(CompareString, RefusesBadArguments) {
    SetLastError(0);
    EXPECT_EQ(0, Compare(NORM_IGNORECASE, nullptr, -1, "a", -1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(0, Compare(NORM_IGNORECASE, "a", -2, "a", -1));
    EXPECT_EQ(0, Compare(0x10000000, "a", -1, "a", -1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FLAGS), GetLastError());
    EXPECT_EQ(0, lstrlenA(nullptr));
    EXPECT_EQ(3, lstrlenA("abc"));
}

}  // namespace
