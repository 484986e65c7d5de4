#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vantery {

/// Who made a request: the main session, a named sub-agent or an anonymous one.
class AgentIdentity {
  public:
    enum class Kind : std::uint8_t { main = 0, named = 1, anonymous = 2 };

    AgentIdentity() = default; ///< main
    static AgentIdentity mainSession() { return {}; }
    static AgentIdentity named(std::string name, std::string rawId);
    static AgentIdentity anonymous(std::string rawId);

    /// Classifies a transcript's agent id; never fails (absent or empty gives main).
    static AgentIdentity parse(std::optional<std::string_view> rawAgentId);

    Kind kind() const noexcept { return data_ ? data_->kind : Kind::main; }
    bool isSubagent() const noexcept { return data_ != nullptr; }
    /// The name of a named agent; empty otherwise.
    const std::string& name() const noexcept { return data_ ? data_->name : noText(); }
    /// The raw agent id; absent for main.
    std::optional<std::string> rawId() const;
    /// The raw id, empty for main, without a copy.
    const std::string& rawIdText() const noexcept { return data_ ? data_->rawId : noText(); }
    /// The text shown to users.
    std::string label() const;
    /// The text form used as a ranking tie-break key.
    std::string description() const;

    friend bool operator==(const AgentIdentity& a, const AgentIdentity& b) noexcept {
        return a.data_ == b.data_ ||
               (a.kind() == b.kind() && a.name() == b.name() && a.rawIdText() == b.rawIdText());
    }
    std::size_t hash() const noexcept;

  private:
    // Copies share one immutable payload: reports hold an identity per agent in several
    // maps, and a history holds hundreds of thousands of agents.
    struct Data {
        Kind kind;
        std::string name;
        std::string rawId;
    };
    AgentIdentity(Kind k, std::string name, std::string raw)
        : data_(std::make_shared<const Data>(Data{k, std::move(name), std::move(raw)})) {}
    static const std::string& noText() noexcept;
    std::shared_ptr<const Data> data_; ///< null for main
};

} // namespace vantery

template <> struct std::hash<vantery::AgentIdentity> {
    std::size_t operator()(const vantery::AgentIdentity& a) const noexcept { return a.hash(); }
};
