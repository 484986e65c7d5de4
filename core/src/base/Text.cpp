#include "vantery/base/Text.hpp"

#include <algorithm>
#include <cstdlib>

#include <utf8proc.h>

namespace vantery::text {
namespace {

// Decodes one code point at pos; returns its byte length, or -1 with len 1 for
// an invalid sequence.
utf8proc_int32_t decodeAt(std::string_view s, std::size_t pos, std::size_t& len) {
    utf8proc_int32_t cp = -1;
    auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(s.data() + pos),
                              static_cast<utf8proc_ssize_t>(s.size() - pos), &cp);
    if (n <= 0) {
        len = 1;
        return -1;
    }
    len = static_cast<std::size_t>(n);
    return cp;
}

} // namespace

namespace detail {
std::size_t clusterLength(std::string_view s, std::size_t pos) {
    if (pos >= s.size()) return 0;
    std::size_t len = 0;
    utf8proc_int32_t prev = decodeAt(s, pos, len);
    std::size_t end = pos + len;
    if (prev < 0) return len; // a stray byte stands alone
    utf8proc_int32_t state = 0;
    while (end < s.size()) {
        std::size_t nlen = 0;
        utf8proc_int32_t next = decodeAt(s, end, nlen);
        if (next < 0) break;
        if (utf8proc_grapheme_break_stateful(prev, next, &state)) break;
        prev = next;
        end += nlen;
    }
    return end - pos;
}
} // namespace detail

std::size_t characterCount(std::string_view s) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < s.size(); pos += detail::clusterLength(s, pos))
        ++count;
    return count;
}

std::string_view prefixCharacters(std::string_view s, std::size_t n) {
    std::size_t pos = 0;
    for (std::size_t i = 0; i < n && pos < s.size(); ++i)
        pos += detail::clusterLength(s, pos);
    return s.substr(0, pos);
}

std::string_view dropCharacters(std::string_view s, std::size_t n) {
    return s.substr(prefixCharacters(s, n).size());
}

bool isValidUtf8(std::string_view s) {
    for (std::size_t pos = 0; pos < s.size();) {
        std::size_t len = 0;
        if (decodeAt(s, pos, len) < 0) return false;
        pos += len;
    }
    return true;
}

std::string lowercased(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t pos = 0; pos < s.size();) {
        auto c = static_cast<unsigned char>(s[pos]);
        if (c < 0x80) { // ASCII, the usual case
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            ++pos;
            continue;
        }
        std::size_t len = 0;
        utf8proc_int32_t cp = decodeAt(s, pos, len);
        if (cp < 0) {
            out.append(s.substr(pos, len));
        } else {
            utf8proc_uint8_t buf[4];
            auto n = utf8proc_encode_char(utf8proc_tolower(cp), buf);
            out.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
        }
        pos += len;
    }
    return out;
}

std::string sanitizeUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t pos = 0; pos < s.size();) {
        std::size_t len = 0;
        if (decodeAt(s, pos, len) < 0)
            out += "\xEF\xBF\xBD";
        else
            out.append(s.substr(pos, len));
        pos += len;
    }
    return out;
}

std::string composed(std::string_view s) {
    bool ascii = std::all_of(s.begin(), s.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii || !isValidUtf8(s)) return std::string(s);
    utf8proc_uint8_t* out = nullptr;
    auto n = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(s.data()),
                          static_cast<utf8proc_ssize_t>(s.size()), &out,
                          static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
    if (n < 0 || !out) return std::string(s);
    std::string result(reinterpret_cast<const char*>(out), static_cast<std::size_t>(n));
    std::free(out);
    return result;
}

} // namespace vantery::text
