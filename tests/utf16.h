#pragma once

#include <string>
#include <string_view>

// `text` as a UTF-16 file, as a Windows editor saves it "as Unicode": the
// byte order mark, then each unit in the byte order asked for.
inline std::string utf16_file(std::u16string_view text, bool big_endian = false) {
    std::string bytes;
    for (char16_t unit : u"\uFEFF" + std::u16string(text)) {
        char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        bytes += big_endian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}
