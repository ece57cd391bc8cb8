// The device host's socket protocol. Client processes reach the host's stream devices
// (CreateFileW, DeviceIoControl, CloseHandle) and the host's command-line client talks to it,
// all over one Unix stream socket. Every message is one frame, little-endian:
//
//   header (12 bytes)  0 u32 payload length (bytes after the header)  4 u16 type
//                      6 u16 reserved, 0  8 u32 request id (a reply carries its request's)
//
// Stream messages. A connection owns the handles opened through it: when it ends, however it
// ends, the host closes every one of them.
//   OpenRequest       0 u32 access  4 u32 share  8 u32 n, the name's length in characters
//                     (1..64)  12 n × u32 the name's characters
//   OpenReply         0 u32 handle (0: refused)  4 u32 last error
//   IoControlRequest  0 u32 handle  4 u32 code  8 u32 in length  12 u32 out length
//                     16 u32 flags (kHasInput, kHasOutput, kHasBytesReturned)
//                     20 u32 bytes returned, as the caller's variable holds it
//                     24 the input bytes (in length of them, only with kHasInput), then the
//                        output buffer's current contents (out length, only with kHasOutput),
//                        so that bytes the driver does not write come back unchanged
//   IoControlReply    0 u32 result (BOOL)  4 u32 last error  8 u32 bytes returned
//                     12 u32 out length  16 the output buffer (out length bytes)
//   CloseRequest      0 u32 handle
//   CloseReply        0 u32 result (BOOL)  4 u32 last error
//
// A client the host turns away (every connection slot taken) gets one ServerFull message,
// request id 0, its payload the reason as text, before the host closes the connection.
//
// Control messages (types from 0x100) belong to the host program: a ControlRequest is
// answered by any number of ControlOutput messages and then one ControlReply; their payloads
// are the host's own (see ce/host/stream_server.h).
//
// Each buffer of a control call holds at most kMaxIoBuffer bytes; the client refuses more
// with ERROR_INVALID_PARAMETER before anything is sent. The host drops a connection whose
// frame has an unknown type, a nonzero reserved field, a length beyond its type's bound or a
// payload that does not match its own fields.
#pragma once

#include <bit>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ce/types.h"

namespace ce::host::wire {

inline constexpr std::size_t kHeaderSize = 12;
static_assert(kHeaderSize ==
              sizeof(std::uint32_t) + 2 * sizeof(std::uint16_t) + sizeof(std::uint32_t));

inline constexpr std::uint32_t kMaxIoBuffer = 4096;            // bytes, each of input and output
inline constexpr std::uint32_t kMaxNameChars = 64;             // of a device name
inline constexpr std::uint32_t kMaxControlPayload = 4u << 20;  // a .reg text to import
inline constexpr std::uint32_t kMaxServerFullText = 256;

enum MessageType : std::uint16_t {
    kOpenRequest = 1,
    kOpenReply = 2,
    kIoControlRequest = 3,
    kIoControlReply = 4,
    kCloseRequest = 5,
    kCloseReply = 6,
    kServerFull = 7,
    kControlRequest = 0x100,
    kControlOutput = 0x101,
    kControlReply = 0x102,
};

inline constexpr std::size_t kOpenRequestFixedSize = 12;
inline constexpr std::size_t kOpenReplySize = 8;
inline constexpr std::size_t kIoControlRequestFixedSize = 24;
inline constexpr std::size_t kIoControlReplyFixedSize = 16;
inline constexpr std::size_t kCloseRequestSize = 4;
inline constexpr std::size_t kCloseReplySize = 8;

inline constexpr std::uint32_t kHasInput = 0x1;
inline constexpr std::uint32_t kHasOutput = 0x2;
inline constexpr std::uint32_t kHasBytesReturned = 0x4;
inline constexpr std::uint32_t kKnownIoFlags = kHasInput | kHasOutput | kHasBytesReturned;

struct FrameHeader {
    std::uint32_t payloadLength = 0;
    std::uint16_t type = 0;
    std::uint16_t reserved = 0;
    std::uint32_t requestId = 0;
};

void StoreHeader(std::span<std::uint8_t, kHeaderSize> out, const FrameHeader& header);
FrameHeader LoadHeader(std::span<const std::uint8_t, kHeaderSize> in);

// The largest payload a message of the type may carry; 0 for a type that does not exist.
std::size_t MaxPayload(std::uint16_t type);

// --- payload building and reading ----------------------------------------------------------

class PayloadWriter {
  public:
    PayloadWriter& U16(std::uint16_t value);
    PayloadWriter& U32(std::uint32_t value);
    PayloadWriter& U64(std::uint64_t value);
    PayloadWriter& F64(double value) { return U64(std::bit_cast<std::uint64_t>(value)); }
    PayloadWriter& Bytes(std::span<const std::uint8_t> bytes);
    PayloadWriter& Text(const std::string& text);  // the bytes alone, no length, no zero

    const std::vector<std::uint8_t>& Payload() const { return bytes_; }
    std::vector<std::uint8_t> Take() { return std::move(bytes_); }

  private:
    std::vector<std::uint8_t> bytes_;
};

// Reads fields in order; a read past the end yields zeros (or nothing) and marks the reader
// failed, so a decoder reads every field and asks once at the end.
class PayloadReader {
  public:
    explicit PayloadReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint16_t U16();
    std::uint32_t U32();
    std::uint64_t U64();
    double F64() { return std::bit_cast<double>(U64()); }
    std::span<const std::uint8_t> Bytes(std::size_t count);
    std::string Text(std::size_t count);

    std::size_t Remaining() const { return ok_ ? bytes_.size() - at_ : 0; }
    bool ok() const { return ok_; }
    // Every byte read and none missing.
    bool Done() const { return ok_ && at_ == bytes_.size(); }

  private:
    bool Take(std::size_t count);

    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

// --- stream messages -----------------------------------------------------------------------

struct OpenRequest {
    DWORD access = 0;
    DWORD share = 0;
    std::wstring name;
};

struct OpenReply {
    DWORD handle = 0;
    DWORD lastError = 0;
};

struct IoControlRequest {
    DWORD handle = 0;
    DWORD code = 0;
    DWORD inLength = 0;
    DWORD outLength = 0;
    DWORD flags = 0;
    DWORD bytesReturned = 0;
    std::vector<std::uint8_t> input;   // inLength bytes with kHasInput, else empty
    std::vector<std::uint8_t> output;  // outLength bytes with kHasOutput, else empty
};

struct IoControlReply {
    BOOL result = FALSE;
    DWORD lastError = 0;
    DWORD bytesReturned = 0;
    std::vector<std::uint8_t> output;
};

struct CloseRequest {
    DWORD handle = 0;
};

struct CloseReply {
    BOOL result = FALSE;
    DWORD lastError = 0;
};

std::vector<std::uint8_t> Encode(const OpenRequest& message);
std::vector<std::uint8_t> Encode(const OpenReply& message);
std::vector<std::uint8_t> Encode(const IoControlRequest& message);
std::vector<std::uint8_t> Encode(const IoControlReply& message);
std::vector<std::uint8_t> Encode(const CloseRequest& message);
std::vector<std::uint8_t> Encode(const CloseReply& message);

// Each gives nullopt for a payload that does not match the layout exactly: too short, bytes
// left over, a length beyond its bound or unknown flag bits.
std::optional<OpenRequest> DecodeOpenRequest(std::span<const std::uint8_t> payload);
std::optional<OpenReply> DecodeOpenReply(std::span<const std::uint8_t> payload);
std::optional<IoControlRequest> DecodeIoControlRequest(std::span<const std::uint8_t> payload);
std::optional<IoControlReply> DecodeIoControlReply(std::span<const std::uint8_t> payload);
std::optional<CloseRequest> DecodeCloseRequest(std::span<const std::uint8_t> payload);
std::optional<CloseReply> DecodeCloseReply(std::span<const std::uint8_t> payload);

// --- frames on a socket --------------------------------------------------------------------

struct Frame {
    std::uint16_t type = 0;
    std::uint32_t requestId = 0;
    std::vector<std::uint8_t> payload;
};

enum class ReceiveResult {
    Received,
    Closed,       // the peer hung up between frames
    Truncated,    // the peer hung up inside a frame
    BadHeader,    // reserved field not 0
    UnknownType,  // no such message type
    Oversized,    // longer than its type allows; nothing of it was read or kept
    Failed,       // the socket failed
    Stalled,      // the peer stopped sending inside a frame for longer than the time-out
};
const char* Describe(ReceiveResult result);

// One connected Unix stream socket that carries frames. Owns its descriptor.
class FrameSocket {
  public:
    FrameSocket() = default;
    explicit FrameSocket(int fd) : fd_(fd) {}
    ~FrameSocket() { Close(); }
    FrameSocket(FrameSocket&& other) noexcept;
    FrameSocket& operator=(FrameSocket&& other) noexcept;
    FrameSocket(const FrameSocket&) = delete;
    FrameSocket& operator=(const FrameSocket&) = delete;

    // Connects to the socket at path; an invalid FrameSocket and the errno value on failure.
    static FrameSocket Connect(const std::string& path, int* error = nullptr);

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // Sends one whole frame; false when the socket failed or the peer is gone (no SIGPIPE).
    bool Send(std::uint16_t type, std::uint32_t requestId, std::span<const std::uint8_t> payload);
    // Sends raw bytes as they are (tests speak malformed frames with it).
    bool SendRaw(std::span<const std::uint8_t> bytes);
    // Blocks for the next frame. The length is checked against the type's bound before any
    // of the payload is read. With a time-out, a frame whose first byte has come must be
    // complete within it (real time); waiting for a frame to begin has no limit.
    ReceiveResult Receive(Frame& frame,
                          std::chrono::milliseconds frameTimeout = std::chrono::milliseconds(0));

    // Makes a Receive blocked on another thread return; the descriptor stays open.
    void Shutdown();
    void Close();

  private:
    // Has at least `count` unread bytes in the inbox, reading what the socket holds (so a
    // frame sent in one piece arrives with one read). The time-out applies once a frame began.
    // Received when they are there; otherwise why not.
    ReceiveResult Buffer(std::size_t count, bool started, std::chrono::milliseconds frameTimeout,
                         std::chrono::steady_clock::time_point& deadline);
    std::span<const std::uint8_t> Take(std::size_t count);

    int fd_ = -1;
    std::vector<std::uint8_t> inbox_;  // its bytes [inboxAt_, inboxEnd_) are read, not taken
    std::size_t inboxAt_ = 0;
    std::size_t inboxEnd_ = 0;
};

}  // namespace ce::host::wire
