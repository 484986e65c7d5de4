#include "vantery/base/Text.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <vector>

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
        } else if (cp == 0x0130) { // the one code point whose full mapping is longer
            out += "i\xCC\x87";
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

std::string groupedDigits(std::int64_t n) {
    // The magnitude as unsigned, so that the most negative value needs no negation.
    const std::uint64_t magnitude =
        n < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
    const auto count = static_cast<std::size_t>(end - digits);
    std::string out;
    out.reserve(count + count / 3 + 1);
    if (n < 0) out.push_back('-');
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0 && (count - i) % 3 == 0) out.push_back(',');
        out.push_back(digits[i]);
    }
    return out;
}

std::string compactCount(std::int64_t n) {
    auto fixed = [](double v, int places, char unit) {
        char buf[48];
        auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, places);
        std::string out(buf, r.ptr);
        out.push_back(unit);
        return out;
    };
    const auto d = static_cast<double>(n);
    if (n >= 1'000'000'000) return fixed(d / 1e9, 2, 'G');
    if (n < 1'000) return std::to_string(n);
    if (n < 1'000'000) return fixed(d / 1000, 1, 'k');
    return fixed(d / 1e6, 2, 'M');
}

std::string counted(std::int64_t n, std::string_view singular, std::string_view pluralForm) {
    std::string out = groupedDigits(n);
    out += ' ';
    out += plural(n, singular, pluralForm);
    return out;
}

namespace {

// The multi-byte white space and line breaks: U+0085, the space separators above
// ASCII, U+2028 and U+2029.
constexpr std::string_view unicodeBlanks[] = {"\u0085", "\u00a0", "\u1680", "\u2000", "\u2001",
                                              "\u2002", "\u2003", "\u2004", "\u2005", "\u2006",
                                              "\u2007", "\u2008", "\u2009", "\u200a", "\u2028",
                                              "\u2029", "\u202f", "\u205f", "\u3000"};

bool asciiBlank(char c) noexcept {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The byte length of the blank at the front (or back) of s; 0 when there is none.
std::size_t blankAtFront(std::string_view s) noexcept {
    if (s.empty()) return 0;
    if (asciiBlank(s.front())) return 1;
    if (static_cast<unsigned char>(s.front()) < 0x80) return 0;
    for (std::string_view b : unicodeBlanks)
        if (s.starts_with(b)) return b.size();
    return 0;
}

std::size_t blankAtBack(std::string_view s) noexcept {
    if (s.empty()) return 0;
    if (asciiBlank(s.back())) return 1;
    if (static_cast<unsigned char>(s.back()) < 0x80) return 0;
    for (std::string_view b : unicodeBlanks)
        if (s.ends_with(b)) return b.size();
    return 0;
}

} // namespace

std::string_view trimmed(std::string_view s) noexcept {
    while (std::size_t n = blankAtFront(s))
        s.remove_prefix(n);
    while (std::size_t n = blankAtBack(s))
        s.remove_suffix(n);
    return s;
}

bool isJsonNumber(std::string_view t) noexcept {
    std::size_t i = 0;
    const std::size_t n = t.size();
    auto digits = [&] {
        const std::size_t from = i;
        while (i < n && t[i] >= '0' && t[i] <= '9')
            ++i;
        return i > from;
    };
    if (i < n && t[i] == '-') ++i;
    if (i < n && t[i] == '0')
        ++i;
    else if (!digits())
        return false;
    if (i < n && t[i] == '.' && (++i, !digits())) return false;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
        if (!digits()) return false;
    }
    return i == n;
}

namespace {

// Controls, direction controls, format characters, line and paragraph separators, and
// the code points that draw nothing (zero-width spaces and joiners, byte order marks,
// variation selectors, tag characters): each could break a line, reorder the words around
// the name or carry text the reader never sees.
bool dropped(utf8proc_int32_t cp) {
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return true;
    if (cp < 0xA0) return false;
    const utf8proc_property_t* p = utf8proc_get_property(cp);
    if (p->ignorable || p->category == UTF8PROC_CATEGORY_CF ||
        p->category == UTF8PROC_CATEGORY_ZL || p->category == UTF8PROC_CATEGORY_ZP)
        return true;
    // Direction controls whatever the library's tables say, and the unassigned code
    // points reserved as ignorable, which those tables leave unflagged.
    return cp == 0x061C || cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2060 && cp <= 0x206F) || (cp >= 0xFFF0 && cp <= 0xFFF8) ||
           (cp >= 0xE0000 && cp <= 0xE0FFF);
}

constexpr utf8proc_int32_t joiner = 0x200D, emojiStyle = 0xFE0F;

// Extended_Pictographic, read from the grapheme break class, which utf8proc derives from
// it (the library exposes no emoji properties of their own).
bool pictograph(utf8proc_int32_t cp) {
    return cp >= 0 &&
           utf8proc_get_property(cp)->boundclass == UTF8PROC_BOUNDCLASS_EXTENDED_PICTOGRAPHIC;
}

// The skin tones U+1F3FB-U+1F3FF.
bool skinTone(utf8proc_int32_t cp) {
    return cp >= 0x1F3FB && cp <= 0x1F3FF;
}

// The code points of a name, each with its bytes; -1 for an invalid byte.
struct CodePoint {
    utf8proc_int32_t cp;
    std::size_t at, len;
};

// Whether the code points from `from` on open an emoji drawn as one: a pictograph shown
// as an emoji by default (Emoji_Presentation, which utf8proc tells by the double width it
// gives those code points) or asked to be by U+FE0F right after it. © and ® are
// pictographs drawn as text unless asked.
bool emojiAt(const std::vector<CodePoint>& cps, std::size_t from) {
    if (from >= cps.size() || !pictograph(cps[from].cp)) return false;
    return utf8proc_charwidth(cps[from].cp) == 2 ||
           (from + 1 < cps.size() && cps[from + 1].cp == emojiStyle);
}

// Whether the code points before `end` close such an emoji: the pictograph, then at most
// one U+FE0F and skin tones, with nothing between them in the input.
bool emojiBefore(const std::vector<CodePoint>& cps, std::size_t end) {
    std::size_t i = end;
    bool toned = false;
    while (i > 0 && skinTone(cps[i - 1].cp)) {
        --i;
        toned = true;
    }
    if (i > 0 && cps[i - 1].cp == emojiStyle) --i;
    return i > 0 && (emojiAt(cps, i - 1) || (toned && pictograph(cps[i - 1].cp)));
}

// Whether a hidden code point keeps an emoji whole: a joiner between two emoji that are
// its neighbours in the input (a family, a rainbow flag), and U+FE0F right after a
// pictograph or before a keycap's U+20E3 (a red heart, a white flag, a keycap). Neighbours in the
// input, never in the output: dropping what stood between two emoji cannot join them.
bool keptInEmoji(const std::vector<CodePoint>& cps, std::size_t i) {
    if (cps[i].cp == joiner) return emojiBefore(cps, i) && emojiAt(cps, i + 1);
    if (cps[i].cp != emojiStyle || i == 0) return false;
    const utf8proc_int32_t before = cps[i - 1].cp;
    const bool keycap = (before >= '0' && before <= '9') || before == '#' || before == '*';
    return pictograph(before) || (keycap && i + 1 < cps.size() && cps[i + 1].cp == 0x20E3);
}

// Walks a name code point by code point: keep(cp, bytes) for what a printed name keeps,
// drop(cp, bytes) for what it drops (cp is -1 for a byte that is not UTF-8).
template <class Keep, class Drop> void walk(std::string_view name, Keep keep, Drop drop) {
    std::vector<CodePoint> cps;
    cps.reserve(name.size());
    for (std::size_t pos = 0; pos < name.size();) {
        std::size_t len = 0;
        const utf8proc_int32_t cp = decodeAt(name, pos, len);
        cps.push_back({cp, pos, len});
        pos += len;
    }
    for (std::size_t i = 0; i < cps.size(); ++i) {
        const CodePoint& c = cps[i];
        const std::string_view bytes = name.substr(c.at, c.len);
        if (c.cp < 0 || (dropped(c.cp) && !keptInEmoji(cps, i)))
            drop(c.cp, bytes);
        else
            keep(c.cp, bytes);
    }
}

std::string cleaned(std::string_view name, bool& rightToLeft) {
    rightToLeft = false;
    if (std::all_of(name.begin(), name.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
        return std::string(name); // printable ASCII, the usual name
    std::string out;
    out.reserve(name.size());
    walk(
        name,
        [&](utf8proc_int32_t cp, std::string_view bytes) {
            out += bytes;
            const utf8proc_property_t* p = utf8proc_get_property(cp);
            rightToLeft |=
                p->bidi_class == UTF8PROC_BIDI_CLASS_R || p->bidi_class == UTF8PROC_BIDI_CLASS_AL;
        },
        [&](utf8proc_int32_t cp, std::string_view) {
            if (cp < 0) out += "\xEF\xBF\xBD";
        });
    return out;
}

} // namespace

std::string cleanedName(std::string_view name) {
    bool rightToLeft = false;
    return cleaned(name, rightToLeft);
}

std::string isolatedName(std::string_view name) {
    bool rightToLeft = false;
    std::string out = cleaned(name, rightToLeft);
    return rightToLeft ? "\u2068" + out + "\u2069" : out;
}

} // namespace vantery::text

namespace vantery::text {

std::string quotedName(std::string_view name) {
    std::string out = "\"";
    out.reserve(name.size() + 2);
    walk(
        name,
        [&](utf8proc_int32_t cp, std::string_view bytes) {
            if (cp == '"' || cp == '\\') out += '\\';
            out += bytes;
        },
        [&](utf8proc_int32_t cp, std::string_view bytes) {
            char code[16];
            if (cp < 0)
                std::snprintf(code, sizeof code, "\\x%02X", static_cast<unsigned char>(bytes[0]));
            else
                std::snprintf(code, sizeof code, cp > 0xFFFF ? "\\U%08X" : "\\u%04X",
                              static_cast<unsigned>(cp));
            out += code;
        });
    out += '"';
    return out;
}

} // namespace vantery::text
