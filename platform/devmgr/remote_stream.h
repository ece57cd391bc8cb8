// Stream handles whose device lives in a host process: the client side of the host's socket.
#pragma once

#include <optional>
#include <string>

#include "ce/types.h"

namespace ce::devmgr {

// A process that serves its devices on a socket is a host: it never asks another host.
void MarkServing();
bool IsServing();

// Opens the named device of the host at socketPath. INVALID_HANDLE_VALUE with the last error:
// ERROR_FILE_NOT_FOUND when no host answers there, else the host's answer.
HANDLE OpenRemote(const std::string& socketPath, LPCWSTR name, DWORD access, DWORD share);

// DeviceIoControl on a remote handle; nullopt when the handle is not one.
std::optional<BOOL> RemoteIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD inLength,
                                    LPVOID out, DWORD outLength, LPDWORD bytesReturned);

}  // namespace ce::devmgr
