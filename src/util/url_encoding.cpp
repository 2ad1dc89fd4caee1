// Percent-encoding of paths as UTF-8 URL text, and decoding back to UTF-16.
#include <vqx/strings.h>

#include "util/hex_digits.h"

#include <cstdlib>
#include <set>

namespace vqx {
namespace {

// The two reserved-character sets, built when the library is loaded and released at unload.
class ReservedCharacters {
public:
    ReservedCharacters() : m_withQuery(Build(":? %,;@&=+$<>#\"")), m_withoutQuery(Build(":? %,;@+$<>#\"")) {}

    bool Contains(char byte, bool escapeQuery) const {
        const std::set<char>& reserved = escapeQuery ? m_withQuery : m_withoutQuery;
        return reserved.count(byte) != 0;
    }

private:
    static std::set<char> Build(const char* characters) {
        return std::set<char>(characters, characters + std::char_traits<char>::length(characters));
    }

    const std::set<char> m_withQuery;     // 15 characters, '&' and '=' included
    const std::set<char> m_withoutQuery;  // 13 characters
};

const ReservedCharacters g_reservedCharacters;

// Bytes are judged as signed: control characters, the space and every byte from 0x80 upwards
// are at most 32.
bool MustEscape(char byte, bool escapeQuery) {
    const signed char value = static_cast<signed char>(byte);
    return value <= 32 || value == 127 || g_reservedCharacters.Contains(byte, escapeQuery);
}

// The (up to) two characters after a '%', read as strtol reads base 16; never past the end.
char DecodeEscape(const vqx_string& url, size_t percent) {
    char digits[3] = {'\0', '\0', '\0'};
    for (size_t i = 0; i < 2 && percent + 1 + i < url.size(); ++i)
        digits[i] = url[percent + 1 + i];
    return static_cast<char>(std::strtol(digits, nullptr, 16) & 0xFF);
}

}  // namespace

extern "C" {

vqx_string VQX_CALL vqx_from_unicode_to_url_utf8(const vqx_wstring& path, bool escapeQuery) {
    const vqx_string utf8 = vqx_from_unicode_to_utf8(vqx_convert_path_to_url_accepted_path(path));
    vqx_string url;
    url.reserve(utf8.size());
    for (const char byte : utf8) {
        if (MustEscape(byte, escapeQuery)) {
            url.push_back('%');
            hex::AppendByte(url, static_cast<unsigned char>(byte));
        } else {
            url.push_back(byte);
        }
    }
    return url;
}

// An escape that decodes to 0 ends the text, since the UTF-8 conversion stops at the first NUL.
vqx_wstring VQX_CALL vqx_from_url_utf8_to_unicode(const vqx_string& url) {
    vqx_string bytes;
    bytes.reserve(url.size());
    size_t start = 0;
    while (start < url.size()) {
        const size_t percent = url.find('%', start);
        if (percent == vqx_string::npos) {
            bytes.append(url, start, vqx_string::npos);
            break;
        }
        bytes.append(url, start, percent - start);
        bytes.push_back(DecodeEscape(url, percent));
        start = percent + 3;
    }
    return vqx_from_utf8_to_unicode(bytes);
}

}  // extern "C"
}  // namespace vqx
