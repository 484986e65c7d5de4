#include "Process.hpp"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vantery::mcp::testing {

ProcessResult runProcess(const std::string& program, const std::string& input,
                         const std::map<std::string, std::string>& env, bool readerGone) {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");

    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        auto eq = entry.find('=');
        if (env.count(entry.substr(0, eq)) == 0) envText.push_back(entry);
    }
    for (const auto& [k, v] : env)
        envText.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& s : envText)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string prog = program;
    char* argv[] = {prog.data(), nullptr};

    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            close(fd);
        execve(prog.c_str(), argv, envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);

    // Feed and drain at once, so that neither side blocks on a full pipe.
    ProcessResult r;
    std::size_t written = 0;
    int inFd = in[1];
    fcntl(inFd, F_SETFL, O_NONBLOCK);
    if (input.empty()) {
        close(inFd);
        inFd = -1;
    }
    bool outOpen = true, errOpen = true;
    if (readerGone) {
        close(out[0]);
        outOpen = false;
    }
    auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
    while (outOpen || errOpen) {
        pollfd fds[3];
        int n = 0;
        if (outOpen) fds[n++] = {out[0], POLLIN, 0};
        if (errOpen) fds[n++] = {err[0], POLLIN, 0};
        if (inFd >= 0) fds[n++] = {inFd, POLLOUT, 0};
        int ready = poll(fds, static_cast<nfds_t>(n), 30000);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            kill(pid, SIGKILL); // a hung program fails the test instead of hanging it
            break;
        }
        for (int i = 0; i < n; ++i) {
            if (!fds[i].revents) continue;
            if (fds[i].fd == inFd) {
                ssize_t w = write(inFd, input.data() + written, input.size() - written);
                if (w > 0) written += static_cast<std::size_t>(w);
                if (w < 0 && errno != EAGAIN) written = input.size();
                if (written == input.size()) {
                    close(inFd);
                    inFd = -1;
                }
                continue;
            }
            char buf[65536];
            ssize_t got = read(fds[i].fd, buf, sizeof buf);
            bool isOut = fds[i].fd == out[0];
            if (got <= 0) {
                (isOut ? outOpen : errOpen) = false;
                continue;
            }
            (isOut ? r.out : r.err).append(buf, static_cast<std::size_t>(got));
        }
    }
    std::signal(SIGPIPE, oldPipe);
    if (inFd >= 0) close(inFd);
    if (!readerGone) close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) r.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    return r;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        auto nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        out.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return out;
}

} // namespace vantery::mcp::testing
