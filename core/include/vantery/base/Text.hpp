#pragma once
// Text measured in user-perceived characters (extended grapheme clusters).
#include <cstddef>
#include <string>
#include <string_view>

namespace vantery::text {

/// Number of grapheme clusters; invalid UTF-8 bytes count one each.
std::size_t characterCount(std::string_view s);

/// The first n grapheme clusters of s (all of s when shorter). Never cuts inside
/// a UTF-8 sequence.
std::string_view prefixCharacters(std::string_view s, std::size_t n);

/// s without its first n grapheme clusters.
std::string_view dropCharacters(std::string_view s, std::size_t n);

/// s with every invalid UTF-8 sequence replaced by U+FFFD.
std::string sanitizeUtf8(std::string_view s);

/// s with every code point mapped to lower case (simple case mapping); invalid
/// bytes are kept as they are.
std::string lowercased(std::string_view s);

/// Whether s is well-formed UTF-8.
bool isValidUtf8(std::string_view s);

/// s in canonical composition (NFC), so that texts that differ only in how accents are
/// encoded compare equal; s unchanged when it is ASCII or not well-formed UTF-8.
std::string composed(std::string_view s);

/// Calls f(cluster) for each grapheme cluster of s, in order.
template <class F> void forEachCharacter(std::string_view s, F&& f);

namespace detail {
/// Byte length of the grapheme cluster that starts at s[pos]; 0 at the end.
std::size_t clusterLength(std::string_view s, std::size_t pos);
} // namespace detail

template <class F> void forEachCharacter(std::string_view s, F&& f) {
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t n = detail::clusterLength(s, pos);
        f(s.substr(pos, n));
        pos += n;
    }
}

} // namespace vantery::text
