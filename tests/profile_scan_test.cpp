// The INI reader skips everything outside the wanted section quickly and
// reads files piece by piece. These tests hold it to the plain line-by-line
// reading of the same rules, on chosen and on random texts cut into pieces
// of every size, and check the file access around it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/limits.h"
#include "platform/profile.h"
#include "utf16.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/os.h"
#endif

namespace {

const std::string kAbsent = "<absent>";

bool blank(char c) { return (c >= '\t' && c <= '\r') || c == ' ' || c == '\x1a'; }

std::string trimmed(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::string before_nul(const std::string& s) { return s.substr(0, s.find('\0')); }

bool same(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The rules of the reader, applied line by line with nothing skipped.
std::string model_lookup(std::string text, const std::string& section, const std::string& key) {
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    std::vector<std::string> lines;
    std::string current;
    for (char c : text) {
        if (c != '\r' && c != '\n') {
            current += c;
        } else if (!current.empty()) {
            lines.push_back(current);
            current.clear();
        }
    }
    lines.push_back(current);
    bool in_section = false;
    for (const std::string& raw : lines) {
        std::string line = trimmed(raw);
        if (line.empty()) continue;
        std::size_t close = line.rfind(']');
        if (line[0] == '[' && close != std::string::npos) {
            if (in_section) return kAbsent;
            in_section = same(before_nul(trimmed(line.substr(1, close - 1))), section);
            continue;
        }
        if (!in_section) continue;
        std::size_t eq = line.find('=');
        if (!same(before_nul(eq == std::string::npos ? line : trimmed(line.substr(0, eq))), key)) continue;
        if (eq == std::string::npos) return kAbsent;
        std::string value = before_nul(trimmed(line.substr(eq + 1)));
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        value = value.substr(0, kMaxChars);
        return value.empty() ? kAbsent : value;
    }
    return kAbsent;
}

std::string lookup(const std::string& text, const char* section, const char* key) {
    char out[kPathBuffer];
    std::size_t n = profile_get_string(text, section, key, out, sizeof out);
    return n == 0 ? kAbsent : std::string(out, n);
}

// A file that hands out at most `piece` bytes per read and fails at
// `fail_at`.
struct PieceSource {
    std::string text;
    std::size_t piece;
    std::size_t fail_at;
    std::size_t pos;
};

long read_pieces(void* context, char* buffer, std::size_t size) {
    PieceSource& s = *static_cast<PieceSource*>(context);
    if (s.pos >= s.fail_at) return -1;
    std::size_t n = std::min({size, s.piece, s.text.size() - s.pos, s.fail_at - s.pos});
    std::memcpy(buffer, s.text.data() + s.pos, n);
    s.pos += n;
    return static_cast<long>(n);
}

std::string read_lookup(const std::string& text, std::size_t piece, std::size_t scratch_size,
                        const char* section, const char* key, std::size_t fail_at = std::string::npos) {
    PieceSource file = {text, piece, fail_at, 0};
    const ProfileSource source = {read_pieces, &file};
    std::vector<char> scratch(scratch_size);
    char out[kPathBuffer];
    std::size_t n =
        profile_read_string(source, scratch.data(), scratch.size(), section, key, out, sizeof out);
    // The same key in a batch read in one pass gets the same answer.
    file.pos = 0;
    char batch_out[3][kPathBuffer];
    ProfileQuery batch[3] = {{"T", "K", batch_out[0], kPathBuffer, 0, nullptr},
                             {section, key, batch_out[1], kPathBuffer, 0, nullptr},
                             {"S", "A", batch_out[2], kPathBuffer, 0, nullptr}};
    profile_read_queries(source, scratch.data(), scratch.size(), batch, 3);
    EXPECT_EQ(std::string(batch_out[1], batch[1].length), std::string(out, n)) << "in a batch";
    return n == 0 ? kAbsent : std::string(out, n);
}

// (bytes per read, scratch buffer size): lines across pieces, lines longer
// than the buffer, and whole files in one piece.
constexpr std::size_t kCuts[][2] = {{1, 4}, {3, 5}, {2, 9}, {7, 16}, {100, 64}, {1 << 20, 1 << 17}};

TEST(ProfileScan, HeadersAreFoundOnlyAtLineStarts) {
    std::string padding;
    for (int i = 0; i < 50000; ++i)
        padding += "SETTING_" + std::to_string(i) + "=[S] value " + std::to_string(i) + "\n";
    struct Case {
        std::string text;
        std::string expected;  // of K in section S
    } cases[] = {
        {"[T]\nX=[S]\nK=1\n[S]\nK=2\n", "2"},
        {"[T]\nX [S]\nK=1\n", kAbsent},
        {"[T]\n \t\x1a\v\f[S]\nK=1\n", "1"},
        {"[T]\r[S]\rK=cr\r", "cr"},
        {"[T]\r\n\r\n  [S]  \r\nK=crlf\r\n", "crlf"},
        {"[T]\n[S\nK=0\n[S]\nK=1\n", "1"},
        {"[T]\nA=1[\n[ S ]\nK=2\n", "2"},
        {"x[S]\nK=1\n", kAbsent},
        {"\xEF\xBB\xBF[S]\nK=bom\n", "bom"},
        {"\xEF\xBB\xBF [T]\n[S]\nK=after\n", "after"},
        {std::string("[T]\n\0[S]\nK=1\n", 13), kAbsent},
        {"[T]\n[S]]\nK=1\n", kAbsent},
        {"[S]\nK=[T]\n", "[T]"},
        {"[S]\nA=1\n  [T]\nK=1\n", kAbsent},
        {"[OTHER]\n" + padding + "[S]\nK=far\n", "far"},
        {"[OTHER]\n" + padding + "[S]\n" + padding + "K=farther\n", "farther"},
        {"[S]\nA=1\n[OTHER]\n" + padding + "K=1\n", kAbsent},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(lookup(c.text, "S", "K"), c.expected) << c.text.substr(0, 60);
        EXPECT_EQ(model_lookup(c.text, "S", "K"), c.expected) << c.text.substr(0, 60);
        for (const auto& cut : kCuts) {
            if (c.text.size() > 100000 && cut[0] < 100) continue;
            EXPECT_EQ(read_lookup(c.text, cut[0], cut[1], "S", "K"), c.expected)
                << cut[0] << "/" << cut[1] << ": " << c.text.substr(0, 60);
        }
    }
}

TEST(ProfileScan, PiecesMayCutAnyLine) {
    const std::string value(300, 'v');
    const std::string text = "\xEF\xBB\xBF[OTHER]\r\nA=" + std::string(1000, 'x') + "\r\n  [S]  \r\nK= \"" +
                             value + "\" \r\nL='q'\r\n[" + std::string(500, 'T') + "]\r\nM=1";
    for (const auto& cut : kCuts) {
        EXPECT_EQ(read_lookup(text, cut[0], cut[1], "S", "K"), value.substr(0, kMaxChars)) << cut[0];
        EXPECT_EQ(read_lookup(text, cut[0], cut[1], "S", "L"), "q") << cut[0];
        EXPECT_EQ(read_lookup(text, cut[0], cut[1], "S", "M"), kAbsent) << cut[0];
        EXPECT_EQ(read_lookup(text, cut[0], cut[1], std::string(500, 't').c_str(), "M"), "1") << cut[0];
    }
    PieceSource file = {"[D]\nV=0x2A\n", 2, std::string::npos, 0};
    const ProfileSource source = {read_pieces, &file};
    char scratch[4];
    EXPECT_EQ(profile_read_int(source, scratch, sizeof scratch, "D", "V", 5), 42);
    file.pos = 0;
    EXPECT_EQ(profile_read_int(source, scratch, sizeof scratch, "D", "W", 5), 5);
}

// A UTF-16 file, in either byte order and cut into pieces anywhere, reads
// as its text in UTF-8; what cannot be converted reads as "?", and a value
// is cut in front of a character that does not fit.
TEST(ProfileScan, Utf16FilesReadAsTheirText) {
    std::string e_acute;
    for (int i = 0; i < 129; ++i) e_acute += "\xC3\xA9";
    const std::string smiley = "\xF0\x9F\x98\x80";
    struct Case {
        std::u16string text;
        const char* tail;  // bytes behind the units
        std::string expected;
    } cases[] = {
        {u"[S]\r\nK=v\r\n", "", "v"},
        {u"[T]\rK=t\r[S]\rK=cr\r", "", "cr"},
        {u"[S]\nK=\u00e9\u20ac\U0001F600\n", "", "\xC3\xA9\xE2\x82\xAC" + smiley},
        {u"[S]\nK=a\xD800z\xDC00\xDBFF\n", "", "a?z??"},
        {u"[S]\nK=\u007F\u0080\u07FF\u0800\uD7FF\uE000\uFFFF\U00010000\U0010FFFF\n", "",
         "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF"
         "\xBF"},
        {u"[S]\nK=\xDC00\xDC00|\xDFFF|\xDBFF\xE000|\xD800\xDBFF\xDFFF\n", "",
         "??|?|?\xEE\x80\x80|?\xF4\x8F\xBF\xBF"},
        {u"[S]\nK=a\xD83D", "", "a?"},
        {u"[S]\nK=v", "x", "v?"},
        {u"", "", kAbsent},
        {u"[S]\nK=" + std::u16string(300, u'\u00e9'), "", e_acute},
        {u"[S]\nK=\U0001F600" + std::u16string(300, u'w'), "", smiley + std::string(255, 'w')},
        {u"[S]\nK=" + std::u16string(258, u'w') + u"\U0001F600", "", std::string(258, 'w')},
    };
    for (const Case& c : cases) {
        for (bool big : {false, true}) {
            std::string text = utf16_file(c.text, big) + c.tail;
            EXPECT_EQ(lookup(text, "S", "K"), c.expected) << big << c.expected;
            for (const auto& cut : kCuts)
                EXPECT_EQ(read_lookup(text, cut[0], cut[1], "S", "K"), c.expected)
                    << big << " " << cut[0] << "/" << cut[1] << ": " << c.expected;
        }
    }
    // Without its mark a UTF-16 file is bytes like any other, with no section.
    EXPECT_EQ(lookup(utf16_file(u"[S]\nK=v\n").substr(2), "S", "K"), kAbsent);
}

// A line longer than the reader will hold ends the reading there: what
// came before it still answers, nothing behind it does.
TEST(ProfileScan, OverlongLineEndsTheReading) {
    const std::string text = "[S]\nA=before\nB=" + std::string(kProfileLineMax, 'x') + "\nK=after\n";
    EXPECT_EQ(read_lookup(text, 1 << 20, 1 << 17, "S", "A"), "before");
    EXPECT_EQ(read_lookup(text, 1 << 20, 1 << 17, "S", "K"), kAbsent);
    const std::string shorter = "[S]\nB=" + std::string(kProfileLineMax / 2, 'x') + "\nK=after\n";
    EXPECT_EQ(read_lookup(shorter, 1 << 20, 1 << 17, "S", "K"), "after");
}

TEST(ProfileScan, ReadErrorEndsTheFileAndCutLinesCountForNothing) {
    const std::string text = "[S]\nA=first\nK=" + std::string(50, 'k') + "\nB=last\n";
    std::size_t key_line = text.find("K=");
    for (const auto& cut : kCuts) {
        EXPECT_EQ(read_lookup(text, cut[0], cut[1], "S", "A", key_line), "first") << cut[0];
        EXPECT_EQ(read_lookup(text, cut[0], cut[1], "S", "K", key_line + 10), kAbsent) << cut[0];
        EXPECT_EQ(read_lookup(text, cut[0], cut[1], "S", "B", key_line + 10), kAbsent) << cut[0];
        EXPECT_EQ(read_lookup(text, cut[0], cut[1], "S", "B", 0), kAbsent) << cut[0];
    }
}

// Texts built from the pieces that matter to the reader, in random order.
TEST(ProfileScan, AgreesWithLineByLineReadingOnRandomTexts) {
    const std::vector<std::string> pieces = {
        "[",
        "]",
        "=",
        "\n",
        "\r",
        "\r\n",
        " ",
        "\t",
        "\x1a",
        "\v",
        std::string(1, '\0'),
        "\"",
        "'",
        "S",
        "s",
        "K",
        "k",
        "T",
        "x",
        "[S]",
        "[T]",
        "[s ]",
        "K=",
        "k =",
        "\n[S]\n",
        "\nK=v\n",
        "\xEF\xBB\xBF",
        "v w",
    };
    std::mt19937 random(20241208);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(0, 40);
    const char* sections[] = {"S", "T", ""};
    const char* keys[] = {"K", "k", "x"};
    int disagreements = 0;
    for (int round = 0; round < 20000 && disagreements < 5; ++round) {
        std::string text;
        for (int n = length(random); n > 0; --n) text += pieces[pick(random)];
        for (const char* section : sections) {
            for (const char* key : keys) {
                std::string expected = model_lookup(text, section, key);
                std::string got = lookup(text, section, key);
                if (got != expected) ++disagreements;
                EXPECT_EQ(got, expected) << "section " << section << ", key " << key << ", text:\n" << text;
                const auto& cut = kCuts[static_cast<std::size_t>(round) % std::size(kCuts)];
                got = read_lookup(text, cut[0], cut[1], section, key);
                if (got != expected) ++disagreements;
                EXPECT_EQ(got, expected) << "read by " << cut[0] << "/" << cut[1] << ", section " << section
                                         << ", key " << key << ", text:\n"
                                         << text;
            }
        }
    }
}

#ifndef _WIN32

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tolvane-profile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        file = dir + "/tolvane.ini";
    }
    void TearDown() override {
        std::remove(file.c_str());
        rmdir(file.c_str());
        rmdir(dir.c_str());
    }
    void write(const std::string& text) { std::ofstream(file, std::ios::binary) << text; }
    std::string get(const char* section, const char* key) {
        char out[kPathBuffer];
        std::size_t n = os_profile_string(section, key, out, sizeof out, file.c_str());
        return n == 0 ? kAbsent : std::string(out, n);
    }
    std::string dir, file;
};

TEST_F(ProfileFile, EachLookupReadsTheFileAsItIsNow) {
    write("[ASM]\nASSEMBLER=first\n");
    EXPECT_EQ(get("ASM", "ASSEMBLER"), "first");
    write("[ASM]\nASSEMBLER=second, a longer value\n");
    EXPECT_EQ(get("ASM", "ASSEMBLER"), "second, a longer value");
    write("[ASM]\n");
    EXPECT_EQ(get("ASM", "ASSEMBLER"), kAbsent);
    std::remove(file.c_str());
    EXPECT_EQ(get("ASM", "ASSEMBLER"), kAbsent);
}

TEST_F(ProfileFile, LargeFileIsReadWhole) {
    std::string text = "[OTHER]\n";
    while (text.size() < (3u << 20)) text += "SETTING=unrelated value of another tool\n";
    write(text + "[DEBUG]\nVIEW=7\n[ASM]\nASSEMBLER=" + std::string(300, 'a') + "\n");
    EXPECT_EQ(get("ASM", "ASSEMBLER"), std::string(kMaxChars, 'a'));
    EXPECT_EQ(os_profile_int("DEBUG", "VIEW", 0, file.c_str()), 7);
    EXPECT_EQ(get("ASM", "LINKER"), kAbsent);

    char assembler[kPathBuffer], view[kProfileIntBuffer];
    int view_value = 0;
    ProfileQuery batch[2] = {{"ASM", "ASSEMBLER", assembler, kPathBuffer, 0, nullptr},
                             {"DEBUG", "VIEW", view, kProfileIntBuffer, 0, &view_value}};
    os_profile_lookup(file.c_str(), batch, 2);
    EXPECT_EQ(std::string(assembler, batch[0].length), std::string(kMaxChars, 'a'));
    EXPECT_EQ(view_value, 7);
}

TEST_F(ProfileFile, AnythingButARegularFileReadsAsEmpty) {
    write("");
    EXPECT_EQ(get("ASM", "ASSEMBLER"), kAbsent);
    std::remove(file.c_str());
    ASSERT_EQ(mkdir(file.c_str(), 0700), 0);
    EXPECT_EQ(get("ASM", "ASSEMBLER"), kAbsent);
    EXPECT_EQ(os_profile_int("DEBUG", "VIEW", 5, file.c_str()), 5);
    rmdir(file.c_str());
    // A FIFO without a writer must not block the lookup.
    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    EXPECT_EQ(get("ASM", "ASSEMBLER"), kAbsent);
}

#endif

}  // namespace
