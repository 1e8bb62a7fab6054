// The INI reader over arbitrary file bytes, section and key.
// Input: mode byte, section NUL key NUL file bytes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/limits.h"
#include "fuzz_support.h"
#include "platform/profile.h"

namespace {

using fuzz::check;

// Characters the integer lookup takes from a value before it converts.
constexpr std::size_t kIntChars = 29;

// Any file: the result fits its buffer, a smaller buffer gets a prefix of
// the same value (UTF-16: whole characters), and the integer lookup reads the same value.
void check_any_file(const std::string& text, const std::string& section, const std::string& key) {
    fuzz::Block full(kPathBuffer);
    std::size_t n = profile_get_string(text, section.c_str(), key.c_str(), full.data, kPathBuffer);
    check(n <= kMaxChars, "a value never exceeds 259 characters");
    check(std::strlen(full.data) == n, "the count matches the terminated text");

    bool utf16 = profile_encoding(text.data(), text.size()) >= ProfileEncoding::utf16le;
    for (std::size_t size : {std::size_t{1}, std::size_t{2}, std::size_t{17}}) {
        fuzz::Block small(size);
        std::size_t m = profile_get_string(text, section.c_str(), key.c_str(), small.data, size);
        std::size_t room = n < size - 1 ? n : size - 1;
        check(m == room || (utf16 && m < room && m + 3 >= room), "a smaller buffer keeps as much as fits");
        check(std::memcmp(small.data, full.data, m) == 0 && small.data[m] == '\0',
              "a smaller buffer keeps a prefix");
    }

    int expected = n == 0 ? -7 : profile_parse_int(std::string(full.data, n < kIntChars ? n : kIntChars));
    check(profile_get_int(text, section.c_str(), key.c_str(), -7) == expected,
          "the integer lookup reads the string lookup's value");
}

// A file handed over in pieces of at most `piece` bytes, failing with -1
// once `fail_at` bytes have been read.
struct Pieces {
    const std::string* text;
    std::size_t at;
    std::size_t piece;
    std::size_t fail_at;
};

long read_pieces(void* context, char* buffer, std::size_t size) {
    Pieces& p = *static_cast<Pieces*>(context);
    if (p.at >= p.fail_at) return -1;
    std::size_t n = std::min({size, p.piece, p.text->size() - p.at});
    std::memcpy(buffer, p.text->data() + p.at, n);
    p.at += n;
    return static_cast<long>(n);
}

// Read piece by piece through a small scratch buffer, the file gives the
// answers it gives in one piece; a read error gives nothing or the same.
void check_streamed(unsigned char mode, const std::string& text, const std::string& section,
                    const std::string& key) {
    fuzz::Block whole(kPathBuffer);
    std::size_t n = profile_get_string(text, section.c_str(), key.c_str(), whole.data, kPathBuffer);
    struct Shape {
        std::size_t scratch, piece, fail_at;
    } shapes[] = {
        {4, 1, SIZE_MAX},
        {4u + mode % 29u, 1u + mode / 29u, SIZE_MAX},
        {64, 4096, SIZE_MAX},
        {4u + mode % 13u, 3, text.size() / 2},
    };
    for (const Shape& shape : shapes) {
        Pieces pieces = {&text, 0, shape.piece, shape.fail_at};
        ProfileSource source = {read_pieces, &pieces};
        fuzz::Block scratch(shape.scratch), out(kPathBuffer);
        std::size_t m = profile_read_string(source, scratch.data, shape.scratch, section.c_str(), key.c_str(),
                                            out.data, kPathBuffer);
        bool complete = shape.fail_at >= text.size();
        check(m == n ? std::strcmp(out.data, whole.data) == 0 : (!complete && m == 0 && out.data[0] == '\0'),
              "a file read in pieces gives the answer it gives whole");

        Pieces again = {&text, 0, shape.piece, shape.fail_at};
        ProfileSource int_source = {read_pieces, &again};
        int value =
            profile_read_int(int_source, scratch.data, shape.scratch, section.c_str(), key.c_str(), -7);
        check(!complete || value == profile_get_int(text, section.c_str(), key.c_str(), -7),
              "an integer read in pieces is the one read whole");
    }
}

// Asked in one batch beside other keys, read whole or in pieces, every key
// gets the answer a lookup of its own gives. The other keys come from the
// file's own names, so that they share its sections.
void check_batch(unsigned char mode, const std::string& text, const std::string& section,
                 const std::string& key) {
    std::size_t from = std::min<std::size_t>(mode % 5u, text.size());
    const std::string names[] = {section, key, text.substr(0, mode % 7u), text.substr(from, 3)};
    constexpr std::size_t kCount = 6;
    const char* asked[kCount][2] = {{section.c_str(), key.c_str()},      {names[2].c_str(), key.c_str()},
                                    {section.c_str(), names[3].c_str()}, {names[3].c_str(), names[2].c_str()},
                                    {key.c_str(), section.c_str()},      {section.c_str(), key.c_str()}};
    fuzz::Block out(kCount * kPathBuffer);
    int values[kCount];
    ProfileQuery queries[kCount];
    for (std::size_t i = 0; i < kCount; ++i) {
        values[i] = -7;
        bool integer = (mode >> i) & 1;
        queries[i] = ProfileQuery{asked[i][0],
                                  asked[i][1],
                                  out.data + i * kPathBuffer,
                                  integer ? kProfileIntBuffer : kPathBuffer,
                                  0,
                                  integer ? &values[i] : nullptr};
    }
    Pieces pieces = {&text, 0, 1u + mode % 17u, SIZE_MAX};
    ProfileSource source = {read_pieces, &pieces};
    std::size_t scratch_size = 4u + mode % 23u;
    fuzz::Block scratch(scratch_size);
    if (mode & 0x80)
        profile_read_queries(source, scratch.data, scratch_size, queries, kCount);
    else
        profile_get_queries(text, queries, kCount);
    for (std::size_t i = 0; i < kCount; ++i) {
        fuzz::Block single(kPathBuffer);
        std::size_t n = profile_get_string(text, asked[i][0], asked[i][1], single.data, queries[i].out_size);
        check(queries[i].length == n && std::memcmp(queries[i].out, single.data, n + 1) == 0,
              "a batch answers each key as a lookup of its own");
        if (queries[i].integer != nullptr)
            check(values[i] == profile_get_int(text, asked[i][0], asked[i][1], -7),
                  "a batch reads each integer as a lookup of its own");
    }
}

// Keeps letters, digits and "_", so the name can be neither blank-padded
// nor mistaken for another line's name; never empty.
std::string as_name(const std::string& s, const char* fallback) {
    std::string name;
    for (char c : s)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_') name += c;
    return name.empty() ? fallback : name;
}

// Printable text without blanks at either end and without a quote in front,
// so it reads back exactly as written.
std::string as_value(const std::string& s) {
    std::string value;
    for (char c : s) value += static_cast<char>(0x20 + static_cast<unsigned char>(c) % 95);
    while (!value.empty() && value.back() == ' ') value.pop_back();
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    if (!value.empty() && (value[0] == '"' || value[0] == '\'')) value[0] = 'q';
    return value;
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// A well-formed file that holds the given section and key among others:
// the lookup finds exactly the value written, whatever the case of the
// names, the blanks around "=" and the line ends.
void check_written_key(unsigned char mode, const std::string& raw_section, const std::string& raw_key,
                       const std::string& raw_value) {
    const char* ends[] = {"\n", "\r\n", "\r"};
    const char* blanks[] = {"", " ", "\t ", "  "};
    std::string eol = ends[mode % 3];
    std::string pad = blanks[(mode / 3) % 4];
    std::string section = as_name(raw_section, "S"), key = as_name(raw_key, "K");
    std::string value = as_value(raw_value);

    std::string text = "[other.section]" + eol + key + "=elsewhere" + eol + "[" + pad + section + pad + "]" +
                       eol + "other.key=1" + eol + pad + key + pad + "=" + pad + value + pad + eol + key +
                       "=second" + eol + "[" + section + "]" + eol + key + "=third" + eol;
    std::string expected = value.substr(0, kMaxChars);

    std::string wide = mode & 0x80 ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text) wide += mode & 0x80 ? std::string{'\0', c} : std::string{c, '\0'};
    fuzz::Block out(kPathBuffer);
    for (const std::string& file : {text, wide}) {
        for (const std::string& asked : {section, upper(section)}) {
            std::size_t n =
                profile_get_string(file, asked.c_str(), upper(key).c_str(), out.data, kPathBuffer);
            check(n == expected.size() && expected == out.data, "a key just written is found with its value");
        }
    }

    int number =
        static_cast<int>(static_cast<unsigned char>(raw_value.empty() ? 0 : raw_value[0]) * 16777259u);
    std::string numbers = "[" + section + "]" + eol + key + "=" + pad + std::to_string(number) + eol;
    check(profile_get_int(numbers, section.c_str(), key.c_str(), 5) == number,
          "an integer just written is read back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input = fuzz::parse_input(data, size, 3);
    const std::string& section = fuzz::field(input, 0);
    const std::string& key = fuzz::field(input, 1);
    const std::string& text = fuzz::field(input, 2);
    check_any_file(text, section, key);
    check_streamed(input.mode, text, section, key);
    check_batch(input.mode, text, section, key);
    check_written_key(input.mode, section, key, text);
    return 0;
}
