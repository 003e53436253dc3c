// Mutexes: ownership, recursion, finite waits, names shared by the processes of one machine, abandonment.
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

namespace {

using winsim::OsVersion;

// Runs f on another thread and returns its result.
template <typename F>
auto OnOtherThread(F f) -> decltype(f()) {
    decltype(f()) result{};
    std::thread thread([&] { result = f(); });
    thread.join();
    return result;
}

TEST(Mutex, OwnershipIsRecursiveOnlyTheOwnerReleasesAndAnEndingThreadAbandonsIt) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "owned");
    ASSERT_NE(nullptr, mutex);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(mutex, INFINITE));  // count 2
    // A finite wait for it runs the clock on by its timeout.
    const uint64_t before = machine->NowMs();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), OnOtherThread([&] { return WaitForSingleObject(mutex, 20); }));
    EXPECT_EQ(before + 20, machine->NowMs());
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), OnOtherThread([&]() -> DWORD {
                  SetLastError(0);
                  return ReleaseMutex(mutex) ? 0 : GetLastError();
              }));
    EXPECT_TRUE(ReleaseMutex(mutex) && ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
    // The other thread ends owning it: the next wait finds it abandoned, and owns it.
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), OnOtherThread([&] { return WaitForSingleObject(mutex, 0); }));
    EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED), WaitForSingleObject(mutex, INFINITE));
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST(Mutex, NamesOpenTheSameObjectUntilItsLastHandleCloses) {
    winsim::ScopedMachine machine(OsVersion::NT4);
    SetLastError(0xDEADBEEF);
    HANDLE first = CreateMutexA(nullptr, TRUE, "kvisinst-test-mutex");
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    // Opened again: the initial-owner request is ignored for an existing mutex.
    HANDLE second = OnOtherThread([] { return CreateMutexA(nullptr, TRUE, "kvisinst-test-mutex"); });
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), OnOtherThread([] {
                  HANDLE h = CreateMutexA(nullptr, FALSE, "kvisinst-test-mutex");
                  const DWORD error = GetLastError();
                  CloseHandle(h);
                  return error;
              }));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), OnOtherThread([&] { return WaitForSingleObject(second, 0); }));
    HANDLE third = OpenMutexA(SYNCHRONIZE, FALSE, "kvisinst-test-mutex");
    EXPECT_NE(nullptr, third);
    {
        winsim::ScopedMachine two(OsVersion::NT4);
        EXPECT_EQ(nullptr, OpenMutexA(SYNCHRONIZE, FALSE, "kvisinst-test-mutex")) << "each machine has its own names";
    }
    // Names are case-sensitive.
    SetLastError(0);
    EXPECT_EQ(nullptr, OpenMutexA(SYNCHRONIZE, FALSE, "KVISINST-TEST-MUTEX"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    ReleaseMutex(first);
    for (HANDLE h : {first, second, third}) CloseHandle(h);
    EXPECT_EQ(nullptr, OpenMutexA(SYNCHRONIZE, FALSE, "kvisinst-test-mutex"));
}

TEST(Mutex, AProcessThatDiesOwningANamedMutexAbandonsItForTheOthers) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "shared");
    std::fflush(nullptr);
    int pipeFds[2];
    ASSERT_EQ(0, pipe(pipeFds));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HANDLE mine = OpenMutexA(SYNCHRONIZE, FALSE, "shared");
        const char owned = mine && WaitForSingleObject(mine, INFINITE) == WAIT_OBJECT_0 ? '1' : '0';
        (void)!write(pipeFds[1], &owned, 1);
        pause();  // killed while owning it
        _exit(0);
    }
    char owned = 0;
    ASSERT_EQ(1, read(pipeFds[0], &owned, 1));
    EXPECT_EQ('1', owned);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(mutex, 0));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED), WaitForSingleObject(mutex, INFINITE));
    EXPECT_TRUE(ReleaseMutex(mutex));
    close(pipeFds[0]);
    close(pipeFds[1]);
    CloseHandle(mutex);
    EXPECT_EQ(nullptr, OpenMutexA(SYNCHRONIZE, FALSE, "shared")) << "the dead process's handle is gone too";
}

}  // namespace

TEST(LocalTime, FollowsTheVirtualClockFromTheDayTheMachineStarts) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    // Expected as year-month-day (day of week) hour:minute:second.ms
    const std::pair<uint64_t, const char*> kRows[] = {
        {0, "2000-2-17 (4) 0:0:0.0"},
        {319ull * 86400000, "2001-1-1 (1) 0:0:0.0"},  // past 29 February; a Monday
    };
    for (const auto& [advance, expected] : kRows) {
        machine->Advance(advance);
        SYSTEMTIME t;
        GetLocalTime(&t);
        char text[64];
        std::snprintf(text, sizeof text, "%u-%u-%u (%u) %u:%u:%u.%u", t.wYear, t.wMonth, t.wDay, t.wDayOfWeek, t.wHour,
                      t.wMinute, t.wSecond, t.wMilliseconds);
        EXPECT_STREQ(expected, text);
    }
}
