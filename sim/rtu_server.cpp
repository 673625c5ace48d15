#include "rtu_server.h"

#include "hostile.h"
#include "sim_reserved.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

// An RTU frame ends with a pause on the line, so the client's bytes that do not make
// one whole request by its own length are put on it only after this long without more:
// a request split over TCP segments stays one frame. More than 3.5 characters at 9600
// baud, which is 4 ms.
constexpr auto FramePause = 10ms;
// A serial master sends one request, at most an ADU, and waits; the slack only
// allows a request sent again before the pause has passed.
constexpr std::size_t MaxBurst = std::size_t(2) * MODBUS_RTU_MAX_ADU_LENGTH;
// Unit id, CRC: the bytes of an RTU ADU around its PDU.
constexpr int UnitSize = 1;
constexpr int CrcSize = 2;

// The length of the request frame that bytes start, as far as its function code tells
// (Modbus Application Protocol, sections 6.1 to 6.6, 6.11 and 6.12): 0 when unknown or not
// in yet. Only the boundary is judged here; the frame and its CRC are libmodbus's to check.
std::size_t requestSize(const std::vector<std::uint8_t> &bytes)
{
    if (bytes.size() < 2)
        return 0;
    switch (bytes[1]) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6: return 8; // unit, function code, two 16-bit fields, CRC
    case 15:
    case 16: return bytes.size() < 7 ? 0 : std::size_t(7) + bytes[6] + CrcSize;
    default: return 0;
    }
}

struct Outgoing {
    std::vector<std::uint8_t> bytes;
    Clock::time_point due;
    bool closeAfter = false;
};

class RtuServer
{
public:
    RtuServer(RtuLine &line, modbus_mapping_t *mapping, int listenFd, ServerSettings settings)
        : line_(line), mapping_(mapping), listenFd_(listenFd), settings_(settings)
    {
    }
    ~RtuServer() { dropClient(); }
    RtuServer(const RtuServer &) = delete;
    RtuServer &operator=(const RtuServer &) = delete;

    int run();

private:
    void acceptClient();
    void dropClient();
    void resetLine();
    bool readClient();
    void putBurstOnLine();
    void serveRequest();
    void collectReply();
    bool flushDue(Clock::time_point now);
    int pollTimeoutMs(Clock::time_point now) const;
    // A reply on its way: the client's next request waits in the kernel meanwhile, so
    // a late reply is never overtaken.
    bool busy() const { return awaited_ > 0 || !outgoing_.empty(); }
    bool burstReady() const { return !burst_.empty() && onLine_.empty() && !busy(); }

    RtuLine &line_;
    modbus_mapping_t *mapping_;
    int listenFd_;
    ServerSettings settings_;
    int client_ = -1;
    std::vector<std::uint8_t> burst_;  // from the client, not on the line yet
    Clock::time_point burstDue_;       // when the pause after it has passed
    std::vector<std::uint8_t> onLine_; // on the line, not read by libmodbus yet
    std::vector<std::uint8_t> reply_;  // libmodbus's reply as far as it has come
    std::size_t awaited_ = 0;          // that reply's length; 0 when none is due
    std::optional<std::uint16_t> reserved_;
    std::deque<Outgoing> outgoing_;
    Clock::time_point nextTick_ = Clock::now() + 1s;
};

void RtuServer::acceptClient()
{
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    // The hostile replies go out a byte at a time; Nagle would glue them together.
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    client_ = fd;
    resetLine();
}

void RtuServer::dropClient()
{
    if (client_ < 0)
        return;
    close(client_);
    client_ = -1;
    resetLine();
}

// The next client starts on a quiet line, with nothing of its predecessor's.
void RtuServer::resetLine()
{
    line_.clear();
    burst_.clear();
    onLine_.clear();
    reply_.clear();
    awaited_ = 0;
    outgoing_.clear();
}

bool RtuServer::readClient()
{
    std::uint8_t buffer[MaxBurst];
    const ssize_t n = recv(client_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0)
        return false;
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    burst_.insert(burst_.end(), buffer, buffer + n);
    // A request that is whole by its own length needs no pause to end it; anything else
    // (a part, two requests, a function we do not size) waits for the pause.
    burstDue_ = Clock::now() + (requestSize(burst_) == burst_.size() ? Clock::duration::zero() : FramePause);
    return burst_.size() <= MaxBurst;
}

void RtuServer::putBurstOnLine()
{
    // In one write, so that libmodbus finds the whole frame on the line at once.
    const ssize_t written = write(line_.cableFd(), burst_.data(), burst_.size());
    if (written == static_cast<ssize_t>(burst_.size()))
        onLine_ = std::move(burst_);
    else
        line_.clear();
    burst_.clear();
}

void RtuServer::serveRequest()
{
    modbus_t *ctx = line_.context();
    // libmodbus's RTU server ignores requests for other units than its own, but a
    // converter's line may hold any unit. It refuses to be 248..255, the addresses
    // serial Modbus reserves, so requests to those stay unanswered as on a real line.
    modbus_set_slave(ctx, onLine_.front());
    std::uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
    const int received = modbus_receive(ctx, request);
    if (received < UnitSize + 1 + CrcSize) {
        // A bad CRC, a truncated frame or another unit: what follows on the line
        // cannot be told apart from the rest of the bad frame.
        line_.clear();
        onLine_.clear();
        // After a request for another unit libmodbus takes the next frame for that
        // unit's reply and skips it; nobody else answers on this line, so that read
        // is done now, on the empty line, where the response timeout ends it at once.
        if (received == 0)
            modbus_receive(ctx, request);
        return;
    }
    const std::uint8_t *pdu = request + UnitSize;
    const int pduLength = received - UnitSize - CrcSize;
    // A broadcast (unit 0) is carried out and never answered: modbus_reply sees to
    // that, even for an unknown function, and returns 0.
    const bool broadcast = request[0] == MODBUS_BROADCAST_ADDRESS;
    reserved_ = settings_.hostile && !broadcast ? hostile::reservedRead(pdu, pduLength) : std::nullopt;
    // libmodbus reads a request of a function it does not know only up to the function
    // code, so those with data fail the CRC check above and go unanswered.
    int sent;
    if (reserved_ == sim_reserved::Exception)
        sent = modbus_reply_exception(ctx, request, sim_reserved::ExceptionCode);
    else if (!broadcast && !libmodbusImplements(pdu[0]))
        sent = modbus_reply_exception(ctx, request, MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
    else
        sent = modbus_reply(ctx, request, received, mapping_);
    awaited_ = sent > 0 ? std::size_t(sent) : 0;
    reply_.clear();
    // modbus_reply flushes the line after some exceptions, so the line, not the
    // length received, tells what remains.
    const auto unread = std::min<std::size_t>(std::size_t(line_.unread()), onLine_.size());
    onLine_.erase(onLine_.begin(), onLine_.end() - std::ptrdiff_t(unread));
}

void RtuServer::collectReply()
{
    std::uint8_t buffer[MODBUS_RTU_MAX_ADU_LENGTH];
    const ssize_t n = read(line_.cableFd(), buffer, sizeof buffer);
    // Bytes that nobody waits for belong to a client that has left.
    if (n <= 0 || awaited_ == 0)
        return;
    const auto take = std::min(std::size_t(n), awaited_ - reply_.size());
    reply_.insert(reply_.end(), buffer, buffer + take);
    if (reply_.size() < awaited_)
        return;
    awaited_ = 0;
    hostile::Plan plan;
    if (reserved_)
        plan = hostile::spoilReply(*reserved_, std::move(reply_));
    else
        plan.chunks.push_back(std::move(reply_));
    reply_.clear();
    auto due = Clock::now() + std::chrono::milliseconds(plan.firstDelayMs);
    for (std::size_t i = 0; i < plan.chunks.size(); ++i) {
        const bool last = i + 1 == plan.chunks.size();
        outgoing_.push_back({std::move(plan.chunks[i]), due, last && plan.closeAfter});
        due += std::chrono::milliseconds(plan.gapMs);
    }
}

bool RtuServer::flushDue(Clock::time_point now)
{
    while (!outgoing_.empty() && outgoing_.front().due <= now) {
        const Outgoing &next = outgoing_.front();
        const ssize_t sent = send(client_, next.bytes.data(), next.bytes.size(), MSG_NOSIGNAL);
        if (sent != static_cast<ssize_t>(next.bytes.size()) || next.closeAfter)
            return false;
        outgoing_.pop_front();
    }
    return true;
}

int RtuServer::pollTimeoutMs(Clock::time_point now) const
{
    std::optional<Clock::time_point> wake;
    const auto consider = [&wake](Clock::time_point at) {
        if (!wake || at < *wake)
            wake = at;
    };
    if (settings_.live)
        consider(nextTick_);
    if (!outgoing_.empty())
        consider(outgoing_.front().due);
    if (burstReady())
        consider(burstDue_);
    return pollTimeoutUntil(wake, now);
}

int RtuServer::run()
{
    enum { Stop, Listener, Client, Cable, Device, Count };
    pollfd fds[Count];
    for (;;) {
        const bool hasClient = client_ >= 0;
        fds[Stop] = {stopSignalFd(), POLLIN, 0};
        fds[Listener] = {hasClient ? -1 : listenFd_, POLLIN, 0};
        fds[Client] = {client_, short(busy() ? POLLRDHUP : POLLIN | POLLRDHUP), 0};
        fds[Cable] = {line_.cableFd(), POLLIN, 0};
        fds[Device] = {!onLine_.empty() && !busy() ? line_.deviceFd() : -1, POLLIN, 0};
        if (poll(fds, Count, pollTimeoutMs(Clock::now())) < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "modbus-sim: poll: %s\n", std::strerror(errno));
            return 1;
        }
        if (fds[Stop].revents)
            return 0;
        if (hasClient) {
            const short revents = fds[Client].revents;
            const bool goneWhileBusy = busy() && (revents & (POLLRDHUP | POLLHUP));
            if ((revents & (POLLERR | POLLNVAL)) || goneWhileBusy || ((revents & POLLIN) && !readClient()))
                dropClient();
        } else if (fds[Listener].revents & POLLIN) {
            acceptClient();
        }
        if (fds[Cable].revents & POLLIN)
            collectReply();
        if (fds[Device].revents & POLLIN && !onLine_.empty())
            serveRequest();

        const auto now = Clock::now();
        if (burstReady() && now >= burstDue_)
            putBurstOnLine();
        if (client_ >= 0 && !flushDue(now))
            dropClient();
        if (settings_.live && now >= nextTick_) {
            advanceLiveValues(mapping_);
            nextTick_ += 1s;
            // After a long stall skip the missed seconds rather than racing through them.
            if (nextTick_ <= now)
                nextTick_ = now + 1s;
        }
    }
}

} // namespace

int runRtuServer(RtuLine &line, modbus_mapping_t *mapping, int listenFd, ServerSettings settings)
{
    const int flags = fcntl(listenFd, F_GETFL);
    if (flags < 0 || fcntl(listenFd, F_SETFL, flags | O_NONBLOCK) < 0) {
        std::fprintf(stderr, "modbus-sim: cannot configure the listening socket: %s\n", std::strerror(errno));
        return 1;
    }
    RtuServer server(line, mapping, listenFd, settings);
    return server.run();
}
