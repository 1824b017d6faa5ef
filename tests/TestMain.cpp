// Test entry shared by every test executable.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <gtest/gtest-spi.h>
#include <windows.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    // A crash must end the test, never wait on an error dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
#endif
    testing::InitGoogleTest(&argc, argv);
#ifdef _WIN32
    // The framework starts a thread of its own at the first skip or failure a thread reports.
    // Wine can crash ending a process while a thread is still starting, which turned quick
    // skipped runs into failures now and then: the thread is started here instead, and the
    // process lives long enough for it to get going.
    {
        testing::ScopedFakeTestPartResultReporter startsTheThread(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, nullptr);
    }
    const DWORD began = GetTickCount();
    const int result = RUN_ALL_TESTS();
    constexpr DWORD threadStartMs = 50;
    const DWORD spent = GetTickCount() - began;
    if (spent < threadStartMs) Sleep(threadStartMs - spent);
    return result;
#else
    return RUN_ALL_TESTS();
#endif
}
