// The remote_bitbang client (see remote_bitbang.h).
#include "remote_bitbang.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tap_tracker.h"

namespace qsvfplay {

RemoteBitbang::RemoteBitbang(int socket) : m_socket(socket) {}

RemoteBitbang::~RemoteBitbang() {
    if (m_socket >= 0) ::close(m_socket);
}

namespace {

int connectUnix(const std::string &path, std::string &error) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        error = "socket path too long: " + path;
        return -1;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (s < 0 || ::connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        error = "cannot connect to " + path + ": " + std::strerror(errno);
        if (s >= 0) ::close(s);
        return -1;
    }
    return s;
}

int connectTcp(const std::string &host, const std::string &port, std::string &error) {
    addrinfo hints{}, *found = nullptr;
    hints.ai_socktype = SOCK_STREAM;
    if (const int status = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); status != 0) {
        error = "cannot find " + host + ": " + ::gai_strerror(status);
        return -1;
    }
    int s = -1;
    for (addrinfo *a = found; a && s < 0; a = a->ai_next) {
        s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s >= 0 && ::connect(s, a->ai_addr, a->ai_addrlen) != 0) {
            error = "cannot connect to " + host + ":" + port + ": " + std::strerror(errno);
            ::close(s);
            s = -1;
        }
    }
    ::freeaddrinfo(found);
    // A TDO read waits for its answer: without TCP_NODELAY each such round
    // trip can wait for a delayed acknowledgement (tens of milliseconds).
    const int yes = 1;
    if (s >= 0) ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    return s;
}

}  // namespace

std::unique_ptr<RemoteBitbang> RemoteBitbang::connect(const std::string &where, std::string &error) {
    const size_t colon = where.rfind(':');
    const bool tcp = colon != std::string::npos && colon + 1 < where.size() &&
                     where.find_first_not_of("0123456789", colon + 1) == std::string::npos;
    const int s = tcp ? connectTcp(where.substr(0, colon), where.substr(colon + 1), error) : connectUnix(where, error);
    if (s < 0) return nullptr;
    return std::make_unique<RemoteBitbang>(s);
}

void RemoteBitbang::put(char command) {
    m_pending.push_back(command);
    if (m_pending.size() >= 4096) flush();
}

bool RemoteBitbang::flush() {
    size_t done = 0;
    while (m_error.empty() && done < m_pending.size()) {
        const ssize_t n = ::send(m_socket, m_pending.data() + done, m_pending.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) m_error = std::string("remote_bitbang: sending failed: ") + std::strerror(errno);
        else done += static_cast<size_t>(n);
    }
    m_pending.clear();
    return m_error.empty();
}

bool RemoteBitbang::clock(bool tms, bool tdi, uint8_t state) {
    if (!m_error.empty()) return false;
    const char pins = static_cast<char>('0' + 2 * tms + tdi);
    put(pins);
    bool tdo = false;
    if (TapTracker::isShift(state)) {
        put('R');
        char answer = 0;
        ssize_t n = 0;
        if (flush()) {
            do n = ::recv(m_socket, &answer, 1, 0);
            while (n < 0 && errno == EINTR);
        }
        if (m_error.empty() && (n != 1 || (answer != '0' && answer != '1')))
            m_error = n == 1 ? "remote_bitbang: the server answered a TDO read with a byte that is not 0 or 1"
                             : "remote_bitbang: the server closed the connection";
        tdo = answer == '1';
    }
    put(static_cast<char>(pins + 4));
    return tdo;
}

void RemoteBitbang::shift(const uint8_t *tdi, uint8_t *tdo, size_t bits, uint8_t) {
    // Answers of one block stay well inside the socket buffers, so a server
    // that answers as it reads never waits for us to read.
    constexpr size_t kBlock = 1024;
    char answers[kBlock];
    for (size_t at = 0; at < bits && m_error.empty(); at += kBlock) {
        const size_t n = std::min(kBlock, bits - at);
        for (size_t i = at; i < at + n; ++i) {
            const char pins = static_cast<char>('0' + ((tdi[i >> 3] >> (i & 7)) & 1));
            put(pins);
            if (tdo) put('R');
            put(static_cast<char>(pins + 4));
        }
        if (!tdo || !flush()) continue;
        size_t got = 0;
        while (got < n) {
            const ssize_t r = ::recv(m_socket, answers + got, n - got, 0);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) {
                m_error = "remote_bitbang: the server closed the connection";
                return;
            }
            got += static_cast<size_t>(r);
        }
        for (size_t i = 0; i < n; ++i) {
            if (answers[i] != '0' && answers[i] != '1') {
                m_error = "remote_bitbang: the server answered a TDO read with a byte that is not 0 or 1";
                return;
            }
            const size_t bit = at + i;
            const uint8_t m = static_cast<uint8_t>(1u << (bit & 7));
            tdo[bit >> 3] = static_cast<uint8_t>(answers[i] == '1' ? tdo[bit >> 3] | m : tdo[bit >> 3] & ~m);
        }
    }
}

void RemoteBitbang::trst(bool asserted) { put(asserted ? 't' : 'r'); }

bool RemoteBitbang::finish(std::string &error) {
    if (m_error.empty()) {
        put('Q');
        flush();
    }
    error = m_error;
    return m_error.empty();
}

}  // namespace qsvfplay
