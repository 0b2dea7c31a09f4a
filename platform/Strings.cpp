// String comparison in Windows' manner for ASCII text. The locale is not looked at: every locale
// orders ASCII letters the same way.
#include "WindowsStandIn.h"

#include <cctype>
#include <cstring>

namespace {

int Fold(char c) {
    return std::tolower(static_cast<unsigned char>(c));
}

int Sign(int difference) {
    return difference < 0 ? CSTR_LESS_THAN : difference > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
}

}  // namespace

// Like Windows' linguistic order, letters compare without regard to case first; only when two texts
// are otherwise equal does case decide, lower case before upper case (unless NORM_IGNORECASE).
int CompareStringA(LCID, DWORD dwCmpFlags, PCNZCH lpString1, int cchCount1, PCNZCH lpString2, int cchCount2) {
    if (lpString1 == nullptr || lpString2 == nullptr || cchCount1 < -1 || cchCount2 < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if ((dwCmpFlags & ~static_cast<DWORD>(NORM_IGNORECASE)) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    const std::size_t length1 = cchCount1 == -1 ? std::strlen(lpString1) : static_cast<std::size_t>(cchCount1);
    const std::size_t length2 = cchCount2 == -1 ? std::strlen(lpString2) : static_cast<std::size_t>(cchCount2);
    const std::size_t common = length1 < length2 ? length1 : length2;
    int caseOrder = 0;
    for (std::size_t i = 0; i < common; ++i) {
        if (Fold(lpString1[i]) != Fold(lpString2[i])) return Sign(Fold(lpString1[i]) - Fold(lpString2[i]));
        if (caseOrder == 0 && lpString1[i] != lpString2[i])
            caseOrder = std::islower(static_cast<unsigned char>(lpString1[i])) ? -1 : 1;
    }
    if (length1 != length2) return length1 < length2 ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
    return (dwCmpFlags & NORM_IGNORECASE) != 0 ? CSTR_EQUAL : Sign(caseOrder);
}

int lstrlenA(LPCSTR lpString) {
    return lpString != nullptr ? static_cast<int>(std::strlen(lpString)) : 0;
}
