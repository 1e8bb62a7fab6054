#include <cstdlib>
#include <cstring>

#include "launch/launch.h"

char* build_command_line(const char* const* vector) {
    std::size_t size = 2;
    int count = 0;
    while (count < kSlots && vector[count] != nullptr) size += std::strlen(vector[count++]) + 1;
    char* line = static_cast<char*>(std::malloc(size));
    if (line == nullptr) return nullptr;
    char* p = line;
    for (int k = 0; k < count; ++k) {
        if (k > 0) *p++ = ' ';
        std::size_t len = std::strlen(vector[k]);
        std::memcpy(p, vector[k], len);
        p += len;
    }
    *p = '\0';
    return line;
}

std::vector<std::string> split_command_tail(const char* p) {
    std::vector<std::string> words;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == '\0') return words;
        std::string word;
        bool quoted = false;
        while (*p != '\0' && (quoted || (*p != ' ' && *p != '\t'))) {
            std::size_t slashes = 0;
            while (p[slashes] == '\\') ++slashes;
            if (p[slashes] != '"') {
                word.append(slashes > 0 ? slashes : 1, slashes > 0 ? '\\' : *p);
                p += slashes > 0 ? slashes : 1;
                continue;
            }
            word.append(slashes / 2, '\\');
            p += slashes;
            if (slashes % 2 == 1) {
                word += '"';
            } else if (quoted && p[1] == '"') {
                word += '"';
                ++p;
            } else {
                quoted = !quoted;
            }
            ++p;
        }
        words.push_back(std::move(word));
    }
}
