#pragma once
// The few POSIX calls behind the single-instance socket: Qt's local sockets neither tell
// who is at the other end nor bound a read without an event loop, and this channel must
// answer while the GUI thread is still busy starting.
#include <chrono>
#include <optional>
#include <string>

namespace vantery::app::channel {

using Clock = std::chrono::steady_clock;

/// Whether `dir` is a folder only this user can enter: a real folder (not a symbolic
/// link), owned by the effective user, with no permission bits for group or others.
bool isPrivateFolder(const std::string& dir);

/// A listening socket bound at `path`, after removing whatever is there; -1 with
/// `error` set on failure. Close-on-exec.
int listenAt(const std::string& path, std::string& error);

/// A socket connected to `path` within `timeout`; -1 when nothing listens there (also
/// when the path is missing), with `refused` true, or when the connection could not be
/// made in time, with `refused` false.
int connectTo(const std::string& path, std::chrono::milliseconds timeout, bool& refused);

/// Whether the process at the other end of a connected socket runs as this user.
bool peerIsThisUser(int fd);

/// How far the line read from a connection has come.
enum class LineState {
    partial,  ///< no newline yet
    complete, ///< the line is whole (its newline and anything after it dropped)
    closed,   ///< the peer closed before the newline
    failed,   ///< a read error, or more than the longest line allowed before the newline
};

/// Appends to `line` what `fd` holds now, without waiting; at most `maxLength` bytes
/// before the newline.
LineState readAvailable(int fd, std::string& line, std::size_t maxLength);

/// One line (without its newline) read before `deadline`, at most `maxLength` bytes;
/// absent when the peer closes (with `closed` set, when given), stays silent until the
/// deadline or sends more.
std::optional<std::string> readLine(int fd, std::size_t maxLength, Clock::time_point deadline,
                                    bool* closed = nullptr);

/// Writes all of `text`; false when the peer is gone. Never raises SIGPIPE.
bool writeAll(int fd, const std::string& text);

} // namespace vantery::app::channel
