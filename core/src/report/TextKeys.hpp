#pragma once
// Dense indices for the strings and agents of many records, hashed and compared
// inline: the aggregation and the per-file contributions meet every key of every
// record.
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vantery/model/AgentIdentity.hpp"

namespace vantery::detail {

// Interning hashes and compares every key of every record, mostly short ids and
// paths: both are done inline, eight bytes at a time.
inline std::uint64_t load8(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline std::uint32_t load4(const char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The n < 8 bytes at p folded into one word with fixed-size loads only (copying a
// variable number of bytes goes through memory and stalls the load that follows).
// Some bytes may be read twice; equal texts of equal length give equal words.
inline std::uint64_t loadTail(const char* p, std::size_t n) {
    if (n >= 4) return load4(p) | (static_cast<std::uint64_t>(load4(p + n - 4)) << 32);
    if (n == 0) return 0;
    return static_cast<unsigned char>(p[0]) |
           (static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8) |
           (static_cast<std::uint64_t>(static_cast<unsigned char>(p[n - 1])) << 16);
}

inline bool sameText(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = a.size();
    if (n != b.size()) return false;
    const char *p = a.data(), *q = b.data();
    if (n < 8) return loadTail(p, n) == loadTail(q, n);
    // Whole words; the last one overlaps the one before unless n is a multiple of 8.
    for (std::size_t i = 0; i + 8 < n; i += 8)
        if (load8(p + i) != load8(q + i)) return false;
    return load8(p + n - 8) == load8(q + n - 8);
}

inline std::uint64_t mix(std::uint64_t h) noexcept {
    h ^= h >> 32;
    h *= 0xd6e8feb86659fd93ull;
    h ^= h >> 32;
    return h;
}

inline std::uint64_t fastHash(std::string_view s, std::uint64_t seed = 0) noexcept {
    std::uint64_t h = seed ^ (s.size() * 0x9e3779b97f4a7c15ull);
    const char* p = s.data();
    std::size_t n = s.size();
    for (; n >= 8; n -= 8, p += 8)
        h = (h ^ load8(p)) * 0x9e3779b97f4a7c15ull + 0x632be59bd9b4e019ull;
    if (n > 0) h = (h ^ loadTail(p, n)) * 0x9e3779b97f4a7c15ull;
    return mix(h);
}

struct TextHash {
    std::size_t operator()(std::string_view s) const noexcept {
        return static_cast<std::size_t>(fastHash(s));
    }
};
struct TextEq {
    bool operator()(std::string_view a, std::string_view b) const noexcept {
        return sameText(a, b);
    }
};

// Dense indices for the distinct strings of one axis. The views point into the
// records, which outlive the aggregation.
class Interner {
  public:
    // Returns the index; `added` tells whether the string was new.
    std::uint32_t index(std::string_view s, bool& added) {
        added = false;
        if (hasLast_ && sameText(s, last_)) return lastIndex_;
        auto [it, inserted] = map_.try_emplace(s, static_cast<std::uint32_t>(keys_.size()));
        if (inserted) {
            keys_.push_back(s);
            added = true;
        }
        hasLast_ = true;
        last_ = keys_[it->second];
        lastIndex_ = it->second;
        return lastIndex_;
    }
    std::uint32_t size() const noexcept { return static_cast<std::uint32_t>(keys_.size()); }
    std::string_view key(std::uint32_t i) const { return keys_[i]; }

  private:
    std::unordered_map<std::string_view, std::uint32_t, TextHash, TextEq> map_;
    std::vector<std::string_view> keys_;
    std::string_view last_;
    std::uint32_t lastIndex_ = 0;
    bool hasLast_ = false;
};

inline bool sameAgent(const AgentIdentity& a, const AgentIdentity& b) noexcept {
    return a.kind() == b.kind() && sameText(a.rawIdText(), b.rawIdText()) &&
           sameText(a.name(), b.name());
}
struct AgentHash {
    std::size_t operator()(const AgentIdentity* a) const noexcept {
        return static_cast<std::size_t>(
            fastHash(a->name(), fastHash(a->rawIdText(), static_cast<std::uint64_t>(a->kind()))));
    }
};
struct AgentEq {
    bool operator()(const AgentIdentity* a, const AgentIdentity* b) const noexcept {
        return sameAgent(*a, *b);
    }
};

} // namespace vantery::detail
