#include "server.h"

#include "hostile.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int MbapSize = 7; // transaction id, protocol id, length, unit id

int wakePipe[2] = {-1, -1};

void onStopSignal(int)
{
    // Only async-signal-safe work here: the poll loop sees the byte and shuts down.
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] auto ignored = write(wakePipe[1], &byte, 1);
    errno = saved;
}

} // namespace

bool installStopHandlers()
{
    if (pipe2(wakePipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return false;
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;
    sigemptyset(&stop.sa_mask);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    // A client that vanishes must cost us a failed send, never the process.
    return sigaction(SIGINT, &stop, nullptr) == 0 && sigaction(SIGTERM, &stop, nullptr) == 0
        && sigaction(SIGPIPE, &ignore, nullptr) == 0;
}

int stopSignalFd() { return wakePipe[0]; }

void advanceLiveValues(modbus_mapping_t *mapping)
{
    // uint16_t arithmetic wraps 65535 -> 0 by itself.
    ++mapping->tab_registers[0];
    ++mapping->tab_input_registers[0];
    mapping->tab_bits[1] ^= 1;
    mapping->tab_input_bits[0] ^= 1;
}

// For any other function modbus_reply either answers after sleeping and flushing the
// socket, which would stall every client and swallow pipelined requests, or does not
// answer at all.
bool libmodbusImplements(int function)
{
    switch (function) {
    case MODBUS_FC_READ_COILS:
    case MODBUS_FC_READ_DISCRETE_INPUTS:
    case MODBUS_FC_READ_HOLDING_REGISTERS:
    case MODBUS_FC_READ_INPUT_REGISTERS:
    case MODBUS_FC_WRITE_SINGLE_COIL:
    case MODBUS_FC_WRITE_SINGLE_REGISTER:
    case MODBUS_FC_WRITE_MULTIPLE_COILS:
    case MODBUS_FC_WRITE_MULTIPLE_REGISTERS:
    case MODBUS_FC_REPORT_SLAVE_ID:
    case MODBUS_FC_MASK_WRITE_REGISTER:
    case MODBUS_FC_WRITE_AND_READ_REGISTERS: return true;
    default: return false;
    }
}

namespace {

struct Outgoing {
    std::vector<std::uint8_t> bytes;
    Clock::time_point due;
    bool closeAfter = false;
};

struct Client {
    int fd = -1;
    int lowWater = 1;
    // Delayed replies. While any are queued the client's further requests stay in
    // the kernel buffer, so replies never overtake one another.
    std::deque<Outgoing> outgoing;
    bool dead = false;
};

class Server
{
public:
    Server(modbus_t *ctx, modbus_mapping_t *mapping, int listenFd, ServerSettings settings)
        : ctx_(ctx), mapping_(mapping), listenFd_(listenFd), settings_(settings)
    {
    }
    ~Server()
    {
        for (const Client &client : clients_)
            close(client.fd);
    }
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    int run();

private:
    void acceptClients();
    bool serveRequest(Client &client, short revents);
    bool setLowWater(Client &client, int bytes);
    bool flushDue(Client &client, Clock::time_point now);
    int pollTimeoutMs(Clock::time_point now) const;

    modbus_t *ctx_;
    modbus_mapping_t *mapping_;
    int listenFd_;
    ServerSettings settings_;
    std::vector<Client> clients_;
    Clock::time_point nextTick_ = Clock::now() + 1s;
    bool acceptPaused_ = false;
};

void Server::acceptClients()
{
    for (;;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors: stop polling the listener until a client leaves,
                // or poll would report it readable forever.
                std::fprintf(stderr, "modbus-sim: cannot accept: %s\n", std::strerror(errno));
                acceptPaused_ = true;
            }
            return;
        }
        // Replies are small and the hostile ones are deliberately split; Nagle would
        // glue the pieces back together.
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Client client;
        client.fd = fd;
        clients_.push_back(std::move(client));
    }
}

bool Server::setLowWater(Client &client, int bytes)
{
    if (client.lowWater == bytes)
        return true;
    client.lowWater = bytes;
    return setsockopt(client.fd, SOL_SOCKET, SO_RCVLOWAT, &bytes, sizeof bytes) == 0;
}

// Returns false when the client must be dropped.
bool Server::serveRequest(Client &client, short revents)
{
    // modbus_receive blocks until a whole frame is in, and one stalled client would
    // stall everybody. So it is only called once the MBAP header says the whole frame
    // has arrived; until then SO_RCVLOWAT keeps poll quiet about the partial frame.
    std::uint8_t peeked[MODBUS_TCP_MAX_ADU_LENGTH];
    ssize_t n = recv(client.fd, peeked, MbapSize, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0)
        return false;
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    const bool peerDone = revents & (POLLRDHUP | POLLHUP);
    if (n < MbapSize)
        return !peerDone && setLowWater(client, MbapSize);

    const int protocolId = peeked[2] << 8 | peeked[3];
    const int length = peeked[4] << 8 | peeked[5];
    // The length covers the unit id plus a PDU of 1..253 bytes; anything else is not
    // Modbus TCP and there is no way to find the next frame boundary in it.
    if (protocolId != 0 || length < 2 || length > MODBUS_TCP_MAX_ADU_LENGTH - 6)
        return false;
    const int frameSize = 6 + length;
    n = recv(client.fd, peeked, frameSize, MSG_PEEK | MSG_DONTWAIT);
    if (n < frameSize)
        return n >= 0 && !peerDone && setLowWater(client, frameSize);

    // libmodbus select()s before every read inside the frame and would wait for the
    // low-water mark too.
    if (!setLowWater(client, 1))
        return false;
    modbus_set_socket(ctx_, client.fd);
    std::uint8_t request[MODBUS_TCP_MAX_ADU_LENGTH];
    const int received = modbus_receive(ctx_, request);
    // libmodbus frames by function code, not by the MBAP length. For functions it
    // does not know it reads only up to the function code; the MBAP length is what
    // delimits frames, so the rest is discarded and the request gets "illegal
    // function" below. Having read past the frame, though, the stream is out of step.
    if (received <= 0 || received > frameSize)
        return false;
    if (received < frameSize && recv(client.fd, peeked, frameSize - received, MSG_DONTWAIT) != frameSize - received)
        return false;

    if (settings_.hostile) {
        if (auto plan = hostile::planFor(request, received, mapping_->tab_registers)) {
            auto due = Clock::now() + std::chrono::milliseconds(plan->firstDelayMs);
            for (std::size_t i = 0; i < plan->chunks.size(); ++i) {
                const bool last = i + 1 == plan->chunks.size();
                client.outgoing.push_back({std::move(plan->chunks[i]), due, last && plan->closeAfter});
                due += std::chrono::milliseconds(plan->gapMs);
            }
            return flushDue(client, Clock::now());
        }
    }
    if (!libmodbusImplements(request[MbapSize]))
        return modbus_reply_exception(ctx_, request, MODBUS_EXCEPTION_ILLEGAL_FUNCTION) >= 0;
    return modbus_reply(ctx_, request, received, mapping_) >= 0;
}

bool Server::flushDue(Client &client, Clock::time_point now)
{
    while (!client.outgoing.empty() && client.outgoing.front().due <= now) {
        const Outgoing &next = client.outgoing.front();
        const ssize_t sent = send(client.fd, next.bytes.data(), next.bytes.size(), MSG_NOSIGNAL);
        // A client that does not drain a few hundred bytes of replies is not worth
        // buffering for.
        if (sent != static_cast<ssize_t>(next.bytes.size()) || next.closeAfter)
            return false;
        client.outgoing.pop_front();
    }
    return true;
}

int Server::pollTimeoutMs(Clock::time_point now) const
{
    std::optional<Clock::time_point> wake;
    if (settings_.live)
        wake = nextTick_;
    for (const Client &client : clients_) {
        if (!client.outgoing.empty() && (!wake || client.outgoing.front().due < *wake))
            wake = client.outgoing.front().due;
    }
    return pollTimeoutUntil(wake, now);
}

} // namespace

int pollTimeoutUntil(std::optional<Clock::time_point> wake, Clock::time_point now)
{
    if (!wake)
        return -1;
    if (*wake <= now)
        return 0;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(*wake - now).count();
    return static_cast<int>((us + 999) / 1000);
}

namespace {

int Server::run()
{
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        fds.push_back({wakePipe[0], POLLIN, 0});
        fds.push_back({acceptPaused_ ? -1 : listenFd_, POLLIN, 0});
        for (const Client &client : clients_) {
            // With a delayed reply queued, only watch for the client going away.
            const short events = client.outgoing.empty() ? (POLLIN | POLLRDHUP) : POLLRDHUP;
            fds.push_back({client.fd, events, 0});
        }
        if (poll(fds.data(), fds.size(), pollTimeoutMs(Clock::now())) < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "modbus-sim: poll: %s\n", std::strerror(errno));
            return 1;
        }
        if (fds[0].revents)
            return 0;
        if (fds[1].revents & POLLIN)
            acceptClients();

        // Clients accepted just now have no pollfd yet; they are served next round.
        for (std::size_t i = 2; i < fds.size(); ++i) {
            Client &client = clients_[i - 2];
            const short revents = fds[i].revents;
            // Dropped: a broken socket, and a client gone while a delayed reply waits for it.
            const bool goneWithReplyQueued = !client.outgoing.empty() && (revents & (POLLRDHUP | POLLHUP));
            if ((revents & (POLLERR | POLLNVAL)) || goneWithReplyQueued)
                client.dead = true;
            else if (revents && client.outgoing.empty())
                client.dead = !serveRequest(client, revents);
        }

        const auto now = Clock::now();
        for (Client &client : clients_) {
            if (!client.dead && !flushDue(client, now))
                client.dead = true;
        }
        if (settings_.live && now >= nextTick_) {
            advanceLiveValues(mapping_);
            nextTick_ += 1s;
            // After a long stall (a suspended process, say) skip the missed seconds
            // rather than racing through them.
            if (nextTick_ <= now)
                nextTick_ = now + 1s;
        }

        const auto firstDead = std::partition(clients_.begin(), clients_.end(),
                                              [](const Client &c) { return !c.dead; });
        for (auto it = firstDead; it != clients_.end(); ++it) {
            close(it->fd);
            acceptPaused_ = false;
        }
        clients_.erase(firstDead, clients_.end());
    }
}

} // namespace

int runServer(modbus_t *ctx, modbus_mapping_t *mapping, int listenFd, ServerSettings settings)
{
    // accept() is called until it runs dry, which needs a non-blocking listener.
    const int flags = fcntl(listenFd, F_GETFL);
    if (flags < 0 || fcntl(listenFd, F_SETFL, flags | O_NONBLOCK) < 0) {
        std::fprintf(stderr, "modbus-sim: cannot configure the listening socket: %s\n", std::strerror(errno));
        return 1;
    }
    // Requests reach libmodbus only once the MBAP length says they are complete, so
    // waiting for more bytes only ever happens on a malformed frame; a short wait
    // keeps such a client from holding up everybody else.
    modbus_set_byte_timeout(ctx, 0, 20000);
    // On an out-of-range quantity modbus_reply sleeps for the response timeout
    // before flushing the client's socket; a server never waits for a response, so
    // the timeout only serves to stall everybody. It cannot be zero.
    modbus_set_response_timeout(ctx, 0, 1);
    int code;
    {
        Server server(ctx, mapping, listenFd, settings);
        code = server.run();
    }
    // The context still names the last client served, whose descriptor the server
    // has closed by now; a later modbus_close must not close it a second time.
    modbus_set_socket(ctx, -1);
    return code;
}
