#pragma once
// The block reader under every transcript scan, and the timestamp parser of its lines.
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vantery {

namespace detail {
/// A file opened read-only and positioned; closed on destruction.
class InputFile {
  public:
    /// Throws LineReader::ReadError when the file cannot be opened or positioned.
    InputFile(const std::string& path, std::uint64_t offset);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    /// Reads up to n bytes; 0 at the end of the file, negative on a read error.
    long long read(char* into, std::size_t n);

  private:
    int fd_ = -1;
};

/// The reading buffer of one line reader: the calling thread's reusable buffer when
/// it is free (so scans do not allocate per file), a fresh one when it is taken.
class ReadBuffer {
  public:
    explicit ReadBuffer(std::size_t size);
    ~ReadBuffer();
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;
    char* data() noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    /// Grows to at least n bytes, keeping the first `keep` bytes.
    void grow(std::size_t n, std::size_t keep);

  private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    bool borrowed_ = false;
};
} // namespace detail

/// Reads a file line by line in large blocks.
struct LineReader {
    LineReader() = delete;

    /// The file could not be opened, positioned or read. `deliveredUpTo` is the
    /// offset just after the last newline delivered before the failure (the start
    /// offset when none was), so callers know exactly which bytes were accounted for.
    struct ReadError : std::runtime_error {
        ReadError(std::string path, std::uint64_t deliveredUpTo);
        std::string path;
        std::uint64_t deliveredUpTo;
    };

    using Body = std::function<void(std::string_view line)>;

    static constexpr std::size_t blockSize = 1u << 20; ///< bytes asked of each read
    static constexpr std::size_t pendingReserve = 2u << 20;
    /// The default of maxLineBytes().
    static constexpr std::size_t defaultMaxLineBytes = std::size_t{256} << 20;

    /// The longest line a reading holds. A file with a longer line fails to read
    /// (ReadError at the start of that line) instead of taking all memory; callers
    /// name it unreadable and go on.
    static std::size_t maxLineBytes() noexcept;
    /// Changes maxLineBytes() for the whole process (tests inject a small one).
    static void setMaxLineBytes(std::size_t bytes) noexcept;

    /// Calls body once per complete line (without its newline; a CR stays) from
    /// fromOffset, reading no byte at or past upToOffset. Returns the offset just
    /// after the last newline delivered. Throws ReadError; an exception thrown by
    /// body stops the reading and is passed on. A last line without its newline is
    /// not delivered.
    static std::uint64_t forEachLine(const std::string& path, std::uint64_t fromOffset,
                                     std::optional<std::uint64_t> upToOffset, const Body& body);

    /// The same, with the body inlined (no type-erased call per line).
    template <class F>
    static std::uint64_t forEachLineInline(const std::string& path, std::uint64_t fromOffset,
                                           std::optional<std::uint64_t> upToOffset, F&& body);
};

template <class F>
std::uint64_t LineReader::forEachLineInline(const std::string& path, std::uint64_t fromOffset,
                                            std::optional<std::uint64_t> upToOffset, F&& body) {
    detail::InputFile file(path, fromOffset);
    const std::size_t maxLine = maxLineBytes();
    // One buffer holds the pending partial line followed by the freshly read bytes,
    // so each block is read in place and never copied; lines are delivered as views.
    detail::ReadBuffer buf(pendingReserve + blockSize);
    std::size_t start = 0;             // first byte of the pending (undelivered) line
    std::size_t end = 0;               // end of the valid bytes
    std::uint64_t offset = fromOffset; // file offset of buf[start]
    for (;;) {
        std::size_t pending = end - start;
        std::size_t want = blockSize;
        if (upToOffset) {
            if (offset + pending >= *upToOffset) break;
            std::uint64_t left = *upToOffset - offset - pending;
            if (left < want) want = static_cast<std::size_t>(left);
        }
        // Delivered lines leave the front, so each block lands on the same few
        // cache-warm bytes; the partial line carried over is usually short.
        if (start > 0) {
            std::memmove(buf.data(), buf.data() + start, pending);
            start = 0;
            end = pending;
        }
        if (buf.size() - end < want) buf.grow(end + want + end / 2, end);
        long long n = file.read(buf.data() + end, want);
        if (n < 0) throw ReadError(path, offset);
        if (n == 0) break;
        const char* base = buf.data();
        const char* scan = base + end;
        const char* stop = scan + n;
        end += static_cast<std::size_t>(n);
        while (scan < stop) {
            auto* nl = static_cast<const char*>(
                std::memchr(scan, '\n', static_cast<std::size_t>(stop - scan)));
            if (!nl) break;
            std::size_t len = static_cast<std::size_t>(nl - (base + start));
            if (len > maxLine) throw ReadError(path, offset);
            body(std::string_view(base + start, len));
            offset += len + 1;
            start += len + 1;
            scan = nl + 1;
        }
        if (start == end) start = end = 0;
        if (end - start > maxLine) throw ReadError(path, offset);
    }
    return offset;
}

/// Timestamp text to seconds since 1970; absent when it is not of the accepted form.
struct Timestamp {
    Timestamp() = delete;
    static std::optional<double> parse(std::string_view text);
};

} // namespace vantery
