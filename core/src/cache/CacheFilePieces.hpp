#pragma once
// The cache file in pieces: each piece of pieceBytes is hashed on its own and the
// trailer vouches for the hashes of all of them, so that every part a load reads,
// first or again, is checked against what was hashed before it is decoded.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Hash128.hpp"

namespace vantery::cachefile {

/// Reads `n` bytes of the file at `at` into `out`; false when it gives fewer.
using ReadAt = std::function<bool(std::uint64_t at, char* out, std::size_t n)>;

/// The size of a hashed piece: small enough that a string read on its own costs little.
inline constexpr std::size_t pieceBytes = std::size_t{16} << 10;

/// The hash the trailer holds, of bytes given in order in parts of any size.
class PieceHash {
  public:
    void add(std::string_view bytes);
    hash128::Value finish() const;

  private:
    hash128::Stream piece_, all_;
    std::size_t inPiece_ = 0;
};

/// The first `length` bytes of a file, read only in whole pieces, each checked.
class CheckedFile {
  public:
    CheckedFile(const ReadAt& readAt, std::uint64_t length) : readAt_(readAt), length_(length) {}

    /// Reads every piece once, on several threads, holding a few at a time; true when
    /// their hash is `expected`. Nothing can be read before this is true.
    bool matches(hash128::Value expected);

    std::uint64_t length() const { return length_; }
    /// The start of the piece `at` lies in, and the end of the piece before `end`.
    static std::uint64_t pieceStart(std::uint64_t at) { return at / pieceBytes * pieceBytes; }
    std::uint64_t pieceEnd(std::uint64_t end) const;

    /// Reads [from, to) into `out`, `from` a piece's start and `to` a piece's end, on
    /// several threads when it is large; false when the file gives fewer bytes or other
    /// bytes than were hashed (it was cut or written since).
    bool read(std::uint64_t from, std::uint64_t to, char* out) const;

  private:
    bool readGroup(std::uint64_t from, std::uint64_t to, char* out) const;

    const ReadAt& readAt_;
    std::uint64_t length_;
    std::vector<hash128::Value> pieces_;
    bool matched_ = false;
};

/// The file from its start, read once in order a batch at a time, every byte checked.
/// Only the batch being looked at is held.
class InOrder {
  public:
    InOrder(const CheckedFile& file, std::size_t batchBytes) : file_(file), batch_(batchBytes) {}

    /// At least `n` bytes from the position on, or all that are left (fewer when the
    /// file gave fewer or other bytes than it should: then failed() is set).
    std::string_view need(std::size_t n);
    /// Never past what is held: after a failed read the caller's view was shorter than
    /// it asked, and the pass is refused at its end.
    void advance(std::size_t n) { at_ += std::min(n, held_.size() - at_); }
    /// The position, from the file's start.
    std::uint64_t position() const { return start_ + at_; }
    std::uint64_t left() const { return file_.length() - position(); }
    bool failed() const { return failed_; }
    /// Lets go of the batch held.
    void release() { std::string().swap(held_); }

  private:
    void refill(std::size_t n);

    const CheckedFile& file_;
    std::size_t batch_;
    std::string held_; // starts on a piece's start
    std::uint64_t start_ = 0;
    std::size_t at_ = 0;
    bool failed_ = false;
};

} // namespace vantery::cachefile
