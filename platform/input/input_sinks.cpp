// mouse_event and the process's input sinks.
//
// Injection calls each sink in place, announced by a count of calls in progress rather than
// a lock: the report path neither copies the list nor allocates nor waits. Adding or removing
// a sink marks the list as changing, waits until no call is in progress and then changes it,
// so RemoveInputSink returns only after every call into that sink has ended.
#include <atomic>
#include <mutex>
#include <thread>
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
    std::mutex changer;  // one change at a time; injectors wait on it while one runs
    std::atomic<bool> changing{false};
    std::atomic<int> calls{0};         // injections in progress
    std::vector<InstalledSink> sinks;  // changed only while changing and no call is in progress
    int lastId = 0;
};

// Constant-initialised: ready before any code runs, and no guard to test on every event.
constinit SinkList gSinks;

SinkList& Sinks() {
    return gSinks;
}

// Runs a change of the list once every injection in progress has left it.
template <typename Change>
void ChangeSinks(Change&& change) {
    SinkList& list = Sinks();
    std::lock_guard lock(list.changer);
    list.changing.store(true);
    while (list.calls.load() != 0) {
        std::this_thread::yield();
    }
    change(list);
    list.changing.store(false);
}

}  // namespace

int AddInputSink(InputSink sink) {
    int id = 0;
    ChangeSinks([&](SinkList& list) {
        id = ++list.lastId;
        list.sinks.push_back({id, std::move(sink)});
    });
    return id;
}

void RemoveInputSink(int id) {
    EndEventBurst();
    ChangeSinks([id](SinkList& list) {
        std::erase_if(list.sinks,
                      [id](const InstalledSink& installed) { return installed.id == id; });
    });
}

}  // namespace ce::host

extern "C" void mouse_event(DWORD dwFlags, DWORD dx, DWORD dy, DWORD /*dwData*/,
                            DWORD /*dwExtraInfo*/) {
    const ce::host::MouseEvent event{dwFlags, dx, dy, ce::host::PlatformEventMs()};
    ce::host::SinkList& list = ce::host::Sinks();
    list.calls.fetch_add(1);
    while (list.changing.load()) {
        // A change waits for this call to leave; let it run, then look again.
        list.calls.fetch_sub(1);
        { std::lock_guard wait(list.changer); }
        list.calls.fetch_add(1);
    }
    for (const ce::host::InstalledSink& installed : list.sinks) {
        installed.sink(event);
    }
    list.calls.fetch_sub(1);
}
