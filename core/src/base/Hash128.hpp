#pragma once
// Two 128-bit hashes of a text. `of` and `Stream` (MurmurHash3's x64 128-bit mix) have a
// fixed, public seed: they catch accidental change, such as a damaged file, and their
// value is the same on every machine and run (bytes are read little-endian), so it may
// be written to a file. They do not resist a chosen input: anyone can compute two texts
// with equal values. `keyed` (SipHash-2-4 with 128-bit output) does, as long as its key
// stays secret: it is for values matched in memory and never stored.
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace vantery::hash128 {

struct Value {
    std::uint64_t lo = 0, hi = 0;
    friend bool operator==(const Value&, const Value&) = default;
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
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
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

// The state after some whole 16-byte blocks, and how the last bytes close it.
struct State {
    std::uint64_t h1 = 0x9e3779b97f4a7c15ULL, h2 = 0x9e3779b97f4a7c15ULL;

    void blocks(const char* p, std::size_t count) noexcept {
        for (std::size_t b = 0; b < count; ++b, p += 16) {
            h1 ^= lane1(load(p));
            h1 = rotl(h1, 27);
            h1 += h2;
            h1 = h1 * 5 + 0x52dce729;
            h2 ^= lane2(load(p + 8));
            h2 = rotl(h2, 31);
            h2 += h1;
            h2 = h2 * 5 + 0x38495ab5;
        }
    }
    // `tail` holds the last n % 16 bytes of the n hashed.
    Value finish(const char* p, std::size_t tail, std::uint64_t n) const noexcept {
        std::uint64_t a = h1, b = h2, k1 = 0, k2 = 0;
        for (std::size_t i = tail; i > 8; --i)
            k2 = (k2 << 8) | static_cast<unsigned char>(p[i - 1]);
        for (std::size_t i = tail < 8 ? tail : 8; i > 0; --i)
            k1 = (k1 << 8) | static_cast<unsigned char>(p[i - 1]);
        if (tail > 8) b ^= lane2(k2);
        if (tail > 0) a ^= lane1(k1);
        a ^= n;
        b ^= n;
        a += b;
        b += a;
        a = fmix(a);
        b = fmix(b);
        a += b;
        b += a;
        return {a, b};
    }
};
} // namespace detail

inline Value of(std::string_view text) noexcept {
    detail::State s;
    const std::size_t n = text.size();
    s.blocks(text.data(), n / 16);
    return s.finish(text.data() + (n & ~std::size_t{15}), n & 15, n);
}

/// The secret of `keyed`: 128 bits that should be drawn at random.
struct Key {
    std::uint64_t k0 = 0, k1 = 0;
};

/// SipHash-2-4 of the text, 128-bit output. Without the key, finding two texts with equal
/// values takes about 2^64 tries; different keys give unrelated values.
inline Value keyed(std::string_view text, const Key& key) noexcept {
    using detail::rotl;
    std::uint64_t v0 = 0x736f6d6570736575ULL ^ key.k0, v1 = 0x646f72616e646f6dULL ^ key.k1,
                  v2 = 0x6c7967656e657261ULL ^ key.k0, v3 = 0x7465646279746573ULL ^ key.k1;
    auto rounds = [&](int count) {
        for (int r = 0; r < count; ++r) {
            v0 += v1;
            v1 = rotl(v1, 13) ^ v0;
            v0 = rotl(v0, 32);
            v2 += v3;
            v3 = rotl(v3, 16) ^ v2;
            v0 += v3;
            v3 = rotl(v3, 21) ^ v0;
            v2 += v1;
            v1 = rotl(v1, 17) ^ v2;
            v2 = rotl(v2, 32);
        }
    };
    auto absorb = [&](std::uint64_t m) {
        v3 ^= m;
        rounds(2);
        v0 ^= m;
    };
    v1 ^= 0xee; // the 128-bit variant
    const std::size_t n = text.size();
    const char* p = text.data();
    for (std::size_t i = 0; i + 8 <= n; i += 8)
        absorb(detail::load(p + i));
    std::uint64_t last = static_cast<std::uint64_t>(n) << 56;
    for (std::size_t i = n & 7; i > 0; --i)
        last |=
            static_cast<std::uint64_t>(static_cast<unsigned char>(p[(n & ~std::size_t{7}) + i - 1]))
            << (8 * (i - 1));
    absorb(last);
    v2 ^= 0xee;
    rounds(4);
    const std::uint64_t lo = v0 ^ v1 ^ v2 ^ v3;
    v1 ^= 0xdd;
    rounds(4);
    return {lo, v0 ^ v1 ^ v2 ^ v3};
}

/// A hash of long inputs given piece by piece, such as whole files: the mix of `of` run
/// on four lanes, 16-byte block i going to lane i % 4, which a processor works on side by
/// side (about four times the speed of one lane); the four results and the length are
/// hashed with `of` at the end. Not equal to `of` of the same bytes.
class Stream {
  public:
    void add(std::string_view piece) noexcept {
        const char* p = piece.data();
        std::size_t n = piece.size();
        total_ += n;
        if (held_ > 0) {
            const std::size_t take = n < stripe - held_ ? n : stripe - held_;
            std::memcpy(buffer_ + held_, p, take);
            held_ += take;
            p += take;
            n -= take;
            if (held_ < stripe) return;
            stripes(buffer_, 1);
            held_ = 0;
        }
        stripes(p, n / stripe);
        held_ = n % stripe;
        std::memcpy(buffer_, p + (n - held_), held_);
    }
    Value finish() const noexcept {
        detail::State lanes[4] = {lanes_[0], lanes_[1], lanes_[2], lanes_[3]};
        // Whole blocks of the last stripe go on to their lanes; the last bytes to the next.
        const std::size_t blocks = held_ / 16;
        for (std::size_t b = 0; b < blocks; ++b)
            lanes[b].blocks(buffer_ + 16 * b, 1);
        char out[4 * 16 + 8];
        for (std::size_t l = 0; l < 4; ++l) {
            const bool last = l == blocks;
            const Value v = lanes[l].finish(buffer_ + 16 * blocks, last ? held_ % 16 : 0, total_);
            put(out + 16 * l, v.lo);
            put(out + 16 * l + 8, v.hi);
        }
        put(out + 64, total_);
        return of(std::string_view(out, sizeof out));
    }

  private:
    static constexpr std::size_t stripe = 64;
    static void put(char* to, std::uint64_t v) noexcept {
        for (int i = 0; i < 8; ++i)
            to[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    void stripes(const char* p, std::size_t count) noexcept {
        detail::State a = lanes_[0], b = lanes_[1], c = lanes_[2], d = lanes_[3];
        for (std::size_t s = 0; s < count; ++s, p += stripe) {
            a.blocks(p, 1);
            b.blocks(p + 16, 1);
            c.blocks(p + 32, 1);
            d.blocks(p + 48, 1);
        }
        lanes_[0] = a;
        lanes_[1] = b;
        lanes_[2] = c;
        lanes_[3] = d;
    }

    detail::State lanes_[4];
    char buffer_[stripe] = {};
    std::size_t held_ = 0;
    std::uint64_t total_ = 0;
};

} // namespace vantery::hash128
