#include "platform/command_split.h"

#include <cstring>

std::size_t split_command_words(const char* p, char* text, char** words) {
    std::size_t count = 0;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == '\0') return count;
        words[count++] = text;
        bool quoted = false;
        while (*p != '\0' && (quoted || (*p != ' ' && *p != '\t'))) {
            std::size_t slashes = 0;
            while (p[slashes] == '\\') ++slashes;
            if (slashes == 0 && *p != '"') {
                *text++ = *p++;
                continue;
            }
            if (p[slashes] != '"') {
                std::memset(text, '\\', slashes);
                text += slashes;
                p += slashes;
                continue;
            }
            std::memset(text, '\\', slashes / 2);
            text += slashes / 2;
            p += slashes;
            if (slashes % 2 == 1) {
                *text++ = '"';
            } else if (quoted && p[1] == '"') {
                *text++ = '"';
                ++p;
            } else {
                quoted = !quoted;
            }
            ++p;
        }
        *text++ = '\0';
    }
}

std::vector<std::string> split_command_tail(const char* tail) {
    std::size_t length = std::strlen(tail);
    std::vector<char> text(length + 1);
    std::vector<char*> words(length / 2 + 1);
    std::size_t count = split_command_words(tail, text.data(), words.data());
    return std::vector<std::string>(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(count));
}

const char* command_tail(const char* program, const char* command_line) {
    const char* tail = command_line + std::strlen(program);
    return *tail == ' ' ? tail + 1 : tail;
}

std::vector<std::string> split_command_line(const char* command_line) {
    std::string first;
    bool quoted = false;
    const char* p = command_line;
    for (; *p != '\0' && (quoted || (*p != ' ' && *p != '\t')); ++p) {
        if (*p == '"')
            quoted = !quoted;
        else
            first += *p;
    }
    std::vector<std::string> words = split_command_tail(p);
    words.insert(words.begin(), first);
    return words;
}
