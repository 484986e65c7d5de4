#include "StrayControls.hpp"

#include <cstdint>
#include <cstdio>

namespace vantery::testing {
namespace {

// The code point at pos and its length; -1 for a malformed sequence. Written apart from
// the core's decoder so that it does not share its mistakes.
std::int32_t decode(std::string_view s, std::size_t pos, std::size_t& n) {
    const auto b = static_cast<unsigned char>(s[pos]);
    n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    if (n == 0 || pos + n > s.size()) return n = 1, -1;
    std::int32_t cp = n == 1 ? b : b & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) {
        const auto c = static_cast<unsigned char>(s[pos + i]);
        if ((c & 0xC0) != 0x80) return n = 1, -1;
        cp = (cp << 6) | (c & 0x3F);
    }
    return cp;
}

// Code points that draw nothing, as Unicode lists them (Default_Ignorable_Code_Point),
// the other format characters, and the line and paragraph separators.
bool invisible(std::int32_t cp) {
    constexpr std::int32_t ranges[][2] = {
        {0x00AD, 0x00AD},   {0x034F, 0x034F},   {0x0600, 0x0605},   {0x06DD, 0x06DD},
        {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x115F, 0x1160},
        {0x17B4, 0x17B5},   {0x180B, 0x180F},   {0x200B, 0x200F},   {0x2028, 0x202E},
        {0x2060, 0x2065},   {0x3164, 0x3164},   {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},
        {0xFFA0, 0xFFA0},   {0xFFF0, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
        {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
    };
    for (const auto& r : ranges)
        if (cp >= r[0] && cp <= r[1]) return true;
    return false;
}

// Roughly the emoji blocks and the pictographs below them that take U+FE0F.
bool pictograph(std::int32_t cp) {
    return cp >= 0x1F000 || (cp >= 0x2190 && cp <= 0x2BFF) || cp == 0xA9 || cp == 0xAE ||
           cp == 0x203C || cp == 0x2049 || cp == 0x2122 || cp == 0x2139 || cp == 0x3030 ||
           cp == 0x303D || cp == 0x3297 || cp == 0x3299;
}

} // namespace

std::string strayControl(std::string_view text) {
    bool isolated = false;
    std::int32_t previous = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t n = 0;
        const std::int32_t cp = decode(text, pos, n);
        if (cp < 0) return "invalid UTF-8 at byte " + std::to_string(pos);
        // A joiner between two emoji is part of one picture (a family); U+FE0F after a
        // pictograph or a keycap's digit asks for its emoji look.
        std::size_t nextLength = 0;
        const std::int32_t next = pos + n < text.size() ? decode(text, pos + n, nextLength) : -1;
        const bool joiner =
            (cp == 0x200D && pictograph(previous) && pictograph(next)) ||
            (cp == 0xFE0F && (pictograph(previous) || (previous >= '0' && previous <= '9') ||
                              previous == '#' || previous == '*'));
        const bool stray = (cp < 0x20 && cp != '\n') || (cp >= 0x7F && cp <= 0x9F) ||
                           cp == 0x061C || (invisible(cp) && !joiner) || cp == 0x2066 ||
                           cp == 0x2067 || (cp == 0x2068 && isolated) ||
                           (cp == 0x2069 && !isolated) || (cp == '\n' && isolated);
        if (stray) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
            return std::string(code) + " at byte " + std::to_string(pos) +
                   " in: " + std::string(text.substr(pos < 60 ? 0 : pos - 60, 120));
        }
        if (cp == 0x2068 || cp == 0x2069) isolated = cp == 0x2068;
        // A joined emoji's base stands before its U+FE0F and skin tone.
        if (cp != 0xFE0F && !(cp >= 0x1F3FB && cp <= 0x1F3FF)) previous = cp;
        pos += n;
    }
    return isolated ? "an isolate left open at the end" : "";
}

} // namespace vantery::testing
