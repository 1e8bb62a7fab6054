// Pieces of the Windows platform layer that its two files share and its
// tests reach directly. Only os_win32.cpp, os_win32_text.cpp and Windows
// tests include this header.
#pragma once

#include <cstddef>
#include <string>

// True in the build whose manifest declares UTF-8 as the process code page
// (CMake option TOLVANE_UTF8, which defines TOLVANE_UTF8).
#ifdef TOLVANE_UTF8
constexpr bool kUtf8Build = true;
#else
constexpr bool kUtf8Build = false;
#endif

// The C runtime's error number for a system error code: the codes that mean
// "not there" (2, 3, 15, 18, 53, 67, 161, 206) give ENOENT, the others what
// they mean (EACCES, ENOEXEC, ENOMEM, ...), EINVAL where nothing fits.
int errno_from_system_error(unsigned long code);

// Flag bits of the descriptor table block that a child's C runtime reads
// from STARTUPINFOA's cbReserved2 and lpReserved2.
constexpr unsigned char kFdOpen = 0x01;
constexpr unsigned char kFdPipe = 0x08;
constexpr unsigned char kFdDevice = 0x40;
constexpr unsigned char kFdText = 0x80;

// The descriptor table block for the driver's descriptors as they stand: a
// 32-bit count N, N flag bytes, N handles of pointer width. Descriptors 0
// to 2 are always described; a descriptor that is not to be inherited is
// described as free (flag 0, handle -1). Returns the block, which the
// caller frees, and its length in `size`; null when memory ran out.
unsigned char* descriptor_block(std::size_t& size);

// True when CreateProcessA would hand `file` to the command interpreter
// (its extension is .bat or .cmd, in any case, trailing dots and blanks
// aside) and the interpreter would misread the command line: `program`,
// its first word, holds a blank or a tab, at which the interpreter cuts
// it, or the line holds a character that the interpreter gives a meaning
// of its own: & | < > ^ %.
bool is_unsafe_script_launch(const char* file, const char* program, const char* command_line);

// 2 for a surrogate pair at w[0], else 1.
std::size_t units_at(const wchar_t* w, const wchar_t* end);

// The text from `w` to `end` appended to `out` in code page `page`, "?"
// for each character that has no exact form there. Returns the first such
// code point, 0 when none.
unsigned long append_converted(unsigned page, const wchar_t* w, const wchar_t* end, std::string& out);
