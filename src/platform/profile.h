// Reader of the profile (INI) format, over a file's bytes in memory. It
// answers lookups the way the Windows profile calls do:
// - section and key names match without regard to case, and the names
//   asked for are trimmed of blanks as the names in the file are;
// - each line is trimmed of blanks (tab to carriage return, space, 0x1A),
//   and so are the name and the value around the first "=";
// - a line beginning with "[" is a section header closed by the last "]"
//   on it (text behind that is ignored; without "]" it is an ordinary line),
//   and the name between the brackets is trimmed;
// - no comments of any kind: ";x=1" is a key named ";x";
// - a line without "=" is a key without value, so its lookup gives nothing;
// - only the first section of a name is searched, and in it the first key
//   of a name answers;
// - lines end at LF, CR or CRLF; a NUL byte ends the name or value it is in;
// - a UTF-8 byte order mark at the very start is skipped;
// - a file that begins with a UTF-16 byte order mark (FF FE little-endian,
//   FE FF big-endian) is read as the text it encodes, in UTF-8: a surrogate
//   without its partner and a lone last byte become "?", and a value cut to
//   its buffer is cut in front of a character, never inside one.
#pragma once

#include <cstddef>
#include <string_view>

// What a byte order mark at the start of a file says of its encoding.
enum class ProfileEncoding { plain, utf8_mark, utf16le, utf16be };

// The encoding that the first `n` bytes of a file announce.
ProfileEncoding profile_encoding(const char* head, std::size_t n);

// The encoding's name for the trace ("UTF-16LE", "UTF-16BE", "UTF-8 with a
// byte order mark"); null for plain bytes.
const char* profile_encoding_name(ProfileEncoding encoding);

// The bytes at a file's start that the trace looks at for its encoding.
constexpr std::size_t kProfileHead = 64;

// What the trace says of the encoding of a file that begins with the `n`
// bytes at `head`: profile_encoding_name of its byte order mark; without
// one, words on how to save it where it looks like UTF-16 (of the units in
// the first kProfileHead bytes, a lone last byte left out, more than half
// hold a NUL byte and another on the same sides, as ASCII text in UTF-16
// does), and null for plain bytes.
const char* profile_encoding_words(const char* head, std::size_t n);

// The words profile_encoding_words gives for a file that looks like UTF-16
// without a byte order mark, the one encoding that is a mistake.
extern const char kProfileUnmarkedUtf16[];

// Copies the value of `key` in `section` into `out`: a pair of equal quotes
// (" or ') around it is removed, and at most out_size - 1 characters are
// kept. Returns the number of characters placed, 0 when there is no value.
std::size_t profile_get_string(std::string_view text, const char* section, const char* key, char* out,
                               std::size_t out_size);

// The value of `key` as an integer: blanks skipped, one sign, a "0x", "0o"
// or "0b" prefix for another base, digits up to the first other character,
// wrapping modulo 2^32. `def` only where the value is absent or empty.
int profile_get_int(std::string_view text, const char* section, const char* key, int def);

// Where a lookup in a file gets the file's bytes, from the start on: `read`
// places up to `size` bytes in `buffer` and returns how many, 0 at the end
// of the file and -1 when it cannot be read (the lookup then finds nothing).
struct ProfileSource {
    long (*read)(void* context, char* buffer, std::size_t size);
    void* context;
};

// The longest buffer a line may take. A reading that meets a longer line
// ends there as if the file could be read no further.
constexpr std::size_t kProfileLineMax = 16u << 20;

// profile_get_string and profile_get_int over a source that is read piece
// by piece into `scratch` (scratch_size bytes, at least 4), so that a
// lookup in a file of any size needs no more memory than that. Only a line
// longer than the scratch buffer (and a UTF-16 file whose first piece
// leaves too little of it to decode into) takes memory from the heap, for
// the time of the lookup, doubling up to kProfileLineMax (so a reading never holds
// more than one and a half times that); where that fails, the lookup finds
// nothing from that line on.
std::size_t profile_read_string(const ProfileSource& source, char* scratch, std::size_t scratch_size,
                                const char* section, const char* key, char* out, std::size_t out_size);
int profile_read_int(const ProfileSource& source, char* scratch, std::size_t scratch_size,
                     const char* section, const char* key, int def);

// Reads an integer value as profile_get_int does with its text.
int profile_parse_int(std::string_view value);

// True when the whole value reads as that integer: at least one digit, and
// nothing but blanks behind the digits ("2x" and "yes" do not).
bool profile_int_is_whole(std::string_view value);

// Characters of a value that an integer lookup reads, as the Windows call
// reads no more before it converts; an integer query's buffer holds them.
constexpr std::size_t kProfileIntBuffer = 30;

// One lookup of a batch that a single reading of the file answers.
struct ProfileQuery {
    const char* section;
    const char* key;
    // String lookup: the value goes into `out` (out_size bytes) and its
    // length into `length`, 0 when absent or empty.
    char* out;
    std::size_t out_size;
    std::size_t length;
    // Integer lookup when not null: `*integer` holds the default and
    // receives the value. `out` then needs kProfileIntBuffer bytes; what it
    // and `cut` receive is the platform's affair.
    int* integer;
    // String lookup: true when the value was longer than out_size - 1
    // characters and was cut.
    bool cut = false;
    // When not null, a section that takes the place of `section` where the
    // file holds one of that name, empty or not: the query is answered
    // from the first of that name alone, and `from_alternate` says so.
    const char* alternate = nullptr;
    bool from_alternate = false;
};

// The section a query was answered from.
inline const char* query_section(const ProfileQuery& q) { return q.from_alternate ? q.alternate : q.section; }

// Queries that one pass answers; the driver asks at most 42 at a time
// (the linker's keys and the run stage's).
constexpr std::size_t kProfileBatch = 42;

// Answers every query of the batch from one pass over the source, each as
// profile_read_string or profile_read_int alone would in query_section.
// Only the first kProfileBatch queries are answered. A query with an
// alternate keeps the pass going to the file's end unless that section
// was met.
void profile_read_queries(const ProfileSource& source, char* scratch, std::size_t scratch_size,
                          ProfileQuery* queries, std::size_t count);
void profile_get_queries(std::string_view text, ProfileQuery* queries, std::size_t count);

// The key names of the first section named `section` (asked as given, not
// trimmed), in file order and as written, each ended by a NUL and the list
// by one more, as the Windows profile call gives them for a null key name:
// only lines that hold "=", no names beginning with ";" (a lookup finds
// them all the same), duplicates each time, and nothing from an empty name
// on. A name that does not fit ends the list. Returns the bytes in front of
// the last NUL.
std::size_t profile_read_keys(const ProfileSource& source, char* scratch, std::size_t scratch_size,
                              const char* section, char* out, std::size_t out_size);
std::size_t profile_get_keys(std::string_view text, const char* section, char* out, std::size_t out_size);

// The key names of every section named `section` behind the first, which
// no lookup reads, listed as profile_read_keys lists those of the first,
// except that an empty name is passed over.
std::size_t profile_read_later_keys(const ProfileSource& source, char* scratch, std::size_t scratch_size,
                                    const char* section, char* out, std::size_t out_size);
std::size_t profile_get_later_keys(std::string_view text, const char* section, char* out,
                                   std::size_t out_size);

// The names of the file's sections in file order, as the Windows profile
// call gives them: each ended by a NUL and the list by one more, a name
// each time a header stands, none for an empty name. A name that does not
// fit ends the list. Returns the bytes in front of the last NUL.
std::size_t profile_read_sections(const ProfileSource& source, char* scratch, std::size_t scratch_size,
                                  char* out, std::size_t out_size);
std::size_t profile_get_sections(std::string_view text, char* out, std::size_t out_size);
