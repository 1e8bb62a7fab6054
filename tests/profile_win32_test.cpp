// The profile reader against the system's own profile calls: every lookup
// over a corpus of awkward files must give the same answer from both.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "base/limits.h"
#include "platform/os.h"
#include "platform/profile.h"
#include "support/process.h"
#include "utf16.h"

namespace {

struct Lookup {
    const char* section;
    const char* key;
};

struct Corpus {
    std::string text;
    std::vector<Lookup> lookups;
    bool quoted = false;  // the values looked up are quoted
};

std::string text_with_value(const std::string& value) { return "[S]\nK=" + value + "\n"; }

std::vector<Corpus> corpus() {
    std::vector<Corpus> files = {
        {"[ASM]\nASSEMBLER=as\n[asm]\nassembler=second\n", {{"ASM", "ASSEMBLER"}, {"asm", "Assembler"}}},
        {"  [ ASM ]  \n\t K \t=\t v w \t\n", {{"ASM", "K"}, {" ASM ", "K"}, {"ASM", "\tK "}, {"AS M", "K"}}},
        {"[S]\nK=a=b\nL = = c\nM==\n", {{"S", "K"}, {"S", "L"}, {"S", "M"}}},
        {"[S] trailing text\nK=1\n[U]]\nK=2\n[V] ] x\nK=3\n",
         {{"S", "K"}, {"U]", "K"}, {"V] ", "K"}, {"V]", "K"}}},
        {"[T\nK=1\n[S]\n[T\nK=2\n", {{"T", "K"}, {"S", "K"}, {"[T", "K"}}},
        {"[S]\nA=\"quoted value\"\nB='single'\nC=\"\"\nD=\"\nE=\"mixed'\nF= \" padded \" "
         "\nG=''\nH=\"a\"b\"\n",
         {{"S", "A"}, {"S", "B"}, {"S", "C"}, {"S", "D"}, {"S", "E"}, {"S", "F"}, {"S", "G"}, {"S", "H"}},
         true},
        {"[S]\n;K=commented\n#L=hash\nM=v ; not a comment\n N = x # y\n",
         {{"S", "K"}, {"S", ";K"}, {"S", "#L"}, {"S", "M"}, {"S", "N"}}},
        {"[S]\nK\nK=later\nL \nM=first\nM=second\n", {{"S", "K"}, {"S", "L"}, {"S", "M"}}},
        {"[S]\nA=1\n[T]\nK=t\n[S]\nK=second section\n", {{"S", "A"}, {"S", "K"}, {"T", "K"}}},
        {"[S]\r\nK=crlf\r\nL=two\r\n", {{"S", "K"}, {"S", "L"}}},
        {"[S]\rK=cr\rL=x", {{"S", "K"}, {"S", "L"}}},
        {"[S]\n\nK=blank lines\n\n\nL=x\n", {{"S", "K"}, {"S", "L"}}},
        {"[S]\nK=no final newline", {{"S", "K"}}},
        {"[S]\nK=", {{"S", "K"}}},
        {"[S]", {{"S", "K"}}},
        {std::string("[S]\nK=ab\0cd\nL=x\n", 16), {{"S", "K"}, {"S", "L"}}},
        {"\xEF\xBB\xBF[S]\nK=bom\n", {{"S", "K"}}},
        {"[S]\nK=\n L=\t\n", {{"S", "K"}, {"S", "L"}}},
        {"[S]\nKEY=1\n", {{"S", "K"}, {"S", "KEY"}, {"S", "key"}}},
        {"", {{"S", "K"}}},
        {"[S]\nASMLIST_1=x\n", {{"S", "ASMLIST_01"}, {"S", "ASMLIST_1"}}},
        {"[S]\n\x1aK=sub\nL=v\x1a\n", {{"S", "K"}, {"S", "L"}}},
        {"[S]\nK=\tv\v\f\n", {{"S", "K"}}},
        {"[ S ]\n[S]\nK=2\n", {{"S", "K"}}},
        {"[\tS\t]\nK=tabs\n", {{"S", "K"}}},
        {"[S]\n=no key\nK=v\n", {{"S", "K"}}},
        {"[S]\nK\t=\tv\n", {{"S", "K"}}},
        {"[DEBUG]\nVIEW=1\n[ASM]\nASSEMBLER=C:\\tools\\as.exe\nASMLIST_01=@1\n",
         {{"DEBUG", "VIEW"}, {"ASM", "ASSEMBLER"}, {"asm", "asmlist_01"}, {"LNK", "LINKER"}}},
    };
    for (std::size_t n : {258, 259, 260, 300}) {
        std::string value(n, 'v');
        value[n - 1] = 'z';
        files.push_back({text_with_value(value), {{"S", "K"}}});
        files.push_back({text_with_value(" " + value + " "), {{"S", "K"}}});
    }
    for (std::size_t n : {258, 259, 260, 300})
        files.push_back({text_with_value("'" + std::string(n, 'q') + "'"), {{"S", "K"}}, true});
    // UTF-16 files, in ASCII: beyond it the system hands on the ANSI code page.
    std::u16string wide[] = {u"[S]\r\nK=le\r\nL= 'q' \r\n[T]\rK=t\n",
                             u"[S]\r\nK=" + std::u16string(300, u'w'), u""};
    for (bool big : {false, true})
        for (const std::u16string& text : wide)
            files.push_back({utf16_file(text, big), {{"S", "K"}, {"S", "L"}, {"T", "K"}}});
    return files;
}

const char* const kIntValues[] = {"0",
                                  "1",
                                  "42",
                                  "-1",
                                  "+1",
                                  "  7",
                                  "\t8",
                                  "- 5",
                                  "+-3",
                                  "--3",
                                  "42A9",
                                  "B42",
                                  "B1",
                                  "0x10",
                                  "0X10",
                                  "0x",
                                  "0xg",
                                  "0x1F",
                                  "-0x10",
                                  "010",
                                  "0o17",
                                  "0b101",
                                  "1e3",
                                  "4294967295",
                                  "4294967296",
                                  "4294967297",
                                  "2147483648",
                                  "-2147483649",
                                  "99999999999",
                                  "3 4",
                                  "\"12\"",
                                  "'13'",
                                  "\"-14\"",
                                  "",
                                  " ",
                                  "x",
                                  "12345678901234567890123456789012345"};

// The reader's answer and the system's for one lookup, as text.
struct Answer {
    std::string value;
    std::size_t length;
};

Answer reader_answer(const std::string& text, const Lookup& l, std::size_t size) {
    std::vector<char> out(size, '#');
    std::size_t n = profile_get_string(text, l.section, l.key, out.data(), size);
    return {std::string(out.data()), n};
}

Answer system_answer(const std::string& file, const Lookup& l, std::size_t size) {
    std::vector<char> out(size, '\0');
    DWORD n =
        GetPrivateProfileStringA(l.section, l.key, "", out.data(), static_cast<DWORD>(size), file.c_str());
    return {std::string(out.data()), n};
}

bool under_wine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

// Wine (not Windows) drops one more character from a quoted value whose
// unquoted length is exactly one less than the buffer.
bool wine_quote_quirk(const Answer& mine, const Answer& theirs, std::size_t size) {
    return under_wine() && mine.length + 1 == size && theirs.length + 1 == mine.length &&
           mine.value.compare(0, theirs.length, theirs.value) == 0;
}

class SystemProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = make_temp_dir();
        char full[MAX_PATH];
        ASSERT_NE(GetFullPathNameA(dir.c_str(), MAX_PATH, full, nullptr), 0u);
        dir = full;
    }
    void TearDown() override { remove_tree(dir); }

    // The system caches profile files by name, so each text gets a new one.
    std::string fresh_file(const std::string& text) {
        std::string path = dir + "\\p" + std::to_string(++files) + ".ini";
        write_file(path, text);
        return path;
    }

    std::string dir;
    int files = 0;
};

TEST_F(SystemProfileTest, StringLookupsAgree) {
    for (const Corpus& c : corpus()) {
        std::string file = fresh_file(c.text);
        for (const Lookup& l : c.lookups) {
            // Both tell a value that was cut from one that just fits.
            char a[kPathBuffer], b[kPathBuffer];
            ProfileQuery mine = {l.section, l.key, a, kPathBuffer, 0, nullptr}, theirs = {mine};
            theirs.out = b;
            profile_get_queries(c.text, &mine, 1);
            os_profile_lookup(file.c_str(), &theirs, 1);
            EXPECT_EQ(mine.cut, theirs.cut) << c.text << "[" << l.section << "]" << l.key;
            for (std::size_t size : {kPathBuffer, std::size_t{30}, std::size_t{4}}) {
                Answer mine = reader_answer(c.text, l, size);
                Answer theirs = system_answer(file, l, size);
                if (c.quoted && wine_quote_quirk(mine, theirs, size)) continue;
                EXPECT_EQ(mine.value, theirs.value)
                    << c.text << "[" << l.section << "]" << l.key << " size " << size;
                EXPECT_EQ(mine.length, theirs.length)
                    << c.text << "[" << l.section << "]" << l.key << " size " << size;
            }
        }
    }
}

TEST_F(SystemProfileTest, IntegerLookupsAgree) {
    for (const char* value : kIntValues) {
        for (const std::string& text :
             {text_with_value(value), "[S]\nK" + std::string(value[0] ? "=" : "") + value}) {
            std::string file = fresh_file(text);
            for (int def : {0, 5, -7}) {
                int theirs = static_cast<int>(GetPrivateProfileIntA("S", "K", def, file.c_str()));
                EXPECT_EQ(profile_get_int(text, "S", "K", def), theirs)
                    << "value [" << value << "] default " << def;
            }
        }
    }
    std::string file = fresh_file("[S]\nL=1\n");
    EXPECT_EQ(GetPrivateProfileIntA("S", "K", 9, file.c_str()), 9u);
    EXPECT_EQ(profile_get_int("[S]\nL=1\n", "S", "K", 9), 9);
}

// A key list as text, each name ended by "|".
std::string list_text(const char* list, std::size_t n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += list[i] == '\0' ? '|' : list[i];
    return text;
}

TEST_F(SystemProfileTest, KeyListsAgree) {
    std::vector<std::string> texts = {
        "[S]\nA=1\nB\nC=3\n;D=4\n #E=5\n\"Q\"=7\n'R'=8\n A = 9\na=dup\n[T]\nX=1\n[s]\nF=2\n",
        "[S]\nK=1\n=2\nL=3\n",
        "[S]\n=1\nK=3\n",
        "[S]\nK\nL\n",
        "[S]\nAB=1\nCDE=2\nF=3\n",
        "[S]\n[x\ny=9\n\tTab\t=4\nK\x1a=1\n",
    };
    for (const Corpus& c : corpus()) texts.push_back(c.text);
    for (const std::string& text : texts) {
        std::string file = fresh_file(text);
        // The driver asks for names without blanks around them; the system
        // does not trim the section name of a list.
        std::set<std::string> sections = {"S", "T"};
        for (const Corpus& c : corpus())
            for (const Lookup& l : c.lookups)
                if (l.section[0] != ' ' && l.section[0] != '\t' &&
                    l.section[std::strlen(l.section) - 1] != ' ')
                    sections.insert(l.section);
        for (const std::string& section : sections) {
            for (std::size_t size : {std::size_t{16384}, std::size_t{30}, std::size_t{9}, std::size_t{4}}) {
                std::vector<char> mine(size, '#'), theirs(size, '#');
                std::size_t m = profile_get_keys(text, section.c_str(), mine.data(), size);
                std::size_t t = os_profile_keys(section.c_str(), theirs.data(), size, file.c_str());
                EXPECT_EQ(list_text(mine.data(), m), list_text(theirs.data(), t))
                    << text << "[" << section << "] size " << size;
            }
        }
        std::vector<char> mine(4096, '#'), theirs(4096, '#');
        std::size_t m = profile_get_sections(text, mine.data(), mine.size());
        std::size_t t = os_profile_sections(theirs.data(), theirs.size(), file.c_str());
        EXPECT_EQ(list_text(mine.data(), m), list_text(theirs.data(), t)) << text;
    }
}

}  // namespace
