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

/// One line (without its newline) read before `deadline`, at most `maxLength` bytes;
/// absent when the peer closes, stays silent until the deadline or sends more.
std::optional<std::string> readLine(int fd, std::size_t maxLength, Clock::time_point deadline);

/// Writes all of `text`; false when the peer is gone. Never raises SIGPIPE.
bool writeAll(int fd, const std::string& text);

} // namespace vantery::app::channel
