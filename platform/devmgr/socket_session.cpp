#include "socket_session.h"

#include <algorithm>

#include "ce/stream.h"

namespace ce::devmgr {
namespace {

namespace wire = ce::host::wire;

constexpr DWORD kErrorTooManyOpenFiles = 4;

StreamSession::Reply MakeReply(std::uint16_t type, std::vector<std::uint8_t> payload) {
    return {type, std::move(payload)};
}

// Copies the carried bytes to the front of a full-size, zero-filled buffer.
void Fill(std::vector<std::uint8_t>& buffer, const std::vector<std::uint8_t>& carried) {
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
    std::copy(carried.begin(), carried.end(), buffer.begin());
}

}  // namespace

StreamSession::StreamSession() : input_(wire::kMaxIoBuffer), output_(wire::kMaxIoBuffer) {}

std::optional<StreamSession::Reply> StreamSession::Serve(const wire::Frame& request) {
    switch (request.type) {
        case wire::kOpenRequest:
            return Open(request.payload);
        case wire::kIoControlRequest:
            return IoControl(request.payload);
        case wire::kCloseRequest:
            return Close(request.payload);
        default:
            return std::nullopt;
    }
}

std::optional<StreamSession::Reply> StreamSession::Open(std::span<const std::uint8_t> payload) {
    const std::optional<wire::OpenRequest> request = wire::DecodeOpenRequest(payload);
    if (!request) {
        return std::nullopt;
    }
    wire::OpenReply reply;
    if (handles_.size() >= kMaxHandles) {
        reply.lastError = kErrorTooManyOpenFiles;
    } else {
        SetLastError(ERROR_SUCCESS);
        const HANDLE handle = CreateFileW(request->name.c_str(), request->access, request->share,
                                          nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            reply.lastError = GetLastError();
        } else {
            reply.handle = nextHandle_++;
            handles_.emplace(reply.handle, handle);
        }
    }
    return MakeReply(wire::kOpenReply, wire::Encode(reply));
}

std::optional<StreamSession::Reply> StreamSession::IoControl(
    std::span<const std::uint8_t> payload) {
    const std::optional<wire::IoControlRequest> request = wire::DecodeIoControlRequest(payload);
    if (!request) {
        return std::nullopt;
    }
    wire::IoControlReply reply;
    const auto found = handles_.find(request->handle);
    if (found == handles_.end()) {
        reply.lastError = ERROR_INVALID_HANDLE;
        reply.output = request->output;
        return MakeReply(wire::kIoControlReply, wire::Encode(reply));
    }
    const bool hasInput = (request->flags & wire::kHasInput) != 0;
    const bool hasOutput = (request->flags & wire::kHasOutput) != 0;
    const bool hasReturned = (request->flags & wire::kHasBytesReturned) != 0;
    Fill(input_, request->input);
    Fill(output_, request->output);
    DWORD returned = request->bytesReturned;
    SetLastError(ERROR_SUCCESS);
    reply.result = DeviceIoControl(found->second, request->code, hasInput ? input_.data() : nullptr,
                                   request->inLength, hasOutput ? output_.data() : nullptr,
                                   request->outLength, hasReturned ? &returned : nullptr, nullptr);
    reply.lastError = GetLastError();
    reply.bytesReturned = returned;
    if (hasOutput) {
        reply.output.assign(output_.begin(), output_.begin() + request->outLength);
    }
    return MakeReply(wire::kIoControlReply, wire::Encode(reply));
}

std::optional<StreamSession::Reply> StreamSession::Close(std::span<const std::uint8_t> payload) {
    const std::optional<wire::CloseRequest> request = wire::DecodeCloseRequest(payload);
    if (!request) {
        return std::nullopt;
    }
    wire::CloseReply reply;
    const auto found = handles_.find(request->handle);
    if (found == handles_.end()) {
        reply.lastError = ERROR_INVALID_HANDLE;
    } else {
        SetLastError(ERROR_SUCCESS);
        reply.result = CloseHandle(found->second);
        reply.lastError = GetLastError();
        handles_.erase(found);
    }
    return MakeReply(wire::kCloseReply, wire::Encode(reply));
}

void StreamSession::CloseAll() {
    for (const auto& [id, handle] : handles_) {
        CloseHandle(handle);
    }
    handles_.clear();
}

}  // namespace ce::devmgr
