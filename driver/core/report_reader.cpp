// The report reader: one thread per controller keeps a ring of interrupt IN transfers queued on
// the report pipe and hands every completed report to touch processing.
#include <cstdint>

#include "ce/kernel.h"
#include "ce/registry.h"
#include "core/context_table.h"
#include "core/transport.h"
#include "protocol/bytes.h"
#include "protocol/registry_form.h"
#include "touch/process_report.h"

// Atomic: attaches of several controllers set it while their readers start.
std::atomic<BYTE> gQueuedTransferCount{2};

namespace {

constexpr DWORD kMaxQueuedTransfers = 64;
constexpr DWORD kErrorRetryDelayMs = 25;

struct ReportSlot {
    HANDLE hEvent;           // auto-reset, signalled by the transfer's completion
    USB_TRANSFER hTransfer;  // null while no transfer is outstanding
    BYTE* pBuffer;           // dwMaxPacketSize bytes
};

// All slots and their buffers live in one zero-filled block: the slot array, then the buffers
// in slot order. Null when the block size does not fit 32 bits or the heap refuses it.
ReportSlot* AllocateSlotBlock(DWORD dwCount, DWORD dwPacketSize) {
    const std::uint64_t cbBlock =
        std::uint64_t{dwCount} * sizeof(ReportSlot) + std::uint64_t{dwCount} * dwPacketSize;
    if (cbBlock > 0xFFFFFFFFu) {
        return nullptr;
    }
    return static_cast<ReportSlot*>(LocalAlloc(LPTR, static_cast<std::size_t>(cbBlock)));
}

// Starts the slots in order; a slot that cannot start ends the ring there. Returns how many run.
DWORD StartSlots(DEVICE_CONTEXT* pDevice, ReportSlot* pSlots, DWORD dwCount) {
    BYTE* pBuffers = reinterpret_cast<BYTE*>(pSlots + dwCount);
    for (DWORD i = 0; i < dwCount; ++i) {
        ReportSlot& slot = pSlots[i];
        slot.pBuffer = pBuffers + std::size_t{i} * pDevice->dwMaxPacketSize;
        slot.hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (slot.hEvent == nullptr) {
            return i;
        }
        slot.hTransfer =
            IssueReportTransfer(pDevice, slot.pBuffer, pDevice->dwMaxPacketSize, slot.hEvent);
        if (slot.hTransfer == nullptr) {
            CloseHandle(slot.hEvent);
            slot.hEvent = nullptr;
            return i;
        }
    }
    return dwCount;
}

// Takes one completed transfer of the slot; false when reading must stop.
bool ServiceSlot(DEVICE_CONTEXT* pDevice, ReportSlot& slot) {
    if (WaitForSingleObject(slot.hEvent, INFINITE) != WAIT_OBJECT_0) {
        return false;
    }
    DWORD dwBytes = 0;
    DWORD dwUsbError = USB_NO_ERROR;
    GetTransferStatus(pDevice->lpUsbFuncs, slot.hTransfer, &dwBytes, &dwUsbError);
    CloseTransferHandle(pDevice->lpUsbFuncs, slot.hTransfer);
    slot.hTransfer = nullptr;

    if (dwUsbError != USB_NO_ERROR) {
        // The report is dropped; a halted pipe is reset and the slot tried again shortly.
        ResetPipeIfHalted(pDevice->lpUsbFuncs, pDevice->hInterruptPipe);
        if (dwUsbError == USB_DEVICE_NOT_RESPONDING_ERROR) {
            return false;
        }
        Sleep(kErrorRetryDelayMs);
    } else {
        ProcessReport(slot.pBuffer, dwBytes, pDevice);
    }

    slot.hTransfer =
        IssueReportTransfer(pDevice, slot.pBuffer, pDevice->dwMaxPacketSize, slot.hEvent);
    return slot.hTransfer != nullptr;
}

void StopSlots(DEVICE_CONTEXT* pDevice, ReportSlot* pSlots, DWORD dwCount) {
    for (DWORD i = 0; i < dwCount; ++i) {
        if (pSlots[i].hTransfer != nullptr) {
            CloseTransferHandle(pDevice->lpUsbFuncs, pSlots[i].hTransfer);
            pSlots[i].hTransfer = nullptr;
        }
        CloseHandle(pSlots[i].hEvent);
    }
}

}  // namespace

void ReadQueuedTransferCount() {
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ots::kClientDriverKey, 0, 0, &hKey) != ERROR_SUCCESS) {
        return;
    }
    BYTE buffer[4] = {};
    DWORD cbData = sizeof(buffer);
    DWORD dwType = REG_NONE;
    const LONG lResult =
        RegQueryValueExW(hKey, ots::kQueuedTransferCountValue, nullptr, &dwType, buffer, &cbData);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS || dwType != REG_DWORD) {
        return;
    }
    DWORD dwCount = ots::LoadU32(buffer, 0);
    if (dwCount == 0) {
        dwCount = 1;
    } else if (dwCount > kMaxQueuedTransfers) {
        dwCount = kMaxQueuedTransfers;
    }
    gQueuedTransferCount = static_cast<BYTE>(dwCount);
}

DWORD ReportReaderThread(LPVOID lpParameter) {
    DEVICE_CONTEXT* pDevice = ResolveContext(CookieFromParameter(lpParameter));
    if (pDevice == nullptr) {
        return 0;
    }
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);

    const DWORD dwWanted = gQueuedTransferCount;
    ReportSlot* pSlots = AllocateSlotBlock(dwWanted, pDevice->dwMaxPacketSize);
    if (pSlots == nullptr) {
        return 0;
    }
    const DWORD dwCount = StartSlots(pDevice, pSlots, dwWanted);
    if (dwCount == 0) {
        LocalFree(pSlots);
        return 0;
    }

    // Strict round robin: always wait for the oldest outstanding transfer.
    DWORD dwCurrent = 0;
    while (ServiceSlot(pDevice, pSlots[dwCurrent])) {
        dwCurrent = (dwCurrent + 1) % dwCount;
        if ((pDevice->Flags.load() & DEVICE_FLAG_CLOSING) != 0) {
            break;
        }
    }

    StopSlots(pDevice, pSlots, dwCount);
    LocalFree(pSlots);
    return 0;
}

USB_TRANSFER IssueReportTransfer(DEVICE_CONTEXT* pDevice, LPVOID pBuffer, DWORD dwLength,
                                 HANDLE hEvent) {
    // Without a report pipe there is nothing to read from.
    if (pDevice->lpUsbFuncs == nullptr || pDevice->hInterruptPipe == nullptr) {
        return nullptr;
    }
    return pDevice->lpUsbFuncs->lpIssueInterruptTransfer(
        pDevice->hInterruptPipe, TransferCompleteNotify, hEvent,
        USB_IN_TRANSFER | USB_SHORT_TRANSFER_OK, dwLength, pBuffer, 0);
}

DWORD TransferCompleteNotify(LPVOID lpvNotifyParameter) {
    if (lpvNotifyParameter == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return ERROR_INVALID_HANDLE;
    }
    if (SetEvent(lpvNotifyParameter)) {
        return 0;
    }
    return GetLastError();
}
