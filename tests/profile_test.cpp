#include "platform/profile.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "base/limits.h"
#include "platform/os.h"
#include "utf16.h"
#ifdef _WIN32
#include "support/process.h"
#endif

namespace {

// The value the reader gives, or "<absent>" when it reports 0 characters.
// The same key asked in a batch, beside keys of other sections and in
// either order, must get the same answer.
std::string lookup(const std::string& text, const char* section, const char* key) {
    char out[kPathBuffer];
    std::size_t n = profile_get_string(text, section, key, out, sizeof out);
    EXPECT_EQ(n, std::string(out).size());
    char batch_out[3][kPathBuffer];
    ProfileQuery first[3] = {{section, key, batch_out[0], kPathBuffer, 99, nullptr},
                             {"T", "K", batch_out[1], kPathBuffer, 99, nullptr},
                             {"S", "A", batch_out[2], kPathBuffer, 99, nullptr}};
    ProfileQuery last[3] = {first[1], first[2], first[0]};
    profile_get_queries(text, first, 3);
    EXPECT_EQ(std::string(batch_out[0], first[0].length), std::string(out, n)) << "first of a batch";
    profile_get_queries(text, last, 3);
    EXPECT_EQ(std::string(batch_out[0], last[2].length), std::string(out, n)) << "last of a batch";
    return n == 0 ? "<absent>" : std::string(out);
}

// One pass answers keys of several sections at once, each as a lookup of
// its own would, and leaves defaults where nothing answers.
TEST(ProfileReader, BatchAnswersEveryKeyFromOnePass) {
    std::string text =
        "[DEBUG]\nVIEW=2x\n[ASM]\nASSEMBLER=as\nASMLIST_01=-o @1.o\nASMLIST_01=second\nASMLIST_03\n"
        "ASMLIST_03=hidden\n[DRIVER]\nEXITCODE=\n[ASM]\nASMLIST_02=second section\n[debug]\nTRACE=1\n";
    struct Case {
        const char* section;
        const char* key;
        const char* expected;  // null: absent
        bool integer;
        int value;  // the integer's result, its default 7
    } cases[] = {
        {"DEBUG", "VIEW", "2x", true, 2},           {"ASM", "ASSEMBLER", "as", false, 0},
        {"ASM", "ASMLIST_01", "-o @1.o", false, 0}, {"ASM", "ASMLIST_02", nullptr, false, 0},
        {"ASM", "ASMLIST_03", nullptr, false, 0},   {"DRIVER", "EXITCODE", nullptr, true, 7},
        {"DEBUG", "TRACE", nullptr, true, 7},       {"LNK", "LINKER", nullptr, false, 0},
        {"asm", " assembler ", "as", false, 0},
    };
    constexpr std::size_t n = sizeof cases / sizeof cases[0];
    char out[n][kPathBuffer];
    int values[n];
    ProfileQuery queries[n];
    for (std::size_t i = 0; i < n; ++i) {
        values[i] = 7;
        queries[i] = {cases[i].section, cases[i].key, out[i],
                      kPathBuffer,      99,           cases[i].integer ? &values[i] : nullptr};
    }
    profile_get_queries(text, queries, n);
    for (std::size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(cases[i].key);
        EXPECT_EQ(std::string(out[i], queries[i].length), cases[i].expected ? cases[i].expected : "");
        if (cases[i].integer) {
            EXPECT_EQ(values[i], cases[i].value);
        }
    }
}

#ifdef _WIN32
// The system's profile calls answer too, from a file of their own each
// time, as they keep files by name.
constexpr int kSystemReader = 2;
std::string system_file(const std::string& text) {
    static std::string dir = make_temp_dir();
    static int files = 0;
    std::string path = dir + "\\a" + std::to_string(++files) + ".ini";
    write_file(path, text);
    return path;
}
#else
constexpr int kSystemReader = 1;
std::string system_file(const std::string& text) { return text; }
#endif

// A query's alternate, where the file holds it (the first of its name,
// empty or not), answers in place of its section; other queries of the
// batch are not touched.
TEST(ProfileReader, AlternateSectionTakesThePlaceOfItsSection) {
    const char* none = "[D]\nV=1\n";
    struct Case {
        std::string text;
        const char* value;  // of K, from S.c where `alternate`
        bool alternate;
    } cases[] = {
        {"[S]\nK=plain\n[S.cc]\nK=cc\n[S .c]\nK=blank\n", "plain", false},
        {"[S]\nK=plain\nL=1\n[S.c]\nK=alt\n", "alt", true},
        {"[s.C]\nK=alt\n[S]\nK=plain\n", "alt", true},
        {"[S]\nK=plain\n[S.c]\n", "", true},
        {"[S.c]\nL=1\n[S.c]\nK=second\n[S]\nK=plain\n", "", true},
        {"[ S.c ]\nK=trimmed\n[S]\n", "trimmed", true},
    };
    for (const Case& c : cases) {
        char out[3][kPathBuffer];
        ProfileQuery q[3] = {{"S", "K", out[0], kPathBuffer, 0, nullptr},
                             {"S", "L", out[1], kPathBuffer, 0, nullptr},
                             {"D", "V", out[2], kPathBuffer, 0, nullptr}};
        q[0].alternate = q[1].alternate = "S.c";
        q[2].alternate = "D.x";  // one more, never met
        std::string text = none + c.text + none;
        for (int system = 0; system < kSystemReader; ++system) {
            system ? os_profile_lookup(system_file(text).c_str(), q, 3) : profile_get_queries(text, q, 3);
            EXPECT_EQ(std::string(out[0], q[0].length), c.value) << c.text << system;
            EXPECT_EQ(q[0].from_alternate, c.alternate) << c.text << system;
            EXPECT_EQ(std::string(out[2], q[2].length) + (q[2].from_alternate ? "!" : ""), "1") << c.text;
        }
    }
}

TEST(ProfileReader, KeyLists) {
    struct Case {
        std::string text;
        const char* section;  // null: the list of sections
        std::size_t size;
        std::string expected;  // names, each ended by "|"
        bool later = false;    // the keys of the sections behind the first of the name
    } cases[] = {
        {"K=0\n[A]\nK=1\n [ b ] x\n[]\n[c\n[A]\nB=[x]\n[d]]\n", nullptr, 256, "A|b|A|d]|"},
        {"[AB]\n[CD]\n", nullptr, 6, "AB|"},
        {"[ASM]\nASSEMBLER=as\n ASMLIST_1 = x \nflag\n;note=1\n#K=2\n[LNK]\nLINKER=ld\n", "asm", 256,
         "ASSEMBLER|ASMLIST_1|#K|"},
        {"[S]\nA=1\na=2\n[S]\nB=second section\n", "S", 256, "A|a|"},
        {"[S]\nA=1\n=nameless\nB=2\n", "S", 256, "A|"},
        {"[S]\n", "S", 256, ""},
        {"[T]\nA=1\n", "S", 256, ""},
        {"[S]\nABC=1\nDEF=2\n", "S", 8, "ABC|"},
        {"[S]\nABC=1\nDEF=2\n", "S", 9, "ABC|DEF|"},
        {"[S]\nABC=1\n", "S", 1, ""},
        {"[S]\nA=1\n[T]\nB=2\n[s]\nC=3\n;D=4\n=5\nE\nF=6\n[S]\nC=7\n", "S", 256, "C|F|C|", true},
    };
    for (const Case& c : cases) {
        std::string out(c.size, '#');
        std::size_t n = c.later     ? profile_get_later_keys(c.text, c.section, &out[0], c.size)
                        : c.section ? profile_get_keys(c.text, c.section, &out[0], c.size)
                                    : profile_get_sections(c.text, &out[0], c.size);
        std::string got;
        for (std::size_t i = 0; i < n; ++i) got += out[i] == '\0' ? '|' : out[i];
        EXPECT_EQ(got, c.expected) << c.text << " / " << c.size;
        EXPECT_EQ(out[n], '\0') << c.text << " / " << c.size;
    }
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
        {"[Zone]\nK=1\n[zone]\nK=2\n", "zONE", "k", "1"},
        {"[az]\nAZ=both ends\n", "AZ", "az", "both ends"},
        {"[S]\nK@=1\nK[=2\n", "S", "K`", "<absent>"},
        {"[S]\nK@=1\nK[=2\n", "S", "K{", "<absent>"},
    };
    for (const Case& c : cases) EXPECT_EQ(lookup(c.text, c.section, c.key), c.expected) << c.text;
}

TEST(ProfileReader, LongValuesAreCut) {
    for (std::size_t len : {258u, 259u, 260u, 300u}) {
        std::string value(len, 'v');
        std::string got = lookup("[S]\nK=" + value + "\n", "S", "K");
        EXPECT_EQ(got, value.substr(0, kMaxChars)) << len;
        // A batch says which values were cut; quotes do not count.
        char out[kPathBuffer];
        ProfileQuery query[2] = {{"S", "K", out, kPathBuffer, 0, nullptr, true},
                                 {"S", "Q", out, kPathBuffer, 0, nullptr, false}};
        profile_get_queries("[S]\nQ=\"" + value + "\"\nK=" + value + "\n", query, 2);
        EXPECT_EQ(query[0].cut, len > kMaxChars) << len;
        EXPECT_EQ(query[1].cut, len > kMaxChars) << len;
    }
    // Plain bytes are cut as bytes, also inside a character of UTF-8.
    EXPECT_EQ(lookup("[S]\nK=" + std::string(258, 'v') + "\xC3\xA9\n", "S", "K"),
              std::string(258, 'v') + "\xC3");
    std::string quoted(300, 'q');
    EXPECT_EQ(lookup("[S]\nK=\"" + quoted + "\"\n", "S", "K"), quoted.substr(0, kMaxChars));

    char small[4];
    EXPECT_EQ(profile_get_string("[S]\nK=abcdef\n", "S", "K", small, sizeof small), 3u);
    EXPECT_STREQ(small, "abc");
}

// Without a mark, a file looks like UTF-16 when more than half of the units
// of its first 64 bytes hold a NUL byte, all on the same side.
TEST(ProfileReader, EncodingWords) {
    auto wide = [](std::size_t n, bool big) { return utf16_file(std::u16string(n, u'a'), big).substr(2); };
    const char* unmarked = "but it looks like UTF-16 without a byte order mark";
    const std::pair<std::string, const char*> cases[] = {
        // the words' beginning, "-" for none
        {utf16_file(u"[S]"), "UTF-16LE"},
        {wide(17, false) + std::string(30, 'b'), unmarked},
        {wide(16, false) + std::string(32, 'b') + wide(1, false), "-"},
        {wide(17, true) + std::string(30, 'b'), unmarked},
        {wide(16, true) + std::string(32, 'b'), "-"},
        {wide(1, false), unmarked},
        {"a", "-"},
        {std::string(4, '\0'), "-"}};
    for (const auto& c : cases) {
        const char* words = profile_encoding_words(c.first.data(), c.first.size());
        EXPECT_EQ(std::string(words ? words : "-").rfind(c.second, 0), 0u) << c.first;
    }
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

    // Whether the trace must say what a value reads as.
    const std::pair<const char*, bool> whole[] = {
        {"1", true},   {" -0x1F ", true}, {"0b101", true}, {"42A9", false},  {"yes", false},
        {"0x", false}, {"", false},       {"- 5", false},  {"12 34", false}, {"0X10", false},
    };
    for (const auto& w : whole) EXPECT_EQ(profile_int_is_whole(w.first), w.second) << w.first;

    EXPECT_EQ(profile_get_int("[D]\nV=\n", "D", "V", 99), 99);
    EXPECT_EQ(profile_get_int("[D]\nW=1\n", "D", "V", 99), 99);
    EXPECT_EQ(profile_get_int("", "D", "V", 0), 0);
}

}  // namespace
