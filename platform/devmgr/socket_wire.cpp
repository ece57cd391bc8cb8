// Frames and stream messages of the device host's socket.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

#include "ce/host/stream_wire.h"

namespace ce::host::wire {
namespace {

std::vector<std::uint8_t> ToBytes(std::span<const std::uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
}

}  // namespace

void StoreHeader(std::span<std::uint8_t, kHeaderSize> out, const FrameHeader& header) {
    PayloadWriter writer;
    writer.U32(header.payloadLength).U16(header.type).U16(header.reserved).U32(header.requestId);
    std::memcpy(out.data(), writer.Payload().data(), kHeaderSize);
}

FrameHeader LoadHeader(std::span<const std::uint8_t, kHeaderSize> in) {
    PayloadReader reader(in);
    FrameHeader header;
    header.payloadLength = reader.U32();
    header.type = reader.U16();
    header.reserved = reader.U16();
    header.requestId = reader.U32();
    return header;
}

std::size_t MaxPayload(std::uint16_t type) {
    switch (type) {
        case kOpenRequest:
            return kOpenRequestFixedSize + kMaxNameChars * sizeof(std::uint32_t);
        case kOpenReply:
            return kOpenReplySize;
        case kIoControlRequest:
            return kIoControlRequestFixedSize + 2 * std::size_t{kMaxIoBuffer};
        case kIoControlReply:
            return kIoControlReplyFixedSize + kMaxIoBuffer;
        case kCloseRequest:
            return kCloseRequestSize;
        case kCloseReply:
            return kCloseReplySize;
        case kServerFull:
            return kMaxServerFullText;
        case kControlRequest:
        case kControlOutput:
        case kControlReply:
            return kMaxControlPayload;
        default:
            return 0;
    }
}

// --- PayloadWriter / PayloadReader -----------------------------------------------------------

PayloadWriter& PayloadWriter::U16(std::uint16_t value) {
    bytes_.push_back(static_cast<std::uint8_t>(value));
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    return *this;
}

PayloadWriter& PayloadWriter::U32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    return *this;
}

PayloadWriter& PayloadWriter::U64(std::uint64_t value) {
    for (int shift = 0; shift < 64; shift += 8) {
        bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    return *this;
}

PayloadWriter& PayloadWriter::Bytes(std::span<const std::uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

PayloadWriter& PayloadWriter::Text(const std::string& text) {
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return *this;
}

bool PayloadReader::Take(std::size_t count) {
    if (!ok_ || bytes_.size() - at_ < count) {
        ok_ = false;
        return false;
    }
    return true;
}

std::uint16_t PayloadReader::U16() {
    if (!Take(2)) {
        return 0;
    }
    const auto value = static_cast<std::uint16_t>(bytes_[at_] | (bytes_[at_ + 1] << 8));
    at_ += 2;
    return value;
}

std::uint32_t PayloadReader::U32() {
    if (!Take(4)) {
        return 0;
    }
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | bytes_[at_ + static_cast<std::size_t>(i)];
    }
    at_ += 4;
    return value;
}

std::uint64_t PayloadReader::U64() {
    const std::uint64_t low = U32();
    const std::uint64_t high = U32();
    return low | (high << 32);
}

std::span<const std::uint8_t> PayloadReader::Bytes(std::size_t count) {
    if (!Take(count)) {
        return {};
    }
    const auto bytes = bytes_.subspan(at_, count);
    at_ += count;
    return bytes;
}

std::string PayloadReader::Text(std::size_t count) {
    const auto bytes = Bytes(count);
    return {bytes.begin(), bytes.end()};
}

// --- stream messages -------------------------------------------------------------------------

std::vector<std::uint8_t> Encode(const OpenRequest& message) {
    PayloadWriter writer;
    writer.U32(message.access).U32(message.share).U32(static_cast<DWORD>(message.name.size()));
    for (const wchar_t c : message.name) {
        writer.U32(static_cast<std::uint32_t>(c));
    }
    return writer.Take();
}

std::vector<std::uint8_t> Encode(const OpenReply& message) {
    return PayloadWriter().U32(message.handle).U32(message.lastError).Take();
}

std::vector<std::uint8_t> Encode(const IoControlRequest& message) {
    PayloadWriter writer;
    writer.U32(message.handle)
        .U32(message.code)
        .U32(message.inLength)
        .U32(message.outLength)
        .U32(message.flags)
        .U32(message.bytesReturned)
        .Bytes(message.input)
        .Bytes(message.output);
    return writer.Take();
}

std::vector<std::uint8_t> Encode(const IoControlReply& message) {
    PayloadWriter writer;
    writer.U32(static_cast<std::uint32_t>(message.result))
        .U32(message.lastError)
        .U32(message.bytesReturned)
        .U32(static_cast<DWORD>(message.output.size()))
        .Bytes(message.output);
    return writer.Take();
}

std::vector<std::uint8_t> Encode(const CloseRequest& message) {
    return PayloadWriter().U32(message.handle).Take();
}

std::vector<std::uint8_t> Encode(const CloseReply& message) {
    return PayloadWriter()
        .U32(static_cast<std::uint32_t>(message.result))
        .U32(message.lastError)
        .Take();
}

std::optional<OpenRequest> DecodeOpenRequest(std::span<const std::uint8_t> payload) {
    PayloadReader reader(payload);
    OpenRequest message;
    message.access = reader.U32();
    message.share = reader.U32();
    const DWORD length = reader.U32();
    if (!reader.ok() || length == 0 || length > kMaxNameChars ||
        reader.Remaining() != std::size_t{length} * sizeof(std::uint32_t)) {
        return std::nullopt;
    }
    for (DWORD i = 0; i < length; ++i) {
        const std::uint32_t c = reader.U32();
        if (c == 0) {
            return std::nullopt;  // a name ends where its characters end
        }
        message.name.push_back(static_cast<wchar_t>(c));
    }
    return message;
}

std::optional<OpenReply> DecodeOpenReply(std::span<const std::uint8_t> payload) {
    PayloadReader reader(payload);
    OpenReply message{reader.U32(), reader.U32()};
    return reader.Done() ? std::optional(message) : std::nullopt;
}

std::optional<IoControlRequest> DecodeIoControlRequest(std::span<const std::uint8_t> payload) {
    PayloadReader reader(payload);
    IoControlRequest message;
    message.handle = reader.U32();
    message.code = reader.U32();
    message.inLength = reader.U32();
    message.outLength = reader.U32();
    message.flags = reader.U32();
    message.bytesReturned = reader.U32();
    if (!reader.ok() || message.inLength > kMaxIoBuffer || message.outLength > kMaxIoBuffer ||
        (message.flags & ~kKnownIoFlags) != 0) {
        return std::nullopt;
    }
    const std::size_t carriedIn = (message.flags & kHasInput) != 0 ? message.inLength : 0;
    const std::size_t carriedOut = (message.flags & kHasOutput) != 0 ? message.outLength : 0;
    if (reader.Remaining() != carriedIn + carriedOut) {
        return std::nullopt;
    }
    message.input = ToBytes(reader.Bytes(carriedIn));
    message.output = ToBytes(reader.Bytes(carriedOut));
    return message;
}

std::optional<IoControlReply> DecodeIoControlReply(std::span<const std::uint8_t> payload) {
    PayloadReader reader(payload);
    IoControlReply message;
    message.result = static_cast<BOOL>(reader.U32());
    message.lastError = reader.U32();
    message.bytesReturned = reader.U32();
    const DWORD outLength = reader.U32();
    if (!reader.ok() || outLength > kMaxIoBuffer || reader.Remaining() != outLength) {
        return std::nullopt;
    }
    message.output = ToBytes(reader.Bytes(outLength));
    return message;
}

std::optional<CloseRequest> DecodeCloseRequest(std::span<const std::uint8_t> payload) {
    PayloadReader reader(payload);
    CloseRequest message{reader.U32()};
    return reader.Done() ? std::optional(message) : std::nullopt;
}

std::optional<CloseReply> DecodeCloseReply(std::span<const std::uint8_t> payload) {
    PayloadReader reader(payload);
    CloseReply message{static_cast<BOOL>(reader.U32()), reader.U32()};
    return reader.Done() ? std::optional(message) : std::nullopt;
}

// --- FrameSocket -----------------------------------------------------------------------------

const char* Describe(ReceiveResult result) {
    switch (result) {
        case ReceiveResult::Received:
            return "received";
        case ReceiveResult::Closed:
            return "closed";
        case ReceiveResult::Truncated:
            return "truncated frame";
        case ReceiveResult::BadHeader:
            return "malformed frame header";
        case ReceiveResult::UnknownType:
            return "unknown message type";
        case ReceiveResult::Oversized:
            return "frame longer than its type allows";
        case ReceiveResult::Failed:
            return "socket error";
        case ReceiveResult::Stalled:
            return "stalled inside a frame";
    }
    return "?";
}

FrameSocket::FrameSocket(FrameSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      inbox_(std::move(other.inbox_)),
      inboxAt_(std::exchange(other.inboxAt_, 0)),
      inboxEnd_(std::exchange(other.inboxEnd_, 0)) {}

FrameSocket& FrameSocket::operator=(FrameSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        inbox_ = std::move(other.inbox_);
        inboxAt_ = std::exchange(other.inboxAt_, 0);
        inboxEnd_ = std::exchange(other.inboxEnd_, 0);
    }
    return *this;
}

FrameSocket FrameSocket::Connect(const std::string& path, int* error) {
    int failure = 0;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        failure = ENAMETOOLONG;
    } else {
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        FrameSocket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!socket.valid()) {
            failure = errno;
        } else if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address),
                             sizeof(address)) == 0) {
            return socket;
        } else {
            failure = errno;
        }
    }
    if (error != nullptr) {
        *error = failure;
    }
    return FrameSocket();
}

bool FrameSocket::SendRaw(std::span<const std::uint8_t> bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool FrameSocket::Send(std::uint16_t type, std::uint32_t requestId,
                       std::span<const std::uint8_t> payload) {
    const std::size_t bound = MaxPayload(type);
    if (bound == 0 || payload.size() > bound) {
        return false;
    }
    std::vector<std::uint8_t> frame(kHeaderSize + payload.size());
    StoreHeader(std::span<std::uint8_t, kHeaderSize>(frame.data(), kHeaderSize),
                {static_cast<std::uint32_t>(payload.size()), type, 0, requestId});
    if (!payload.empty()) {  // an empty payload may carry a null pointer
        std::memcpy(frame.data() + kHeaderSize, payload.data(), payload.size());
    }
    return SendRaw(frame);
}

namespace {

using Clock = std::chrono::steady_clock;

// What one read asks for at least: a request or reply of the stream calls with its header, so
// that such a frame comes in with one read.
constexpr std::size_t kReadAhead = kHeaderSize + kIoControlRequestFixedSize + 2 * kMaxIoBuffer;

// A reply, and the next request of a caller that makes several, mostly come within some
// microseconds. Looking for them that long before going to sleep spares the wake-up of a
// sleeping thread, which on an idle machine takes longer than the call itself.
constexpr auto kLookBeforeSleeping = std::chrono::microseconds(50);

}  // namespace

ReceiveResult FrameSocket::Buffer(std::size_t count, bool started,
                                  std::chrono::milliseconds frameTimeout,
                                  Clock::time_point& deadline) {
    if (inboxEnd_ - inboxAt_ >= count) {
        return ReceiveResult::Received;
    }
    // Unread bytes move to the front, and the inbox grows to hold the whole frame.
    std::copy(inbox_.begin() + static_cast<std::ptrdiff_t>(inboxAt_),
              inbox_.begin() + static_cast<std::ptrdiff_t>(inboxEnd_), inbox_.begin());
    inboxEnd_ -= inboxAt_;
    inboxAt_ = 0;
    if (inbox_.size() < std::max(count, kReadAhead)) {
        inbox_.resize(std::max(count, kReadAhead));
    }
    const Clock::time_point lookUntil =
        started || inboxEnd_ > 0 ? Clock::time_point{} : Clock::now() + kLookBeforeSleeping;
    while (inboxEnd_ < count) {
        const bool begun = started || inboxEnd_ > 0;
        const bool timed = frameTimeout.count() > 0 && begun;
        const bool looking = !begun && Clock::now() < lookUntil;
        // Within a frame, what has come already is taken without a look at the clock.
        ssize_t n = ::recv(fd_, inbox_.data() + inboxEnd_, inbox_.size() - inboxEnd_,
                           timed || looking ? MSG_DONTWAIT : 0);
        if (n < 0 && looking && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            std::this_thread::yield();
            continue;
        }
        if (n < 0 && timed && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            pollfd watch{fd_, POLLIN, 0};
            const int ready = left > 0 ? ::poll(&watch, 1, static_cast<int>(left)) : 0;
            if (ready == 0) {
                return ReceiveResult::Stalled;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return ReceiveResult::Failed;
        }
        if (n == 0) {
            return begun ? ReceiveResult::Truncated : ReceiveResult::Closed;
        }
        if (!begun) {
            deadline = Clock::now() + frameTimeout;
        }
        inboxEnd_ += static_cast<std::size_t>(n);
    }
    return ReceiveResult::Received;
}

std::span<const std::uint8_t> FrameSocket::Take(std::size_t count) {
    const std::span<const std::uint8_t> bytes(inbox_.data() + inboxAt_, count);
    inboxAt_ += count;
    return bytes;
}

ReceiveResult FrameSocket::Receive(Frame& frame, std::chrono::milliseconds frameTimeout) {
    Clock::time_point deadline{};
    if (inboxEnd_ > inboxAt_ && frameTimeout.count() > 0) {
        deadline = Clock::now() + frameTimeout;  // the frame began with an earlier read
    }
    const ReceiveResult header = Buffer(kHeaderSize, false, frameTimeout, deadline);
    if (header != ReceiveResult::Received) {
        return header;
    }
    const FrameHeader fields = LoadHeader(Take(kHeaderSize).first<kHeaderSize>());
    if (fields.reserved != 0) {
        return ReceiveResult::BadHeader;
    }
    const std::size_t bound = MaxPayload(fields.type);
    if (bound == 0) {
        return ReceiveResult::UnknownType;
    }
    if (fields.payloadLength > bound) {
        return ReceiveResult::Oversized;
    }
    frame.type = fields.type;
    frame.requestId = fields.requestId;
    const ReceiveResult payload = Buffer(fields.payloadLength, true, frameTimeout, deadline);
    if (payload != ReceiveResult::Received) {
        frame.payload.clear();
        return payload;
    }
    const std::span<const std::uint8_t> bytes = Take(fields.payloadLength);
    frame.payload.assign(bytes.begin(), bytes.end());
    return ReceiveResult::Received;
}

void FrameSocket::Shutdown() {
    if (fd_ >= 0) {
        ::shutdown(fd_, SHUT_RDWR);
    }
}

void FrameSocket::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace ce::host::wire
