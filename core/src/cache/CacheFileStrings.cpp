#include "cache/CacheFileStrings.hpp"

#include <algorithm>

#include "cache/BinaryCodec.hpp"
#include "vantery/base/Text.hpp"

namespace vantery::cachefile {

namespace {

[[noreturn]] void truncated() {
    throw BinaryReader::Failure{BinaryReader::DecodeError::truncated};
}

// The string stored in `s`: its length, then exactly that many bytes.
std::string_view lengthThenText(std::string_view s) {
    std::uint64_t length = 0;
    const std::size_t used = decodeVarint(s, length);
    if (used == 0 || length != s.size() - used) truncated();
    return s.substr(used);
}

} // namespace

bool readStrings(InOrder& in, StringTable& t) {
    std::uint64_t count = 0;
    {
        const std::size_t used = decodeVarint(in.need(10), count);
        if (used == 0 || count > maxCacheStrings) return false;
        in.advance(used);
    }
    // Every string takes at least its one length byte.
    t.at.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, in.left())));
    auto note = [&t](std::uint64_t at, std::string_view raw) {
        if (isAscii(raw) || text::isValidUtf8(raw)) {
            t.at.push_back(static_cast<std::uint32_t>(at));
        } else {
            t.repaired.emplace(static_cast<std::uint32_t>(t.at.size()), text::sanitizeUtf8(raw));
            t.at.push_back(static_cast<std::uint32_t>(at) | StringTable::repairedFlag);
        }
    };
    for (std::uint64_t i = 0; i < count;) {
        // The strings that lie whole in the batch held, in a tight loop.
        const std::string_view held = in.need(10);
        const std::uint64_t heldAt = in.position();
        std::size_t pos = 0;
        while (i < count && held.size() - pos >= 10) {
            std::uint64_t length = 0;
            const std::size_t used = decodeVarint(held.substr(pos), length);
            if (used == 0) return false; // ten bytes were there: no varint ends so late
            if (length > held.size() - pos - used) break;
            note(heldAt + pos, held.substr(pos + used, static_cast<std::size_t>(length)));
            pos += used + static_cast<std::size_t>(length);
            ++i;
        }
        in.advance(pos);
        if (pos > 0 || i == count) continue;
        // A string across the end of the batch held, or among the file's last bytes.
        const std::uint64_t at = in.position();
        std::string_view view = held;
        std::uint64_t length = 0;
        const std::size_t used = decodeVarint(view, length);
        if (used == 0 || length > in.left() - used) return false;
        const std::size_t whole = used + static_cast<std::size_t>(length);
        if (view.size() < whole) view = in.need(whole);
        if (view.size() < whole) return false;
        note(at, view.substr(used, static_cast<std::size_t>(length)));
        in.advance(whole);
        ++i;
    }
    t.end = in.position();
    return true;
}

bool StringTexts::hold(std::uint64_t from, std::uint64_t to) {
    held_ = 0;
    start_ = CheckedFile::pieceStart(from);
    if (to <= from) return true;
    const auto n = static_cast<std::size_t>(file_.pieceEnd(to) - start_);
    if (n > capacity_) {
        bytes_.reset();
        bytes_ = std::make_unique_for_overwrite<char[]>(n);
        capacity_ = n;
    }
    if (!file_.read(start_, start_ + n, bytes_.get())) return false;
    held_ = n;
    return true;
}

std::string_view StringTexts::text(std::size_t i, std::string& scratch) const {
    if (t_.isRepaired(i)) return t_.repaired.at(static_cast<std::uint32_t>(i));
    const std::uint64_t at = t_.offset(i), end = t_.endOf(i);
    if (at >= start_ && end <= start_ + held_)
        return lengthThenText(
            std::string_view(bytes_.get(), held_)
                .substr(static_cast<std::size_t>(at - start_), static_cast<std::size_t>(end - at)));
    // The pieces it lies in, checked like any other read.
    const std::uint64_t from = CheckedFile::pieceStart(at), to = file_.pieceEnd(end);
    scratch.resize(static_cast<std::size_t>(to - from));
    if (!file_.read(from, to, scratch.data())) truncated();
    return lengthThenText(std::string_view(scratch).substr(static_cast<std::size_t>(at - from),
                                                           static_cast<std::size_t>(end - at)));
}

std::uint32_t StringUses::resolve(Kind kind, std::size_t s, std::string& scratch) {
    const std::uint32_t tag = tagOf(kind);
    std::uint32_t held = slot_[s].load(std::memory_order_relaxed);
    if ((held >> idBits << idBits) == tag) return held & ((1u << idBits) - 1);
    const std::uint32_t id = intern(kind, texts_.text(s, scratch));
    // Threads racing here intern the same text and get the same id.
    if (held == 0 && id < (1u << idBits))
        slot_[s].compare_exchange_strong(held, tag | id, std::memory_order_relaxed);
    return id;
}

std::uint32_t StringUses::intern(Kind kind, std::string_view text) {
    switch (kind) {
    case model:
        return d_.internModel(text);
    case session:
        return d_.internSession(text);
    case cwd:
        return d_.internCwd(text);
    case home:
        return d_.internHome(text);
    case agent:
        return text.empty() ? 0 : d_.internAgent(AgentIdentity::parse(text));
    case key:
    case kindCount:
        break;
    }
    return 0;
}

} // namespace vantery::cachefile
