// A client process of the device host for the remote tests: opens a stream device with
// CreateFileW, exactly as the control panel does, and reports the outcome on stdout.
//   remote_stream_client probe NAME   open, report, close, end
//   remote_stream_client hold NAME    open, report, keep the handle until killed
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "ce/stream.h"

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "probe") != 0 && std::strcmp(argv[1], "hold") != 0)) {
        std::fprintf(stderr, "usage: remote_stream_client probe|hold NAME\n");
        return 1;
    }
    const std::string narrow = argv[2];
    const std::wstring name(narrow.begin(), narrow.end());
    const HANDLE device = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        std::printf("error %u\n", GetLastError());
        return 0;
    }
    std::printf("opened\n");
    std::fflush(stdout);
    if (std::strcmp(argv[1], "probe") == 0) {
        return CloseHandle(device) ? 0 : 1;
    }
    for (;;) {
        ::pause();
    }
}
