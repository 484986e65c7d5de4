#include "vantery/model/FileBlock.hpp"

#include <atomic>
#include <chrono>
#include <limits>
#include <mutex>
#include <random>
#include <stdexcept>

#include <unistd.h>

#include "base/Hash128.hpp"

namespace vantery {

namespace {
// Drawn once per process: prints are only ever compared in memory, never written, so
// no two runs need to agree on them, and a key unknown to the writer of a transcript
// keeps it from crafting two request keys with one print.
hash128::Key drawKey() {
    hash128::Key key;
    try {
        std::random_device source;
        key.k0 = (std::uint64_t{source()} << 32) ^ source();
        key.k1 = (std::uint64_t{source()} << 32) ^ source();
    } catch (const std::exception&) {
        // No random source: the clock and this process's addresses still differ by run.
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        key.k0 = static_cast<std::uint64_t>(now);
        key.k1 = reinterpret_cast<std::uintptr_t>(&key) ^ static_cast<std::uint64_t>(getpid());
    }
    return key;
}
} // namespace

KeyPrint KeyPrint::of(std::string_view key) noexcept {
    if (key.empty()) return {};
    static const hash128::Key secret = drawKey();
    const hash128::Value h = hash128::keyed(key, secret);
    // 0:0 is the empty key's alone.
    const auto hi = static_cast<std::uint32_t>(h.hi);
    return {h.lo, h.lo == 0 && hi == 0 ? 1u : hi};
}

namespace {
// Guards every block's place_: held only to copy or swap the pointer.
std::mutex placeLock;
std::atomic<std::uint64_t> lastId{0};
} // namespace

FileBlock::FileBlock() : id_(++lastId) {}

FileBlock::FileBlock(const FileBlock& other)
    : id_(++lastId), rows_(other.rows_), prints_(other.prints_), keyChars_(other.keyChars_),
      keyEnds_(other.keyEnds_), place_(other.place()) {}

std::shared_ptr<const FileBlock::KeyPlace> FileBlock::place() const {
    std::lock_guard g(placeLock);
    return place_;
}

bool FileBlock::readsKeysFromSource() const {
    const auto p = place();
    return p && p->source;
}

void FileBlock::moveKeys(const std::shared_ptr<const KeySource>& source,
                         const std::uint32_t* offsets) const {
    const auto old = place();
    if (!old || !old->source) return;
    auto moved = std::make_shared<KeyPlace>(KeyPlace{old->keyAt, source});
    for (std::size_t i = 0; i < moved->keyAt.size(); ++i)
        if (!(moved->keyAt[i] & heldFlag)) moved->keyAt[i] = offsets[i];
    std::shared_ptr<const KeyPlace> dropped = std::move(moved);
    {
        std::lock_guard g(placeLock);
        place_.swap(dropped);
    }
    // The old place goes here, outside the lock: its source may close a file.
}

std::string_view FileBlock::KeyReader::operator()(const FileBlock& b, std::size_t i) {
    if (block_ != b.id_ || !place_) {
        place_ = b.place();
        block_ = b.id_;
    }
    const std::uint32_t at = place_->keyAt[i];
    if (at & heldFlag) {
        const std::uint32_t k = at & ~heldFlag;
        const std::uint32_t from = k == 0 ? 0 : b.keyEnds_[k - 1];
        return std::string_view(b.keyChars_).substr(from, b.keyEnds_[k] - from);
    }
    return place_->source->text(at, window_);
}

FileBlock::Builder::Builder(std::size_t expected)
    : block_(std::make_shared<FileBlock>()), index_(expected) {
    block_->rows_.reserve(expected);
    block_->prints_.reserve(expected);
    place_.keyAt.reserve(expected);
}

FileBlock::Builder::Builder(const FileBlock& from)
    : block_(std::make_shared<FileBlock>(from)), index_(2 * from.size()) {
    if (block_->place_) place_ = *block_->place_;
    for (std::size_t p = 0; p < from.size(); ++p)
        if (from.hasKey(p)) index_.add(*this, from.prints_[p].lo, p);
}

void FileBlock::Builder::push(const KeyPrint& print, std::uint32_t keyAt, const RequestRow& row) {
    FileBlock& b = *block_;
    if (b.size() >= std::numeric_limits<std::uint32_t>::max() - 1)
        throw std::length_error("block too large");
    b.prints_.push_back(print);
    place_.keyAt.push_back(keyAt);
    b.rows_.push_back(row);
    if (!print.empty()) index_.add(*this, print.lo, b.size() - 1);
}

void FileBlock::Builder::add(std::string_view key, const RequestRow& row) {
    FileBlock& b = *block_;
    if (b.keyChars_.size() + key.size() >= heldFlag || b.keyEnds_.size() >= heldFlag)
        throw std::length_error("block too large");
    const auto number = static_cast<std::uint32_t>(b.keyEnds_.size());
    b.keyChars_.append(key);
    b.keyEnds_.push_back(static_cast<std::uint32_t>(b.keyChars_.size()));
    push(KeyPrint::of(key), heldFlag | number, row);
}

void FileBlock::Builder::add(const KeyPrint& print, const std::shared_ptr<const KeySource>& source,
                             std::uint32_t at, const RequestRow& row) {
    if (at & heldFlag) throw std::length_error("key source too large");
    if (!place_.source) place_.source = source;
    if (place_.source != source) throw std::logic_error("a block has one key source");
    push(print, at, row);
}

std::optional<std::size_t> FileBlock::Builder::find(const KeyPrint& print) const {
    if (print.empty()) return std::nullopt;
    return index_.find(*this, print, print.lo);
}

std::shared_ptr<const FileBlock> FileBlock::Builder::finish() {
    index_ = detail::ProbeIndex<>();
    block_->rows_.shrink_to_fit();
    block_->prints_.shrink_to_fit();
    place_.keyAt.shrink_to_fit();
    block_->place_ = std::make_shared<const KeyPlace>(std::move(place_));
    block_->keyChars_.shrink_to_fit();
    block_->keyEnds_.shrink_to_fit();
    return std::move(block_);
}

} // namespace vantery
