// CallGuarded on real Windows exception dispatch: a fault or a raised exception inside the guarded
// call ends that call with false, in the test's own code and in a foreign library's export, and the
// thread goes on sound: the next call, a run of faults, and faults in nested frames all behave.
#include "kvisinst/common/guarded.h"
#include "windows/win_testing.h"

#include <stdexcept>

namespace {

// Volatile, so that the compiler cannot see the null and put a trap instruction in the store's place.
int* volatile g_nowhere = nullptr;

void WriteNull(void*) { *g_nowhere = 1; }
void RaiseContinuable(void*) { RaiseException(0xE0000001, 0, 0, nullptr); }
// The form of another compiler's C++ throw: the dispatcher refuses to continue it unless told.
void RaiseNonContinuable(void*) { RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 0, nullptr); }
void Count(void* context) { ++*static_cast<int*>(context); }

using UnregisterServer = HRESULT(WINAPI*)();

void CallFaultingLibrary(void* context) { (*static_cast<UnregisterServer*>(context))(); }

#if defined(__i386__)
// The head of the thread's registration chain: a guarded call must leave it as it found it.
void* ChainHead() {
    void* head;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}
#else
void* ChainHead() { return nullptr; }
#endif

TEST(CallGuarded, SaysWhetherTheCallReturned) {
    HMODULE faulting = LoadLibraryA((ProgramFolder() + "kvtestfault.dll").c_str());
    ASSERT_NE(faulting, nullptr);
    auto unregister = ProcAs<UnregisterServer>(GetProcAddress(faulting, "DllUnregisterServer"));
    ASSERT_NE(unregister, nullptr);

    int calls = 0;
    const struct {
        const char* what;
        void (*function)(void*);
        void* context;
        bool returned;
    } rows[] = {
        {"returns", Count, &calls, true},
        {"writes through null", WriteNull, nullptr, false},
        {"raises a continuable exception", RaiseContinuable, nullptr, false},
        {"raises a non-continuable exception", RaiseNonContinuable, nullptr, false},
        {"foreign library writes through null", CallFaultingLibrary, &unregister, false},
    };
    void* const chain = ChainHead();
    for (const auto& row : rows) {
        // Each row three times over: a frame left behind by one fault would show in the next.
        for (int round = 0; round < 3; ++round) {
            EXPECT_EQ(CallGuarded(row.function, row.context), row.returned) << row.what << ", round " << round;
            EXPECT_EQ(ChainHead(), chain) << row.what << ", round " << round;
        }
    }
    EXPECT_EQ(calls, 3);
    FreeLibrary(faulting);
}

TEST(CallGuarded, EndsOnlyTheInnermostFrame) {
    // A fault ends the nearest guarded call; the outer one goes on and returns.
    bool inner = true;
    bool after = false;
    EXPECT_TRUE(CallGuarded([&] {
        inner = CallGuarded(WriteNull, nullptr);
        after = true;
    }));
    EXPECT_FALSE(inner);
    EXPECT_TRUE(after);

    // A fault after an inner call has returned ends the outer one, at the outer frame.
    bool innerReturned = false;
    bool reached = false;
    EXPECT_FALSE(CallGuarded([&] {
        int calls = 0;
        innerReturned = CallGuarded(Count, &calls);
        WriteNull(nullptr);
        reached = true;
    }));
    EXPECT_TRUE(innerReturned);
    EXPECT_FALSE(reached);
}

TEST(CallGuarded, LeavesCppExceptionsToTheCallable) {
    // The library's pattern: its own exceptions are caught inside the guarded callable, and they do
    // not count as a fault (a C++ throw is an SEH exception on 64-bit Windows).
    bool caught = false;
    EXPECT_TRUE(CallGuarded([&] {
        try {
            throw std::runtime_error("raised by the library");
        } catch (const std::exception&) {
            caught = true;
        }
    }));
    EXPECT_TRUE(caught);
}

TEST(CallGuarded, KeepsTheCallersRegisters) {
    // A value the compiler holds in callee-saved registers across the calls must survive faults that
    // left those registers however the faulting code had them.
    unsigned product = 1, expected = 1;
    for (unsigned i = 1; i <= 20; ++i) {
        EXPECT_FALSE(CallGuarded(i % 2 ? WriteNull : RaiseNonContinuable, nullptr));
        product = product * 3 + i;
    }
    for (unsigned i = 1; i <= 20; ++i) expected = expected * 3 + i;
    EXPECT_EQ(product, expected);
}

}  // namespace
