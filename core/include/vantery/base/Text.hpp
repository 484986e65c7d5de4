#pragma once
// Text measured in user-perceived characters (extended grapheme clusters), and the
// number and name texts the core, the server and the app write the same way. Nothing here
// depends on the process locale.
#include <cstddef>
#include <cstdint>
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

/// s in lower case, code point by code point, with the full mapping (U+0130 becomes "i"
/// and a combining dot above); invalid bytes are kept as they are.
std::string lowercased(std::string_view s);

/// Whether s is well-formed UTF-8.
bool isValidUtf8(std::string_view s);

/// s in canonical composition (NFC), so that texts that differ only in how accents are
/// encoded compare equal; s unchanged when it is ASCII or not well-formed UTF-8.
std::string composed(std::string_view s);

/// Calls f(cluster) for each grapheme cluster of s, in order.
template <class F> void forEachCharacter(std::string_view s, F&& f);

/// n with "," between groups of three digits: "1,234,567", "-1,000"; every int64 value.
std::string groupedDigits(std::int64_t n);

/// A compact count: plain below 1,000 (negatives too), then "1.0k", "1.00M", "1.23G"
/// (one decimal for thousands, two above; "." as the decimal point).
std::string compactCount(std::int64_t n);

/// The singular when |n| is 1, else the plural.
constexpr std::string_view plural(std::int64_t n, std::string_view singular,
                                  std::string_view pluralForm) noexcept {
    return n == 1 || n == -1 ? singular : pluralForm;
}

/// groupedDigits(n), a blank, then plural(n, singular, pluralForm): "1,200 requests".
std::string counted(std::int64_t n, std::string_view singular, std::string_view pluralForm);

/// The items in their order with `separator` between them; empty for no items. Items
/// are anything a std::string_view is made from.
template <class Range> std::string joined(const Range& items, std::string_view separator) {
    std::string out;
    bool first = true;
    for (const auto& item : items) {
        if (!first) out += separator;
        out += std::string_view(item);
        first = false;
    }
    return out;
}

/// s without white space and line breaks at either end: the Unicode space separators,
/// U+2028, U+2029, tab to carriage return and U+0085. A byte that is not well-formed
/// UTF-8 is never taken for one.
std::string_view trimmed(std::string_view s) noexcept;

/// Whether t is exactly one JSON number: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?,
/// of any size.
bool isJsonNumber(std::string_view t) noexcept;

/// A name from the data (a model id, a path) with invalid UTF-8 replaced by U+FFFD and
/// C0 and C1 control characters (NUL, line breaks, escapes), bidirectional controls
/// (U+061C, U+200E, U+200F, U+202A-U+202E, U+2066-U+2069), format characters (U+0600,
/// U+FFF9-U+FFFB...), line and paragraph separators (U+2028, U+2029) and
/// default-ignorable code points (U+200B, U+FEFF, tag characters U+E0000-U+E0FFF,
/// variation selectors...) dropped. Two hidden code points stay where they keep an emoji
/// whole: U+200D between two emoji that are its neighbours in the name, and U+FE0F right
/// after a pictograph (or a keycap's digit). So no joiner is left outside an emoji
/// sequence, and dropping a code point never joins two emoji that stood apart.
std::string cleanedName(std::string_view name);

/// The name in double quotes with what cleanedName drops written as escapes ("\u200B",
/// "\U000E0041", "\xFF" for a byte that is not UTF-8) and '"' and '\' escaped: two
/// different names never give the same text, and the text draws every character it holds.
std::string quotedName(std::string_view name);

/// cleanedName(name), safe to put inside a sentence: when it holds right-to-left letters
/// it is wrapped in U+2068 FIRST STRONG ISOLATE ... U+2069 POP DIRECTIONAL ISOLATE, so
/// that its direction cannot reorder the words around it (a name without them cannot,
/// and stays as it is). Texts for machines (CSV cells) keep the raw name instead.
std::string isolatedName(std::string_view name);

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
