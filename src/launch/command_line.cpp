#include <cstdlib>
#include <cstring>

#include "launch/launch.h"

char* build_command_line(const char* const* vector, bool quote_program) {
    std::size_t size = 2;
    int count = 0;
    bool any_text = false;
    while (count < kSlots && vector[count] != nullptr) {
        if (count > 0 && vector[count][0] != '\0') any_text = true;
        size += std::strlen(vector[count++]) + 1;
    }
    // A tail of empty texts only is no tail: the blanks would be the
    // driver's own making, not the configuration's.
    if (!any_text) count = 1;
    // A name that holds a quote already is left as written: quotes of the
    // driver's around it would pair with the wrong ones.
    const char* program = vector[0];
    bool quoted = quote_program && program[std::strcspn(program, " \t")] != '\0' &&
                  std::strchr(program, '"') == nullptr;
    if (quoted) size += 2;
    char* line = static_cast<char*>(std::malloc(size));
    if (line == nullptr) return nullptr;
    char* p = line;
    for (int k = 0; k < count; ++k) {
        if (k > 0) *p++ = ' ';
        if (k == 0 && quoted) *p++ = '"';
        std::size_t len = std::strlen(vector[k]);
        std::memcpy(p, vector[k], len);
        p += len;
        if (k == 0 && quoted) *p++ = '"';
    }
    *p = '\0';
    return line;
}
