#pragma once
// The cache file's string table: where each string lies (its texts are read back where
// they are needed, from bytes read for a batch when they lie there) and what each is
// used for while the blocks are built.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cache/CacheFilePieces.hpp"
#include "vantery/model/RequestDictionary.hpp"

namespace vantery::cachefile {

/// Where the strings of the table lie and which were repaired (invalid UTF-8 replaced).
struct StringTable {
    std::vector<std::uint32_t> at; ///< offset of each string's length in the file
    std::unordered_map<std::uint32_t, std::string> repaired;
    std::uint64_t end = 0; ///< just past the last string
    static constexpr std::uint32_t repairedFlag = 0x80000000u;

    bool isRepaired(std::size_t i) const { return (at[i] & repairedFlag) != 0; }
    std::uint64_t offset(std::size_t i) const { return at[i] & ~repairedFlag; }
    std::uint64_t endOf(std::size_t i) const { return i + 1 < at.size() ? offset(i + 1) : end; }
};

/// Reads the string table at the position of `in`, noting each string's place; a
/// string whose UTF-8 is invalid is repaired and held. False when it is damaged.
bool readStrings(InOrder& in, StringTable& t);

/// The texts of strings, from bytes held for a batch when they lie there, else read
/// (checked) on their own.
class StringTexts {
  public:
    StringTexts(const StringTable& table, const CheckedFile& file) : t_(table), file_(file) {}

    /// Holds the table's bytes from `from` to `to` (widened to whole pieces) for the
    /// lookups that follow; false when they cannot be read as they were hashed.
    bool hold(std::uint64_t from, std::uint64_t to);
    /// The text of string i, viewing `scratch` when it was read on its own; throws
    /// BinaryReader::Failure when the file no longer gives it.
    std::string_view text(std::size_t i, std::string& scratch) const;

  private:
    const StringTable& t_;
    const CheckedFile& file_;
    // Kept from batch to batch and never zeroed: every batch reads into the same pages.
    std::unique_ptr<char[]> bytes_;
    std::size_t capacity_ = 0, held_ = 0;
    std::uint64_t start_ = 0;
};

// What each string of the table is used for, one word a string, shared by the threads
// that build the blocks. A descriptive field's string remembers the dictionary id of its
// first use (its kind in the top bits), so that the dictionary, behind its lock, is asked
// about a string about once; a key's string remembers the one entry that used it, so that
// the table can tell whether any request sits in two files. Each thread also checks the
// last string of each kind first, as a file's requests mostly repeat a few.
class StringUses {
  public:
    enum Kind : std::uint32_t { model, session, cwd, home, agent, key, kindCount };

    StringUses(const StringTexts& texts, std::size_t strings, RequestDictionary& d)
        : texts_(texts), d_(d), slot_(strings) {}

    /// One block's view: its own last strings in front of the shared ones.
    class Resolver {
      public:
        explicit Resolver(StringUses& uses) : uses_(uses) {}
        std::uint32_t operator()(Kind kind, std::size_t s) {
            Last& last = last_[kind];
            if (last.string != s) last = {s, uses_.resolve(kind, s, scratch_)};
            return last.id;
        }

      private:
        struct Last {
            std::size_t string = SIZE_MAX;
            std::uint32_t id = 0;
        };
        StringUses& uses_;
        Last last_[kindCount];
        std::string scratch_;
    };

    /// Notes that entry `entry` uses string `s` as a key; false when another entry (or
    /// another use) holds it already, or the entry cannot be told apart.
    bool claimKey(std::size_t s, std::size_t entry) {
        const std::uint32_t mine = tagOf(key) | static_cast<std::uint32_t>(entry + 1);
        if (entry + 1 >= (std::size_t{1} << idBits)) return false;
        std::uint32_t held = 0;
        return slot_[s].compare_exchange_strong(held, mine, std::memory_order_relaxed) ||
               held == mine;
    }

  private:
    static constexpr int idBits = 29;
    static_assert(kindCount + 1 <= (1u << (32 - idBits)), "every kind needs its tag");
    static constexpr std::uint32_t tagOf(Kind kind) { return (kind + 1) << idBits; }

    std::uint32_t resolve(Kind kind, std::size_t s, std::string& scratch);
    std::uint32_t intern(Kind kind, std::string_view text);

    const StringTexts& texts_;
    RequestDictionary& d_;
    std::vector<std::atomic<std::uint32_t>> slot_;
};

} // namespace vantery::cachefile
