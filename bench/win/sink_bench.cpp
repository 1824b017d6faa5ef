// What the write sink costs over plain writes: the same bytes written once through
// TWriteSink (1 MiB buffer, whole-megabyte writes, the reopen at every 50,000,000 bytes) and
// once with WriteFile in 1 MiB pieces, into the temporary folder. With read-back on, every
// flushed megabyte is read again and compared, so that run shows the price of WriteVerify.
// Prints MB/s of each (best of three) and the ratio; the target is a sink at 0.8 of plain writes or better.
// TW_BENCH_MB sets the size (default 64).
#include "zip/WriteSink.h"
#include "zip/WriteSinkWin.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Fill(uint8_t* data, size_t count, uint32_t seed) {
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        data[i] = static_cast<uint8_t>(seed >> 16);
    }
}

double PlainWrites(const std::string& name, const std::vector<uint8_t>& piece, int megabytes) {
    DeleteFileA(name.c_str()); // freeing the last run's pages is not this run's cost
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot create %s\n", name.c_str());
        std::exit(1);
    }
    for (int i = 0; i < megabytes; ++i) {
        DWORD written = 0;
        if (!WriteFile(file, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr) ||
            written != piece.size()) {
            std::fprintf(stderr, "write failed at %d MB\n", i);
            std::exit(1);
        }
    }
    CloseHandle(file);
    QueryPerformanceCounter(&end);
    return Seconds(start, end);
}

double SinkWrites(const std::string& name, const std::vector<uint8_t>& piece, int megabytes, bool verify) {
    DeleteFileA(name.c_str());
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    {
        zip::TWinSinkFile file(name, name + ".staging",
                               [](const std::string&) { return std::string("Fixed"); });
        zip::TWriteSink sink(file);
        sink.WriteVerify = verify;
        // The zip component hands the sink pieces of a deflate block at a time; 16 KiB is typical.
        constexpr size_t kPiece = 16384;
        for (int i = 0; i < megabytes; ++i)
            for (size_t at = 0; at < piece.size(); at += kPiece) {
                std::memcpy(sink.StagingBuffer(), piece.data() + at, kPiece);
                sink.WriteToSink(kPiece, false);
            }
        sink.FlushWriteBuffer();
        file.Close();
    }
    QueryPerformanceCounter(&end);
    return Seconds(start, end);
}

} // namespace

int main() {
    const char* env = std::getenv("TW_BENCH_MB");
    const int megabytes = env != nullptr && std::atoi(env) > 0 ? std::atoi(env) : 64;
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string name = std::string(folder) + "tw_sink_bench_" + std::to_string(GetCurrentProcessId());

    std::vector<uint8_t> piece(zip::kSinkBufferSize);
    Fill(piece.data(), piece.size(), 7);

    // Best of three, alternating, so that page-cache write-back hits both sides alike.
    double plain = 1e9, sink = 1e9, verified = 1e9;
    for (int round = 0; round < 3; ++round) {
        plain = std::min(plain, PlainWrites(name, piece, megabytes));
        sink = std::min(sink, SinkWrites(name, piece, megabytes, false));
        verified = std::min(verified, SinkWrites(name, piece, megabytes, true));
    }
    DeleteFileA(name.c_str());

    const auto rate = [&](double seconds) { return seconds > 0 ? megabytes / seconds : 0.0; };
    std::printf(
        "%d MB: plain WriteFile %.0f MB/s, sink %.0f MB/s (%.2f of plain), sink with read-back %.0f MB/s\n",
        megabytes, rate(plain), rate(sink), sink > 0 ? plain / sink : 0.0, rate(verified));
    return 0;
}
