// Service control against the system's service manager, with a fixture service installed for
// the test and removed after it. The fixture's pending states advance only when the test's
// wait steps them, so each wait stands for the service's wait hint passing.

#include "job/ServiceCtrl.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace job;

namespace {

std::string FixtureProgram() {
    std::string path = TW_FIXTURE_SERVICE_EXE;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path[0] == '\\' ? "Z:" + path : path;
}

class FixtureService {
  public:
    FixtureService(const std::string& mode, int waitHintMs) {
        static int counter = 0;
        Name = "TwFixture" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
        const std::string events = "Global\\" + Name;
        step_ = CreateEventA(nullptr, FALSE, FALSE, (events + ".step").c_str());
        ack_ = CreateEventA(nullptr, FALSE, FALSE, (events + ".ack").c_str());
        quit_ = CreateEventA(nullptr, TRUE, FALSE, (events + ".quit").c_str());
        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        const std::string command =
            "\"" + FixtureProgram() + "\" " + mode + " " + events + " " + std::to_string(waitHintMs);
        if (manager_)
            service_ = CreateServiceA(manager_, Name.c_str(), Name.c_str(), SERVICE_ALL_ACCESS,
                                      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                      command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    ~FixtureService() {
        SetEvent(quit_);
        if (service_) {
            // The fixture stops on quit; removal waits for that, briefly.
            SERVICE_STATUS status;
            for (int i = 0;
                 i < 250 && QueryServiceStatus(service_, &status) && status.dwCurrentState != SERVICE_STOPPED;
                 ++i)
                Sleep(20);
            DeleteService(service_);
            CloseServiceHandle(service_);
        }
        if (manager_) CloseServiceHandle(manager_);
        for (HANDLE event : {step_, ack_, quit_})
            CloseHandle(event);
    }
    FixtureService(const FixtureService&) = delete;
    FixtureService& operator=(const FixtureService&) = delete;

    bool Installed() const { return service_ != nullptr; }

    // The wait the service routines are given: records the time asked and lets the fixture
    // take its next step.
    ServiceWait Stepper() {
        return [this](int milliseconds) {
            Waits.push_back(milliseconds);
            SetEvent(step_);
            WaitForSingleObject(ack_, 10'000);
        };
    }

    std::string Name;
    std::vector<int> Waits;

  private:
    HANDLE step_ = nullptr, ack_ = nullptr, quit_ = nullptr;
    SC_HANDLE manager_ = nullptr, service_ = nullptr;
};

} // namespace

TEST(ServiceCtrl, StartsAndStopsThroughCheckpointsAndARepeatedRequestIsRefused) {
    FixtureService fixture("steps", 250);
    ASSERT_TRUE(fixture.Installed()) << GetLastError();
    EXPECT_TRUE(ServiceStopped("", fixture.Name));

    EXPECT_TRUE(ServiceStart("", fixture.Name, fixture.Stepper()));
    EXPECT_TRUE(ServiceRunning("", fixture.Name));
    EXPECT_EQ(ServiceGetStatus("", fixture.Name), static_cast<uint32_t>(SERVICE_RUNNING));
    ASSERT_GE(fixture.Waits.size(), 3u) << "three checkpoints to running";
    EXPECT_EQ(fixture.Waits.back(), 250) << "the service's own wait hint";

    fixture.Waits.clear();
    EXPECT_FALSE(ServiceStart("", fixture.Name, fixture.Stepper())) << "already running";
    EXPECT_TRUE(fixture.Waits.empty());
    EXPECT_TRUE(ServiceRunning("", fixture.Name));

    EXPECT_TRUE(ServiceStop("", fixture.Name, fixture.Stepper()));
    EXPECT_EQ(fixture.Waits.size(), 2u);
    EXPECT_TRUE(ServiceStopped("", fixture.Name));
    EXPECT_FALSE(ServiceStop("", fixture.Name, fixture.Stepper())) << "not running";
}

TEST(ServiceCtrl, AStalledCheckpointEndsTheWaitAndATinyHintStillWaitsATenthOfASecond) {
    FixtureService fixture("stall", 5);
    ASSERT_TRUE(fixture.Installed()) << GetLastError();
    EXPECT_FALSE(ServiceStart("", fixture.Name, fixture.Stepper()));
    EXPECT_GE(fixture.Waits.size(), 1u);
    EXPECT_LE(fixture.Waits.size(), 2u) << "ends at the first query that shows no progress";
    for (int waited : fixture.Waits)
        EXPECT_GE(waited, 100);
    EXPECT_EQ(ServiceGetStatus("", fixture.Name), static_cast<uint32_t>(SERVICE_START_PENDING));
}

TEST(ServiceCtrl, AServiceThatCannotBeOpenedAnswersFalse) {
    const std::string missing = "TwNoSuchService" + std::to_string(GetCurrentProcessId());
    int waits = 0;
    const ServiceWait counting = [&](int) { ++waits; };
    EXPECT_EQ(ServiceGetStatus("", missing), 0u);
    EXPECT_FALSE(ServiceRunning("", missing));
    EXPECT_FALSE(ServiceStopped("", missing));
    EXPECT_FALSE(ServiceStart("", missing, counting));
    EXPECT_FALSE(ServiceStop("", missing, counting));
    EXPECT_EQ(waits, 0);
}
