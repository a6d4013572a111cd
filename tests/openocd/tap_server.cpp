// tap_server: the simulated TAP of tap_model.h behind a remote_bitbang
// server, so that any remote_bitbang client (OpenOCD, qsvfplay) can play
// onto it.  It listens on 127.0.0.1 (--port N, 0 picks a free port) or on a
// unix socket (--socket PATH), prints "port N" or "socket PATH" on standard
// output once it listens, serves one client until it sends Q or closes the
// connection, and writes the recording (--record FILE).
//
//   tap_server [--port N | --socket PATH] --record FILE [--answers FILE]
//              [--setup-until-srst] [--irlen N | --chain LENGTHS] [--timeout SECONDS]
//
// --answers gives the TDO of the scans, one line per scan: "IR|DR <bits>
// <hex>"; with --setup-until-srst the answers begin after the client's
// set-up, which it ends by asserting SRST (OpenOCD's init probe comes
// first).  --irlen is the instruction length of the
// one-device chain seen by scans without an answer (default 8); --chain
// gives a chain of devices instead, their IR lengths separated by commas
// from the TDO end, and records what each device takes at every Update
// (the device lines of tap_model.h).  --timeout
// ends a run whose client does not connect or goes silent (default 120 s).
// Status: 0 served, 1 usage, file or socket error, or time-out.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tap_model.h"

namespace {

struct Options {
    long port = -1;
    std::string socketPath, recordFile, answersFile;
    unsigned irLength = 8;
    std::vector<unsigned> chain;
    int timeoutSeconds = 120;
    bool setUpFirst = false;
};

bool parseOptions(int argc, char **argv, Options &options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--setup-until-srst") {
            options.setUpFirst = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        const std::string value = argv[++i];
        if (arg == "--port")
            options.port = std::strtol(value.c_str(), nullptr, 10);
        else if (arg == "--socket")
            options.socketPath = value;
        else if (arg == "--record")
            options.recordFile = value;
        else if (arg == "--answers")
            options.answersFile = value;
        else if (arg == "--irlen")
            options.irLength = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
        else if (arg == "--chain") {
            std::istringstream lengths(value);
            for (std::string length; std::getline(lengths, length, ',');) {
                const unsigned long bits = std::strtoul(length.c_str(), nullptr, 10);
                if (bits == 0 || bits > 4096) return false;
                options.chain.push_back(static_cast<unsigned>(bits));
            }
            if (options.chain.empty()) return false;
        } else if (arg == "--timeout")
            options.timeoutSeconds = std::atoi(value.c_str());
        else
            return false;
    }
    return !options.recordFile.empty() && (options.port >= 0) != !options.socketPath.empty() &&
           options.port <= 65535 && options.irLength > 0 && options.irLength <= 4096 && options.timeoutSeconds > 0;
}

bool readAnswers(const std::string &file, std::vector<tapsim::Answer> &answers) {
    std::ifstream in(file);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind, hex;
        uint64_t length = 0;
        if (!(words >> kind >> length >> hex) || (kind != "IR" && kind != "DR")) return false;
        tapsim::Answer answer;
        answer.instruction = kind == "IR";
        if (!tapsim::hexToBits(hex, length, answer.bits)) return false;
        answers.push_back(std::move(answer));
    }
    return true;
}

// A large receive buffer, so that a burst of pin bytes fits (see Drain).
bool largeBuffer(int fd) {
    const int bytes = 8 << 20;
    return setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof(bytes)) == 0;
}

// Listens and prints where; -1 on failure.
int listenSocket(const Options &options) {
    if (!options.socketPath.empty()) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (options.socketPath.size() >= sizeof(address.sun_path)) return -1;
        std::memcpy(address.sun_path, options.socketPath.c_str(), options.socketPath.size() + 1);
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        unlink(options.socketPath.c_str());
        if (fd < 0 || !largeBuffer(fd) || bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 || listen(fd, 1) != 0)
            return -1;
        std::cout << "socket " << options.socketPath << std::endl;
        return fd;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(options.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes)) != 0 || !largeBuffer(fd) ||
        bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 || listen(fd, 1) != 0)
        return -1;
    socklen_t size = sizeof(address);
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) != 0) return -1;
    std::cout << "port " << ntohs(address.sin_port) << std::endl;
    return fd;
}

bool waitReadable(int fd, int timeoutSeconds) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, timeoutSeconds * 1000) == 1;
}

bool writeAll(int fd, const std::string &bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// OpenOCD 0.12 writes to a non-blocking socket and gives up when the
// socket is full ("Resource temporarily unavailable"), so the connection is
// drained by a thread of its own into memory, however long the TAP takes.
class Drain {
public:
    Drain(int fd, int timeoutSeconds) : m_fd(fd), m_timeout(timeoutSeconds), m_thread([this] { run(); }) {}
    ~Drain() { m_thread.join(); }

    // The next bytes; empty at the end of the connection (`failed` tells a
    // time-out or a socket error from a close).
    std::string next() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_chunks.empty() || m_done; });
        if (m_chunks.empty()) return {};
        std::string chunk = std::move(m_chunks.front());
        m_chunks.pop_front();
        m_held -= chunk.size();
        return chunk;
    }
    bool failed() const { return m_failed; }

private:
    void run() {
        std::vector<char> buffer(1 << 16);
        bool failed = false;
        for (;;) {
            if (!waitReadable(m_fd, m_timeout)) {
                failed = true;
                break;
            }
            const ssize_t n = recv(m_fd, buffer.data(), buffer.size(), 0);
            if (n <= 0) {
                failed = n < 0;
                break;
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            m_held += static_cast<size_t>(n);
            if (m_held > kMaxHeld) {
                failed = true;
                break;
            }
            m_chunks.emplace_back(buffer.data(), static_cast<size_t>(n));
            m_ready.notify_one();
            // The client quits with Q as its last byte.
            if (buffer[static_cast<size_t>(n) - 1] == 'Q') break;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failed = failed;
        m_done = true;
        m_ready.notify_one();
    }

    static constexpr size_t kMaxHeld = size_t{1} << 30;
    int m_fd;
    int m_timeout;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::string> m_chunks;
    size_t m_held = 0;
    bool m_done = false, m_failed = false;
    std::thread m_thread;
};

// Serves one client; false on a time-out or a socket error.
bool serve(int client, tapsim::Tap &tap, int timeoutSeconds) {
    Drain drain(client, timeoutSeconds);
    std::string replies;
    bool quit = false;
    for (std::string chunk = drain.next(); !chunk.empty(); chunk = drain.next()) {
        replies.clear();
        for (const char command : chunk) {
            if (quit) break;
            if (command >= '0' && command <= '7') {
                const int pins = command - '0';
                tap.setPins(pins & 4, pins & 2, pins & 1);
            } else if (command == 'R') {
                replies += tap.tdo() ? '1' : '0';
            } else if (command >= 'r' && command <= 'u') {
                const int lines = command - 'r';
                tap.setReset(lines & 2, lines & 1);
            } else if (command == 'Q') {
                quit = true;
            }
            // B and b (the activity light) and anything else change nothing.
        }
        if (!replies.empty() && !writeAll(client, replies)) {
            shutdown(client, SHUT_RDWR);
            while (!drain.next().empty()) {
            }
            return false;
        }
    }
    return !drain.failed();
}

int run(int argc, char **argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::cerr << "usage: tap_server [--port N | --socket PATH] --record FILE [--answers FILE] "
                     "[--setup-until-srst] [--irlen N | --chain LENGTHS] [--timeout SECONDS]\n";
        return 1;
    }
    std::vector<tapsim::Answer> answers;
    if (!options.answersFile.empty() && !readAnswers(options.answersFile, answers)) {
        std::cerr << "tap_server: cannot read the answers in " << options.answersFile << '\n';
        return 1;
    }
    std::ofstream record(options.recordFile);
    if (!record) {
        std::cerr << "tap_server: cannot write " << options.recordFile << '\n';
        return 1;
    }
    const int listener = listenSocket(options);
    if (listener < 0) {
        std::cerr << "tap_server: cannot listen: " << std::strerror(errno) << '\n';
        return 1;
    }
    if (!waitReadable(listener, options.timeoutSeconds)) {
        std::cerr << "tap_server: no client within " << options.timeoutSeconds << " s\n";
        return 1;
    }
    const int client = accept(listener, nullptr, nullptr);
    close(listener);
    if (!options.socketPath.empty()) unlink(options.socketPath.c_str());
    if (client < 0) return 1;
    // One-byte TDO answers go out at once (no wait for a delayed acknowledgement).
    const int yes = 1;
    if (options.socketPath.empty()) setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
    const bool chain = !options.chain.empty();
    tapsim::Tap tap(record, chain ? options.chain : std::vector<unsigned>{options.irLength}, std::move(answers),
                    options.setUpFirst, chain);
    const bool served = serve(client, tap, options.timeoutSeconds);
    close(client);
    tap.finish();
    record.close();
    if (!served) std::cerr << "tap_server: the client went silent or the connection failed\n";
    if (!record) std::cerr << "tap_server: cannot write " << options.recordFile << '\n';
    return served && record ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) { return run(argc, argv); }
