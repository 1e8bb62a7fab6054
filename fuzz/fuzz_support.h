// Helpers shared by the fuzz targets.
//
// Input layout of every target: one mode byte, then fields separated by NUL
// bytes (the last field takes the rest of the input). Keeping the layout
// plain keeps the seed corpora readable. The mode byte's value modulo 3
// picks the path syntax: '0' POSIX, '1' Windows, '2' Windows with the lead
// bytes of code page 932.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../tests/cp932.h"
#include "base/path.h"

namespace fuzz {

// Ends the run as a finding when a property does not hold.
inline void check(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "property violated: %s\n", property);
    std::abort();
}

struct Input {
    unsigned char mode = 0;
    std::vector<std::string> fields;
};

// Splits the input into its mode byte and at most `max_fields` fields; the
// last field keeps any further NUL bytes.
inline Input parse_input(const std::uint8_t* data, std::size_t size, std::size_t max_fields) {
    Input input;
    if (size == 0 || max_fields == 0) return input;
    input.mode = data[0];
    const char* p = reinterpret_cast<const char*>(data) + 1;
    const char* end = reinterpret_cast<const char*>(data) + size;
    while (input.fields.size() + 1 < max_fields) {
        const char* nul = p;
        while (nul < end && *nul != '\0') ++nul;
        if (nul == end) break;
        input.fields.emplace_back(p, nul);
        p = nul + 1;
    }
    input.fields.emplace_back(p, end);
    return input;
}

// The field, or "" when the input had fewer.
inline const std::string& field(const Input& input, std::size_t i) {
    static const std::string empty;
    return i < input.fields.size() ? input.fields[i] : empty;
}

// The text up to its first NUL byte, as a C string would end it.
inline std::string c_string(const std::string& s) { return s.substr(0, s.find('\0')); }

inline const PathSyntax& syntax_for(unsigned char mode) {
    switch (mode % 3) {
        case 0:
            return posix_syntax();
        case 1:
            return windows_syntax();
        default:
            return cp932();
    }
}

// A heap block of exactly `size` bytes, so that AddressSanitizer reports
// the first byte written past it.
struct Block {
    explicit Block(std::size_t size) : data(static_cast<char*>(std::malloc(size > 0 ? size : 1))) {}
    ~Block() { std::free(data); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    char* data;
};

}  // namespace fuzz
