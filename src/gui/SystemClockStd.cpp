// The system clock for the native build, where the portable code and its tests run.
#include "gui/Clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace gui {

namespace {
class StdClock final : public Clock {
  public:
    DateTime Now() override {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        // Days from 1899-12-30 to 1970-01-01 are 25569.
        const std::time_t asUtc = timegm(&local);
        return 25569.0 + static_cast<double>(asUtc) / 86400.0;
    }
    int64_t MonotonicMs() override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    bool Sleep(int milliseconds, bool) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return false;
    }
};
} // namespace

Clock& SystemClock() {
    static StdClock clock;
    return clock;
}

} // namespace gui
