// The Windows path rules under code page 932, for tests on any host. Its
// lead bytes are 0x81-0x9F and 0xE0-0xFC; its character 表 is 0x95 0x5C,
// whose second byte has the value of "\".
#pragma once

#include "base/path.h"

inline const PathSyntax& cp932() {
    static const PathSyntax syntax = [] {
        PathSyntax s = windows_syntax();
        const unsigned char ranges[] = {0x81, 0x9F, 0xE0, 0xFC};
        set_lead_ranges(s, ranges, 2);
        return s;
    }();
    return syntax;
}

constexpr const char* kHyo = "\x95\x5C";
