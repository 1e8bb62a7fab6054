#include "platform/profile.h"

#include <gtest/gtest.h>

#include <string>

#include "base/limits.h"

namespace {

// The value the reader gives, or "<absent>" when it reports 0 characters.
std::string lookup(const std::string& text, const char* section, const char* key) {
    char out[kPathBuffer];
    std::size_t n = profile_get_string(text, section, key, out, sizeof out);
    EXPECT_EQ(n, std::string(out).size());
    return n == 0 ? "<absent>" : std::string(out);
}

TEST(ProfileReader, StringLookups) {
    struct Case {
        std::string text;
        const char* section;
        const char* key;
        std::string expected;
    } cases[] = {
        {"[ASM]\nASSEMBLER=as\n", "ASM", "ASSEMBLER", "as"},
        {"[asm]\nassembler=as\n", "ASM", "ASSEMBLER", "as"},
        {"  [ ASM ]  \n\t K \t=\t v w \t\n", "ASM", "K", "v w"},
        {"[ASM]\nK=a=b\n", "ASM", "K", "a=b"},
        {"[S] trailing text\nK=1\n", "S", "K", "1"},
        {"[U]]\nK=1\n", "U]", "K", "1"},
        {"[T\nK=1\n", "T", "K", "<absent>"},
        {"[S]\n[T\nK=1\n", "S", "K", "1"},
        {"[S]\nK=\"quoted value\"\n", "S", "K", "quoted value"},
        {"[S]\nK='single'\n", "S", "K", "single"},
        {"[S]\nK=\"\"\n", "S", "K", "<absent>"},
        {"[S]\nK=\"\n", "S", "K", "\""},
        {"[S]\nK=\"mixed'\n", "S", "K", "\"mixed'"},
        {"[S]\nK= \" padded \" \n", "S", "K", " padded "},
        {"[S]\n;K=commented\n", "S", "K", "<absent>"},
        {"[S]\n;K=commented\n", "S", ";K", "commented"},
        {"[S]\nK=v ; not a comment\n", "S", "K", "v ; not a comment"},
        {"[S]\nK\n", "S", "K", "<absent>"},
        {"[S]\nK\nK=later\n", "S", "K", "<absent>"},
        {"[S]\nK=first\nK=second\n", "S", "K", "first"},
        {"[S]\nA=1\n[S]\nK=second section\n", "S", "K", "<absent>"},
        {"[S]\nK=1\n[T]\nK=2\n", "T", "K", "2"},
        {"K=before any section\n[S]\n", "S", "K", "<absent>"},
        {"[S]\r\nK=crlf\r\n", "S", "K", "crlf"},
        {"[S]\rK=cr\rL=x", "S", "K", "cr"},
        {"[S]\nK=no final newline", "S", "K", "no final newline"},
        {std::string("[S]\nK=ab\0cd\n", 12), "S", "K", "ab"},
        {"\xEF\xBB\xBF[S]\nK=bom\n", "S", "K", "bom"},
        {"[S]\nK=\n", "S", "K", "<absent>"},
        {"[ ASM ]\nK=asked with blanks\n", " ASM\t", "\tK ", "asked with blanks"},
        {"[S]\nKEY=1\n", "S", "K", "<absent>"},
        {"", "S", "K", "<absent>"},
        {"[S]\nASMLIST_1=x\n", "S", "ASMLIST_01", "<absent>"},
    };
    for (const Case& c : cases) EXPECT_EQ(lookup(c.text, c.section, c.key), c.expected) << c.text;
}

TEST(ProfileReader, LongValuesAreCut) {
    for (std::size_t len : {258u, 259u, 260u, 300u}) {
        std::string value(len, 'v');
        std::string got = lookup("[S]\nK=" + value + "\n", "S", "K");
        EXPECT_EQ(got, value.substr(0, kMaxChars)) << len;
    }
    std::string quoted(300, 'q');
    EXPECT_EQ(lookup("[S]\nK=\"" + quoted + "\"\n", "S", "K"), quoted.substr(0, kMaxChars));

    char small[4];
    EXPECT_EQ(profile_get_string("[S]\nK=abcdef\n", "S", "K", small, sizeof small), 3u);
    EXPECT_STREQ(small, "abc");
}

TEST(ProfileReader, IntegerLookups) {
    struct Case {
        const char* value;
        int expected;
    } cases[] = {
        {"1", 1},     {"0", 0},     {"+1", 1},     {"-1", -1},        {"42A9", 42},
        {"B42", 0},   {"0x10", 16}, {"0X10", 0},   {"0x", 0},         {"-0x10", -16},
        {"0b101", 5}, {"0o17", 15}, {"\" 7\"", 7}, {"4294967297", 1}, {"2147483648", INT32_MIN},
        {"007", 7},   {"- 5", 0},   {"12 34", 12},
    };
    for (const Case& c : cases)
        EXPECT_EQ(profile_get_int(std::string("[D]\nV=") + c.value + "\n", "D", "V", 99), c.expected)
            << c.value;

    EXPECT_EQ(profile_get_int("[D]\nV=\n", "D", "V", 99), 99);
    EXPECT_EQ(profile_get_int("[D]\nW=1\n", "D", "V", 99), 99);
    EXPECT_EQ(profile_get_int("", "D", "V", 0), 0);
}

}  // namespace
