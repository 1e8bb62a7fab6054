// The command line built from a tool argument vector, and the splitting of
// its tail into the words a POSIX tool receives.
// Input: mode byte, slot 0 NUL slot 1 NUL ... (at most 21 slots). A mode
// byte of 1 to 20 below the slot count leaves that slot null; the slots
// behind it must then be ignored.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "launch/launch.h"
#include "platform/command_split.h"

namespace {

using fuzz::check;

bool plain_word(const std::string& s) { return s.find_first_of(" \t\"\\") == std::string::npos; }

// Quotes a word so that the C runtime's rules give it back unchanged: the
// word in double quotes, a quote inside it escaped by a backslash, and
// backslashes doubled where a quote follows them.
std::string quote(const std::string& word) {
    std::string out = "\"";
    std::size_t slashes = 0;
    for (char c : word) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        out.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
        out.append(1, c);
        slashes = 0;
    }
    out.append(2 * slashes, '\\');
    return out + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input = fuzz::parse_input(data, size, kSlots - 1);
    std::vector<std::string> texts = input.fields;
    if (texts.empty()) texts.push_back("tool");
    if (texts[0].empty()) texts[0] = "tool";
    texts.back() = fuzz::c_string(texts.back());

    const char* vector[kSlots] = {};
    for (std::size_t k = 0; k < texts.size(); ++k) vector[k] = texts[k].c_str();
    std::size_t used = texts.size();
    if (input.mode >= 1 && input.mode < used) {
        used = input.mode;
        vector[used] = nullptr;
    }

    std::string expected = texts[0];
    std::string tail_texts;
    for (std::size_t k = 1; k < used; ++k) {
        expected += " " + texts[k];
        tail_texts += texts[k];
    }
    if (tail_texts.empty()) expected = texts[0];
    char* line = build_command_line(vector, false);
    check(line != nullptr && expected == line,
          "the slots up to the first null are joined by single blanks, slot 0 alone when they hold no text");

    // The tail as the POSIX launch hands it to the splitting.
    const char* tail = line + texts[0].size();
    if (*tail == ' ') ++tail;
    std::vector<std::string> words = split_command_tail(tail);
    std::size_t tail_length = std::strlen(tail);

    // The launch splits into one block of exactly the size promised.
    fuzz::Block text(tail_length + 1), pointers((tail_length / 2 + 1) * sizeof(char*));
    char** word_at = reinterpret_cast<char**>(pointers.data);
    std::size_t count = split_command_words(tail, text.data, word_at);
    check(count == words.size(), "both splits find the same number of words");
    for (std::size_t i = 0; i < count; ++i) check(words[i] == word_at[i], "both splits find the same words");
    std::free(line);

    std::vector<std::string> plain;
    bool all_plain = true;
    for (std::size_t k = 1; k < used; ++k) {
        all_plain = all_plain && plain_word(texts[k]);
        if (!texts[k].empty()) plain.push_back(texts[k]);
    }
    if (all_plain)
        check(words == plain, "words without blanks, quotes or backslashes come back as they were");

    std::size_t bytes = 0;
    for (const std::string& w : words) bytes += w.size();
    check(bytes <= tail_length, "splitting never makes text");

    std::vector<std::string> given(texts.begin() + 1, texts.begin() + static_cast<long>(used));
    std::string quoted;
    for (const std::string& w : given) quoted += (quoted.empty() ? "" : " ") + quote(w);
    check(split_command_tail(quoted.c_str()) == given, "quoted words come back byte for byte");
    return 0;
}
