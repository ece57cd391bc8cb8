// Events. Names are ignored: every event is private to its creator.
#include <memory>

#include "ce/kernel.h"
#include "waitable.h"

namespace ce::kernel {
namespace {

class EventObject final : public WaitableObject {
  public:
    using WaitableObject::Reset;
    using WaitableObject::Signal;
    using WaitableObject::WaitableObject;
};

std::shared_ptr<EventObject> LookupEvent(HANDLE hEvent) {
    auto event = host::LookupHandleAs<EventObject>(hEvent);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return event;
}

}  // namespace
}  // namespace ce::kernel

extern "C" HANDLE CreateEventW(LPSECURITY_ATTRIBUTES /*lpEventAttributes*/, BOOL bManualReset,
                               BOOL bInitialState, LPCWSTR /*lpName*/) {
    return ce::host::InsertHandle(
        std::make_shared<ce::kernel::EventObject>(bManualReset != FALSE, bInitialState != FALSE));
}

extern "C" BOOL SetEvent(HANDLE hEvent) {
    const auto event = ce::kernel::LookupEvent(hEvent);
    if (!event) {
        return FALSE;
    }
    event->Signal();
    return TRUE;
}

extern "C" BOOL ResetEvent(HANDLE hEvent) {
    const auto event = ce::kernel::LookupEvent(hEvent);
    if (!event) {
        return FALSE;
    }
    event->Reset();
    return TRUE;
}
