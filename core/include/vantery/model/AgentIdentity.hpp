#pragma once
#include <cstddef>
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

    Kind kind() const noexcept { return kind_; }
    bool isSubagent() const noexcept { return kind_ != Kind::main; }
    /// The name of a named agent; empty otherwise.
    const std::string& name() const noexcept { return name_; }
    /// The raw agent id; absent for main.
    std::optional<std::string> rawId() const;
    /// The raw id, empty for main, without a copy.
    const std::string& rawIdText() const noexcept { return rawId_; }
    /// The text shown to users.
    std::string label() const;
    /// The text form used as a ranking tie-break key.
    std::string description() const;

    friend bool operator==(const AgentIdentity&, const AgentIdentity&) = default;
    std::size_t hash() const noexcept;

  private:
    AgentIdentity(Kind k, std::string name, std::string raw)
        : kind_(k), name_(std::move(name)), rawId_(std::move(raw)) {}
    Kind kind_ = Kind::main;
    std::string name_;
    std::string rawId_;
};

} // namespace vantery

template <> struct std::hash<vantery::AgentIdentity> {
    std::size_t operator()(const vantery::AgentIdentity& a) const noexcept { return a.hash(); }
};
