#include "vantery/model/AgentIdentity.hpp"

#include <functional>

#include "vantery/base/Text.hpp"

namespace vantery {
namespace {

// Full-width digits U+FF10..U+FF19 and small letters U+FF41..U+FF46 count as
// lower-case hexadecimal digits too.
bool isLowerHexCharacter(std::string_view c) {
    if (c.size() == 1) return (c[0] >= '0' && c[0] <= '9') || (c[0] >= 'a' && c[0] <= 'f');
    if (c.size() == 3 && static_cast<unsigned char>(c[0]) == 0xEF) {
        auto b1 = static_cast<unsigned char>(c[1]), b2 = static_cast<unsigned char>(c[2]);
        if (b1 == 0xBC && b2 >= 0x90 && b2 <= 0x99) return true; // U+FF10..FF19
        if (b1 == 0xBD && b2 >= 0x81 && b2 <= 0x86) return true; // U+FF41..FF46
    }
    return false;
}

} // namespace

AgentIdentity AgentIdentity::named(std::string name, std::string rawId) {
    return AgentIdentity(Kind::named, std::move(name), std::move(rawId));
}

AgentIdentity AgentIdentity::anonymous(std::string rawId) {
    return AgentIdentity(Kind::anonymous, {}, std::move(rawId));
}

AgentIdentity AgentIdentity::parse(std::optional<std::string_view> rawAgentId) {
    if (!rawAgentId || rawAgentId->empty()) return mainSession();
    std::string_view id = *rawAgentId;
    auto anon = [&] { return anonymous(std::string(id)); };
    // "a" and "-" are whole characters: an "a" or "-" carrying a combining mark is neither.
    if (text::detail::clusterLength(id, 0) != 1 || id.front() != 'a') return anon();
    std::string_view rest = id.substr(1);
    auto dash = std::string_view::npos;
    std::size_t at = 0;
    text::forEachCharacter(rest, [&](std::string_view c) {
        if (c == "-") dash = at;
        at += c.size();
    });
    if (dash == std::string_view::npos) return anon();
    std::string_view suffix = rest.substr(dash + 1);
    std::size_t count = 0;
    bool allHex = true;
    text::forEachCharacter(suffix, [&](std::string_view c) {
        ++count;
        if (!isLowerHexCharacter(c)) allHex = false;
    });
    if (count != 16 && count != 17) return anon();
    if (!allHex) return anon();
    std::string_view name = rest.substr(0, dash);
    if (name.empty()) return anon();
    return named(std::string(name), std::string(id));
}

const std::string& AgentIdentity::noText() noexcept {
    static const std::string empty;
    return empty;
}

std::optional<std::string> AgentIdentity::rawId() const {
    if (!data_) return std::nullopt;
    return data_->rawId;
}

std::string AgentIdentity::label() const {
    switch (kind()) {
    case Kind::main:
        return "main session";
    case Kind::named:
        return name();
    case Kind::anonymous:
        return "anonymous agent " + std::string(text::prefixCharacters(rawIdText(), 9));
    }
    return {};
}

std::string AgentIdentity::description() const {
    return data_ ? rawIdText() : std::string("(main)");
}

std::size_t AgentIdentity::hash() const noexcept {
    const Kind k = kind();
    std::size_t h = static_cast<std::size_t>(k);
    auto mix = [&h](const std::string& s) {
        h ^= std::hash<std::string>{}(s) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    };
    if (k == Kind::named) mix(name());
    if (k != Kind::main) mix(rawIdText());
    return h;
}

} // namespace vantery
