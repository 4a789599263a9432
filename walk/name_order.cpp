#include "walk/name_order.h"

#include "engine/text.h"

namespace mv::walk {

namespace {

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Negative, zero or positive, as strcmp; zero for names that differ only in
// letter case or in leading zeros.
int compareNames(std::u16string_view a, std::u16string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            while (i < a.size() && a[i] == u'0') ++i;
            while (j < b.size() && b[j] == u'0') ++j;
            std::size_t si = i, sj = j;
            while (i < a.size() && isDigit(a[i])) ++i;
            while (j < b.size() && isDigit(b[j])) ++j;
            // Without leading zeros, the longer run of digits is the larger number.
            if (i - si != j - sj) return i - si < j - sj ? -1 : 1;
            if (int c = a.substr(si, i - si).compare(b.substr(sj, j - sj)); c != 0) return c;
            continue;
        }
        char16_t x = engine::foldCase(a[i]), y = engine::foldCase(b[j]);
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

}  // namespace

bool NameLess(std::u16string_view a, std::u16string_view b) {
    int c = compareNames(a, b);
    return c != 0 ? c < 0 : a < b;
}

}  // namespace mv::walk
