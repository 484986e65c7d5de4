#pragma once
// A 128-bit hash of a text (MurmurHash3's x64 128-bit mix): wide enough that two texts
// with equal hashes can be taken for equal texts. Not stable across byte orders, so
// never written to a file.
#include <cstdint>
#include <cstring>
#include <string_view>

namespace vantery::hash128 {

struct Value {
    std::uint64_t lo = 0, hi = 0;
};

namespace detail {
constexpr std::uint64_t rotl(std::uint64_t x, int r) noexcept {
    return (x << r) | (x >> (64 - r));
}
constexpr std::uint64_t fmix(std::uint64_t k) noexcept {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdULL;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ULL;
    k ^= k >> 33;
    return k;
}
inline std::uint64_t load(const char* p) noexcept {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
constexpr std::uint64_t c1 = 0x87c37b91114253d5ULL, c2 = 0x4cf5ad432745937fULL;
// How eight bytes are mixed before they enter the first or the second half of the
// state, in a full block and in the tail alike.
constexpr std::uint64_t lane1(std::uint64_t k) noexcept {
    return rotl(k * c1, 31) * c2;
}
constexpr std::uint64_t lane2(std::uint64_t k) noexcept {
    return rotl(k * c2, 33) * c1;
}
} // namespace detail

inline Value of(std::string_view text) noexcept {
    using detail::rotl;
    const char* p = text.data();
    const std::size_t n = text.size();
    std::uint64_t h1 = 0x9e3779b97f4a7c15ULL, h2 = h1;
    const std::size_t blocks = n / 16;
    for (std::size_t b = 0; b < blocks; ++b, p += 16) {
        h1 ^= detail::lane1(detail::load(p));
        h1 = rotl(h1, 27);
        h1 += h2;
        h1 = h1 * 5 + 0x52dce729;
        h2 ^= detail::lane2(detail::load(p + 8));
        h2 = rotl(h2, 31);
        h2 += h1;
        h2 = h2 * 5 + 0x38495ab5;
    }
    std::uint64_t k1 = 0, k2 = 0;
    const std::size_t tail = n & 15;
    for (std::size_t i = tail; i > 8; --i)
        k2 = (k2 << 8) | static_cast<unsigned char>(p[i - 1]);
    for (std::size_t i = tail < 8 ? tail : 8; i > 0; --i)
        k1 = (k1 << 8) | static_cast<unsigned char>(p[i - 1]);
    if (tail > 8) h2 ^= detail::lane2(k2);
    if (tail > 0) h1 ^= detail::lane1(k1);
    h1 ^= n;
    h2 ^= n;
    h1 += h2;
    h2 += h1;
    h1 = detail::fmix(h1);
    h2 = detail::fmix(h2);
    h1 += h2;
    h2 += h1;
    return {h1, h2};
}

} // namespace vantery::hash128
