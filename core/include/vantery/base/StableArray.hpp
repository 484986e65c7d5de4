#pragma once
// An append-only array whose elements never move, for tables that readers use while a
// writer appends.
#include <array>
#include <atomic>
#include <cstddef>
#include <stdexcept>
#include <utility>

namespace vantery::detail {

// An append-only array whose elements never move: a reader may read any element below
// a size it was handed (through a lock or a published table) while a writer appends.
template <class T> class StableArray {
  public:
    static constexpr std::size_t chunkBits = 12;
    static constexpr std::size_t chunkSize = std::size_t{1} << chunkBits;
    static constexpr std::size_t maxChunks = std::size_t{1} << 14;

    StableArray() = default;
    StableArray(const StableArray&) = delete;
    StableArray& operator=(const StableArray&) = delete;
    ~StableArray() {
        for (auto& c : chunks_)
            delete[] c.load(std::memory_order_relaxed);
    }

    std::size_t size() const noexcept { return size_.load(std::memory_order_acquire); }
    const T& operator[](std::size_t i) const noexcept {
        return chunks_[i >> chunkBits].load(std::memory_order_acquire)[i & (chunkSize - 1)];
    }
    /// Appends; the caller serialises writers. Throws std::length_error when full.
    std::size_t push(T value) {
        const std::size_t i = size_.load(std::memory_order_relaxed);
        const std::size_t c = i >> chunkBits;
        if (c >= maxChunks) throw std::length_error("dictionary full");
        T* chunk = chunks_[c].load(std::memory_order_relaxed);
        if (!chunk) {
            chunk = new T[chunkSize];
            chunks_[c].store(chunk, std::memory_order_release);
        }
        chunk[i & (chunkSize - 1)] = std::move(value);
        size_.store(i + 1, std::memory_order_release);
        return i;
    }

  private:
    std::array<std::atomic<T*>, maxChunks> chunks_{};
    std::atomic<std::size_t> size_{0};
};

} // namespace vantery::detail
