// Writing the cache file: the string table numbered in writing order, then the
// entries, encoded a few runs at once on several threads and handed on in order.
#include <algorithm>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>

#include "base/FlatIndex.hpp"
#include "base/Parallel.hpp"
#include "cache/CacheFileKeys.hpp"
#include "cache/CacheFileLayout.hpp"
#include "cache/CacheFilePieces.hpp"
#include "model/PrintIndex.hpp"
#include "vantery/cache/CacheFile.hpp"

namespace vantery {

namespace {

// Pieces handed to the sink are about this large: the file is never held whole.
constexpr std::size_t pieceBytes = std::size_t{4} << 20;

// The cache file's string table: every string of the entries in the order a writer
// going through them in order meets it, each once. Texts of the dictionary are looked
// up once per id; keys are numbered on their prints, apart from the other texts (a key
// that reads like a model or a path is written twice, which readers never mind: keys
// are only ever compared with keys). Only numbers are kept: the texts are read again,
// in the same order, as the table is written.
struct StringNumbers {
    FlatIndex index;
    std::uint32_t count = 0;
    // String index + 1 of each dictionary id, 0 until met.
    std::vector<std::uint32_t> model, session, cwd, home, agent;

    explicit StringNumbers(const RequestDictionary::Sizes& sizes)
        : model(sizes.models), session(sizes.sessions), cwd(sizes.cwds), home(sizes.homes),
          agent(sizes.agents) {}
    std::uint32_t intern(std::string_view s) {
        auto [value, inserted] = index.tryEmplace(s, count);
        if (inserted) ++count;
        return value;
    }
    template <class Text>
    std::uint32_t byId(std::vector<std::uint32_t>& ids, std::size_t id, Text&& text) {
        if (id >= ids.size()) ids.resize(id + 1, 0); // interned after the sizes were taken
        if (ids[id] == 0) ids[id] = intern(text(id)) + 1;
        return ids[id] - 1;
    }
    struct Row {
        std::uint32_t model, session, cwd, home, agent;
    };
    Row of(const RequestRow& r, const RequestDictionary& d) {
        return {
            byId(model, r.model, [&](std::size_t i) { return d.model(i); }),
            byId(session, r.session, [&](std::size_t i) { return d.session(i); }),
            byId(cwd, r.cwd, [&](std::size_t i) { return d.cwd(i); }),
            byId(home, r.home, [&](std::size_t i) { return d.home(static_cast<std::uint8_t>(i)); }),
            byId(agent, r.agent, [&](std::size_t i) -> std::string_view {
                return d.agent(static_cast<std::uint32_t>(i)).rawIdText();
            })};
    }
    /// The numbers of a row met by `of` before; reads only, so threads may share it.
    Row known(const RequestRow& r) const {
        return {model[r.model] - 1, session[r.session] - 1, cwd[r.cwd] - 1, home[r.home] - 1,
                agent[r.agent] - 1};
    }
};

// One file entry, its string numbers already known.
void encodeEntry(BinaryWriter& w, const ScanCache::FileState& state, std::uint32_t path,
                 const std::uint32_t* keys, std::int64_t rank, const StringNumbers& numbers,
                 const RequestDictionary& dictionary) {
    cachefile::FieldWriter out{w};
    const std::size_t n = state.block ? state.block->size() : 0;
    const cachefile::EntryFields entry{path,
                                       state.size,
                                       state.mtime,
                                       state.inode,
                                       state.consumed,
                                       state.diag,
                                       static_cast<std::int64_t>(n)};
    cachefile::eachEntryField(entry, out);
    for (std::size_t i = 0; i < n; ++i) {
        const RequestRow& r = state.block->row(i);
        const StringNumbers::Row s = numbers.known(r);
        const RequestCounts c = dictionary.counts(r);
        const cachefile::RecordFields record{keys[i],   r.timestamp, s.model,
                                             s.session, s.cwd,       s.home,
                                             s.agent,   c,           r.cacheWriteBreakdownAssumed(),
                                             rank};
        cachefile::eachRecordField(record, out);
    }
}

// Hands the writer's bytes to the sink once they pass the piece size.
void flushIf(BinaryWriter& w, const std::function<void(std::string_view)>& sink, bool always) {
    if (w.bytes.empty() || (!always && w.bytes.size() < pieceBytes)) return;
    sink(w.bytes);
    w.bytes.clear();
}

} // namespace

void writeCacheFile(const ScanCache::FileTable& table, const RequestDictionary& dictionary,
                    const std::function<void(std::string_view)>& sinkOfFile, bool keysDistinct,
                    std::vector<std::uint32_t>* keyOffsets, std::uint64_t maxBytes) {
    maxBytes = std::min<std::uint64_t>(maxBytes, cachefile::maxFileBytes + cachefile::trailerBytes);
    // Everything passes through here on its way out, so that the trailer can vouch for it.
    cachefile::PieceHash hash;
    std::uint64_t written = 0;
    const std::function<void(std::string_view)> sink = [&](std::string_view piece) {
        if (piece.size() > maxBytes - written) throw CacheTooLarge();
        hash.add(piece);
        written += piece.size();
        sinkOfFile(piece);
    };
    std::size_t records = 0;
    std::vector<const ScanCache::FileTable::value_type*> entries;
    std::vector<const FileBlock*> blocks;
    entries.reserve(table.size());
    blocks.reserve(table.size());
    for (const auto& entry : table) {
        entries.push_back(&entry);
        blocks.push_back(entry.second.block.get());
        records += entry.second.block ? entry.second.block->size() : 0;
    }
    if (records >= std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("too many requests for a cache file");

    // The string table, numbered in writing order; each entry's path and keys noted.
    std::vector<std::uint32_t> paths;
    std::vector<std::size_t> firstKey; // position of each entry's first key in keys
    std::vector<std::uint32_t> keys(records);
    StringNumbers numbers(dictionary.sizes());
    {
        // Keys met in several blocks share a number: the first meeting's.
        std::optional<detail::PrintIndex> shared;
        if (!keysDistinct) shared.emplace(blocks, records);
        std::size_t position = 0;
        for (std::size_t e = 0; e < entries.size(); ++e) {
            paths.push_back(numbers.intern(entries[e]->first));
            firstKey.push_back(position);
            if (!blocks[e]) continue;
            const FileBlock& b = *blocks[e];
            for (std::size_t i = 0; i < b.size(); ++i, ++position) {
                // Within a block keys are distinct; the empty key is one text like others.
                if (!b.hasKey(i)) {
                    keys[position] = numbers.intern(std::string_view());
                } else {
                    const std::size_t first =
                        shared ? shared->firstOf(b.keyPrint(i), position) : position;
                    keys[position] = first == position ? numbers.count++ : keys[first];
                }
                (void)numbers.of(b.row(i), dictionary);
            }
        }
    }

    BinaryWriter w;
    w.bytes.reserve(pieceBytes + 4096);
    w.bytes.assign(cachefile::magic);
    w.bytes.push_back(static_cast<char>(cachefile::version));
    w.writeUInt(numbers.count);
    // The texts in number order: the same walk again, each text written when its number
    // comes up. Where each lands is noted when the keys' places are asked for.
    // Four bytes a string: a file whose places pass them is refused as too large
    // before it is done.
    static_assert(cachefile::maxFileBytes <= std::numeric_limits<std::uint32_t>::max());
    std::vector<std::uint32_t> stringAt(keyOffsets ? numbers.count : 0);
    std::uint32_t next = 0;
    auto put = [&](std::uint32_t number, auto&& text) {
        if (number != next) return;
        if (keyOffsets)
            stringAt[number] = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(written + w.bytes.size(), cachefile::maxFileBytes));
        const std::string_view s = text();
        w.writeUInt(s.size());
        w.bytes.append(s);
        flushIf(w, sink, false);
        ++next;
    };
    {
        std::size_t position = 0;
        FileBlock::KeyReader key;
        for (std::size_t e = 0; e < entries.size(); ++e) {
            put(paths[e], [&] { return std::string_view(entries[e]->first); });
            if (!blocks[e]) continue;
            const FileBlock& b = *blocks[e];
            for (std::size_t i = 0; i < b.size(); ++i, ++position) {
                put(keys[position], [&] { return keyAsItWas(key, b, i); });
                const RequestRow& r = b.row(i);
                const StringNumbers::Row n = numbers.known(r);
                put(n.model, [&] { return dictionary.model(r.model); });
                put(n.session, [&] { return dictionary.session(r.session); });
                put(n.cwd, [&] { return dictionary.cwd(r.cwd); });
                put(n.home, [&] { return dictionary.home(r.home); });
                put(n.agent,
                    [&]() -> std::string_view { return dictionary.agent(r.agent).rawIdText(); });
            }
        }
    }
    w.writeUInt(table.size());
    flushIf(w, sink, true);
    // The entries take at least this much: refused before they are written.
    if (records * cachefile::minRecordBytes() + cachefile::trailerBytes > maxBytes - written)
        throw CacheTooLarge();

    // The entries, a request's rank its file's position in the table: runs of entries
    // of about a piece each, a few runs encoded at once on several threads and handed
    // on in order, so that only those few pieces are ever held.
    // A record takes some 40 to 80 bytes. A run's bytes stay below the allocator's
    // mapping threshold, so that each is a block of the heap used again, not pages
    // faulted anew at every save.
    constexpr std::size_t recordsPerRun = (std::size_t{512} << 10) / 128;
    std::vector<std::size_t> runStart{0};
    for (std::size_t e = 0, inRun = 0; e < entries.size(); ++e) {
        inRun += blocks[e] ? blocks[e]->size() : 0;
        if (inRun >= recordsPerRun || e + 1 == entries.size()) {
            runStart.push_back(e + 1);
            inRun = 0;
        }
    }
    const std::size_t runs = runStart.size() - 1;
    const std::size_t together = 4 * std::max<std::size_t>(1, parallel::maxThreads());
    std::vector<std::string> encoded(together);
    for (std::size_t first = 0; first < runs; first += together) {
        const std::size_t count = std::min(together, runs - first);
        parallel::forEach(count, [&](std::size_t k) {
            BinaryWriter out;
            const std::size_t from = runStart[first + k], to = runStart[first + k + 1];
            const std::size_t upTo = to < entries.size() ? firstKey[to] : keys.size();
            out.bytes.reserve((upTo - firstKey[from]) * 88 + (to - from) * 128);
            for (std::size_t e = from; e < to; ++e)
                encodeEntry(out, entries[e]->second, paths[e], keys.data() + firstKey[e],
                            static_cast<std::int64_t>(e), numbers, dictionary);
            encoded[k] = std::move(out.bytes);
        });
        for (std::size_t k = 0; k < count; ++k) {
            sink(encoded[k]);
            encoded[k] = {};
        }
    }
    const std::uint64_t length = written;
    sink(cachefile::trailer(length, hash.finish()));

    if (!keyOffsets) return;
    for (std::uint32_t& k : keys)
        k = stringAt[k];
    *keyOffsets = std::move(keys);
}

CacheTooLarge::CacheTooLarge()
    : std::length_error("the cache would pass the 2 GiB a load takes, so it is not kept and "
                        "each start reads every transcript again") {}

std::string encodeCacheFile(const ScanCache::FileTable& table,
                            const RequestDictionary& dictionary) {
    std::string out;
    writeCacheFile(table, dictionary, [&](std::string_view piece) { out.append(piece); });
    return out;
}

} // namespace vantery
