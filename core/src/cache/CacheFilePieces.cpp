#include "cache/CacheFilePieces.hpp"

#include <algorithm>
#include <atomic>

#include "base/Parallel.hpp"
#include "cache/BinaryCodec.hpp"

namespace vantery::cachefile {

namespace {

// Reads spread over threads go by groups of pieces this large: copied on one thread,
// a batch's bytes took about a tenth of a load.
// Below the allocator's mapping threshold: a thread's buffer is a block of its heap.
constexpr std::size_t groupBytes = std::size_t{512} << 10;
static_assert(groupBytes % pieceBytes == 0);

hash128::Value hashOf(std::string_view piece) {
    hash128::Stream h;
    h.add(piece);
    return h.finish();
}

void addPiece(hash128::Stream& all, hash128::Value piece) {
    std::string bytes;
    putLittleEndian(bytes, piece.lo);
    putLittleEndian(bytes, piece.hi);
    all.add(bytes);
}

} // namespace

void PieceHash::add(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t take = std::min(bytes.size(), pieceBytes - inPiece_);
        piece_.add(bytes.substr(0, take));
        bytes.remove_prefix(take);
        inPiece_ += take;
        if (inPiece_ == pieceBytes) {
            addPiece(all_, piece_.finish());
            piece_ = {};
            inPiece_ = 0;
        }
    }
}

hash128::Value PieceHash::finish() const {
    hash128::Stream all = all_;
    if (inPiece_ > 0) addPiece(all, piece_.finish());
    return all.finish();
}

bool CheckedFile::matches(hash128::Value expected) {
    const std::size_t pieces = static_cast<std::size_t>((length_ + pieceBytes - 1) / pieceBytes);
    pieces_.assign(pieces, {});
    const std::size_t groups = static_cast<std::size_t>((length_ + groupBytes - 1) / groupBytes);
    const std::size_t workers = std::min(groups, parallel::maxThreads());
    std::atomic<std::size_t> next{0};
    std::atomic<bool> ok{true};
    // One buffer a thread, each taking the next group until none is left.
    parallel::forEach(workers, [&](std::size_t) {
        std::string buffer;
        for (std::size_t g; ok && (g = next.fetch_add(1)) < groups;) {
            const std::uint64_t from = std::uint64_t{g} * groupBytes;
            const auto n =
                static_cast<std::size_t>(std::min<std::uint64_t>(groupBytes, length_ - from));
            buffer.resize(n);
            if (!readAt_(from, buffer.data(), n)) {
                ok = false;
                return;
            }
            for (std::size_t at = 0; at < n; at += pieceBytes)
                pieces_[(from + at) / pieceBytes] =
                    hashOf(std::string_view(buffer).substr(at, pieceBytes));
        }
    });
    if (!ok) return false;
    hash128::Stream all;
    for (const hash128::Value& piece : pieces_)
        addPiece(all, piece);
    matched_ = all.finish() == expected;
    return matched_;
}

std::uint64_t CheckedFile::pieceEnd(std::uint64_t end) const {
    return std::min(length_, (end + pieceBytes - 1) / pieceBytes * pieceBytes);
}

bool CheckedFile::read(std::uint64_t from, std::uint64_t to, char* out) const {
    if (!matched_ || from % pieceBytes != 0 || to > length_ || to < from ||
        (to % pieceBytes != 0 && to != length_))
        return false;
    const std::size_t groups = static_cast<std::size_t>((to - from + groupBytes - 1) / groupBytes);
    std::atomic<bool> ok{true};
    parallel::forEach(groups, [&](std::size_t g) {
        const std::uint64_t at = from + std::uint64_t{g} * groupBytes;
        if (!readGroup(at, std::min<std::uint64_t>(to, at + groupBytes), out + (at - from)))
            ok = false;
    });
    return ok;
}

bool CheckedFile::readGroup(std::uint64_t from, std::uint64_t to, char* out) const {
    const auto n = static_cast<std::size_t>(to - from);
    if (!readAt_(from, out, n)) return false;
    for (std::size_t at = 0; at < n; at += pieceBytes)
        if (!(hashOf(std::string_view(out + at, std::min(pieceBytes, n - at))) ==
              pieces_[(from + at) / pieceBytes]))
            return false;
    return true;
}

std::string_view InOrder::need(std::size_t n) {
    if (held_.size() - at_ < n) refill(n);
    return std::string_view(held_).substr(at_);
}

void InOrder::refill(std::size_t n) {
    // What was looked at goes, but the held bytes still start on a piece's start.
    const std::size_t drop = at_ / pieceBytes * pieceBytes;
    held_.erase(0, drop);
    start_ += drop;
    at_ -= drop;
    const std::uint64_t from = start_ + held_.size();
    if (from >= file_.length() || failed_) return;
    const std::size_t want = std::max(n + at_, batch_) - held_.size();
    const std::uint64_t to = file_.pieceEnd(from + want);
    const std::size_t had = held_.size();
    held_.resize(had + static_cast<std::size_t>(to - from));
    if (!file_.read(from, to, held_.data() + had)) {
        failed_ = true;
        held_.resize(had);
    }
}

} // namespace vantery::cachefile
