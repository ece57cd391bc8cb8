// mouse_event and the process's input sinks.
//
// Injection takes the sink list under a shared lock and calls each sink in place: the report
// path neither copies the list nor allocates. Adding or removing a sink takes the lock
// exclusively, so RemoveInputSink returns only after every call into that sink has ended.
#include <shared_mutex>
#include <utility>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/input_sink.h"
#include "ce/input.h"

namespace ce::host {
namespace {

struct InstalledSink {
    int id;
    InputSink sink;
};

struct SinkList {
    std::shared_mutex mutex;
    std::vector<InstalledSink> sinks;
    int lastId = 0;
};

SinkList& Sinks() {
    static SinkList list;
    return list;
}

}  // namespace

int AddInputSink(InputSink sink) {
    SinkList& list = Sinks();
    std::unique_lock lock(list.mutex);
    const int id = ++list.lastId;
    list.sinks.push_back({id, std::move(sink)});
    return id;
}

void RemoveInputSink(int id) {
    SinkList& list = Sinks();
    std::unique_lock lock(list.mutex);
    std::erase_if(list.sinks, [id](const InstalledSink& installed) { return installed.id == id; });
}

}  // namespace ce::host

extern "C" void mouse_event(DWORD dwFlags, DWORD dx, DWORD dy, DWORD /*dwData*/,
                            DWORD /*dwExtraInfo*/) {
    const ce::host::MouseEvent event{dwFlags, dx, dy, ce::host::PlatformNowMs()};
    ce::host::SinkList& list = ce::host::Sinks();
    std::shared_lock lock(list.mutex);
    for (const ce::host::InstalledSink& installed : list.sinks) {
        installed.sink(event);
    }
}
