// The report path allocates nothing: every heap allocation of this program is counted, and
// solving frames must not add to the count.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "optics_scene.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace optics_test;

TEST(SolveFrame, AllocatesNothing) {
    const auto oc = DefaultContext();
    const Frame frames[] = {Render({{0.3, 0.4}}), Render({{0.3, 0.4}, {0.7, 0.5}}),
                            Render({{0.03, 0.02, 0.001}, {0.06, 0.05, 0.001}}), Frame{}};
    const long before = g_allocations.load();
    for (int i = 0; i < 200; ++i) {
        Solve(*oc, frames[(i / 10) % 4]);
    }
    SetupGeometry(nullptr, nullptr, nullptr, oc.get());
    EXPECT_EQ(g_allocations.load(), before);
}

}  // namespace
