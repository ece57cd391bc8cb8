// The client side of stream access across processes. Each handle has a connection of its
// own, so the host knows exactly which handles to close when a client goes away.
#include "remote_stream.h"

#include <atomic>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>

#include "ce/host/kernel_object.h"
#include "ce/host/stream_server.h"
#include "ce/host/stream_wire.h"
#include "ce/kernel.h"

namespace ce::devmgr {
namespace {

namespace wire = ce::host::wire;

std::atomic<bool> gServing{false};

// Sends one request and waits for the reply that answers it.
std::optional<wire::Frame> Exchange(wire::FrameSocket& socket, std::uint32_t requestId,
                                    std::uint16_t type, std::span<const std::uint8_t> payload,
                                    std::uint16_t replyType) {
    // A host that turned us away may have closed before our request went out; its reason
    // still waits to be read.
    const bool sent = socket.Send(type, requestId, payload);
    wire::Frame reply;
    if (socket.Receive(reply) != wire::ReceiveResult::Received) {
        return std::nullopt;
    }
    if (reply.type == wire::kServerFull) {
        return reply;
    }
    if (!sent || reply.type != replyType || reply.requestId != requestId) {
        return std::nullopt;
    }
    return reply;
}

// The driver's own last error comes back; a success that set none leaves the caller's.
void TakeLastError(BOOL result, DWORD lastError) {
    if (!result || lastError != ERROR_SUCCESS) {
        SetLastError(lastError);
    }
}

class RemoteStreamHandle final : public ce::host::KernelObject {
  public:
    RemoteStreamHandle(wire::FrameSocket socket, DWORD remoteHandle, std::uint32_t nextRequestId)
        : socket_(std::move(socket)), remoteHandle_(remoteHandle), nextRequestId_(nextRequestId) {}

    BOOL IoControl(DWORD code, LPVOID in, DWORD inLength, LPVOID out, DWORD outLength,
                   LPDWORD bytesReturned) {
        if (inLength > wire::kMaxIoBuffer || outLength > wire::kMaxIoBuffer) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        const wire::IoControlRequest request =
            MakeRequest(code, in, inLength, out, outLength, bytesReturned);
        std::optional<wire::IoControlReply> reply;
        {
            std::lock_guard lock(mutex_);
            const std::optional<wire::Frame> frame =
                Exchange(socket_, nextRequestId_++, wire::kIoControlRequest, wire::Encode(request),
                         wire::kIoControlReply);
            if (frame) {
                reply = wire::DecodeIoControlReply(frame->payload);
            }
        }
        if (!reply || reply->output.size() != request.output.size()) {
            SetLastError(ERROR_INVALID_HANDLE);  // the host is gone: so is its device
            return FALSE;
        }
        if (!reply->output.empty()) {
            std::memcpy(out, reply->output.data(), reply->output.size());
        }
        if (bytesReturned != nullptr) {
            *bytesReturned = reply->bytesReturned;
        }
        TakeLastError(reply->result, reply->lastError);
        return reply->result;
    }

    // A host that is gone has released the device already.
    BOOL OnClose() override {
        std::lock_guard lock(mutex_);
        const std::optional<wire::Frame> frame =
            Exchange(socket_, nextRequestId_++, wire::kCloseRequest,
                     wire::Encode(wire::CloseRequest{remoteHandle_}), wire::kCloseReply);
        socket_.Close();
        const std::optional<wire::CloseReply> reply =
            frame ? wire::DecodeCloseReply(frame->payload) : std::nullopt;
        if (!reply) {
            return TRUE;
        }
        TakeLastError(reply->result, reply->lastError);
        return reply->result;
    }

  private:
    wire::IoControlRequest MakeRequest(DWORD code, LPVOID in, DWORD inLength, LPVOID out,
                                       DWORD outLength, LPDWORD bytesReturned) const {
        wire::IoControlRequest request;
        request.handle = remoteHandle_;
        request.code = code;
        request.inLength = inLength;
        request.outLength = outLength;
        if (in != nullptr) {
            const auto* bytes = static_cast<const std::uint8_t*>(in);
            request.input.assign(bytes, bytes + inLength);
            request.flags |= wire::kHasInput;
        }
        if (out != nullptr) {
            const auto* bytes = static_cast<const std::uint8_t*>(out);
            request.output.assign(bytes, bytes + outLength);
            request.flags |= wire::kHasOutput;
        }
        if (bytesReturned != nullptr) {
            request.bytesReturned = *bytesReturned;
            request.flags |= wire::kHasBytesReturned;
        }
        return request;
    }

    std::mutex mutex_;
    wire::FrameSocket socket_;
    const DWORD remoteHandle_;
    std::uint32_t nextRequestId_;
};

HANDLE NotFound() {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

void MarkServing() {
    gServing.store(true);
}

bool IsServing() {
    return gServing.load();
}

HANDLE OpenRemote(const std::string& socketPath, LPCWSTR name, DWORD access, DWORD share) {
    const std::size_t length = std::wcslen(name);
    if (length == 0 || length > wire::kMaxNameChars) {
        return NotFound();  // no device has such a name
    }
    wire::FrameSocket socket = wire::FrameSocket::Connect(socketPath);
    if (!socket.valid()) {
        return NotFound();  // no host
    }
    constexpr std::uint32_t kOpenId = 1;
    const std::optional<wire::Frame> frame =
        Exchange(socket, kOpenId, wire::kOpenRequest,
                 wire::Encode(wire::OpenRequest{access, share, name}), wire::kOpenReply);
    if (frame && frame->type == wire::kServerFull) {
        SetLastError(ERROR_BUSY);  // every connection slot of the host is taken
        return INVALID_HANDLE_VALUE;
    }
    const std::optional<wire::OpenReply> reply =
        frame ? wire::DecodeOpenReply(frame->payload) : std::nullopt;
    if (!reply) {
        return NotFound();  // the host went away meanwhile
    }
    if (reply->handle == 0) {
        SetLastError(reply->lastError);
        return INVALID_HANDLE_VALUE;
    }
    return ce::host::InsertHandle(
        std::make_shared<RemoteStreamHandle>(std::move(socket), reply->handle, kOpenId + 1));
}

std::optional<BOOL> RemoteIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD inLength,
                                    LPVOID out, DWORD outLength, LPDWORD bytesReturned) {
    const auto remote = ce::host::LookupHandleAs<RemoteStreamHandle>(handle);
    if (!remote) {
        return std::nullopt;
    }
    return remote->IoControl(code, in, inLength, out, outLength, bytesReturned);
}

}  // namespace ce::devmgr

namespace ce::host {

HANDLE OpenRemoteStream(const std::string& socketPath, LPCWSTR name, DWORD access, DWORD share) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return ce::devmgr::OpenRemote(socketPath, name, access, share);
}

}  // namespace ce::host
