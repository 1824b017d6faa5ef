#include "job/ServiceCtrl.h"

#include "gui/Wait.h"

#include <windows.h>

#include <algorithm>

namespace job {

namespace {

// A handle of the service control manager, closed on every way out.
class ScHandle {
  public:
    explicit ScHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ScHandle() {
        if (handle_) CloseServiceHandle(handle_);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    explicit operator bool() const { return handle_ != nullptr; }
    SC_HANDLE get() const { return handle_; }

  private:
    SC_HANDLE handle_;
};

constexpr int minimumWaitMs = 100;

SC_HANDLE OpenManager(const std::string& machine) {
    return OpenSCManagerA(machine.empty() ? nullptr : machine.c_str(), nullptr, SC_MANAGER_CONNECT);
}

// Follows a pending state towards goal. A checkpoint that has not moved after the service's
// own wait hint means it hangs; a state that is neither the goal nor pending means it gave up.
bool FollowPending(SC_HANDLE service, DWORD goal, DWORD pending, const ServiceWait& wait) {
    SERVICE_STATUS status;
    if (!QueryServiceStatus(service, &status)) return false;
    while (status.dwCurrentState == pending) {
        const DWORD checkpoint = status.dwCheckPoint;
        const int hint = static_cast<int>(std::min<DWORD>(status.dwWaitHint, 0x7fffffff));
        const int milliseconds = std::max(hint, minimumWaitMs);
        if (wait)
            wait(milliseconds);
        else
            gui::Wait(milliseconds, false);
        if (!QueryServiceStatus(service, &status)) return false;
        if (status.dwCurrentState == pending && status.dwCheckPoint <= checkpoint) break;
    }
    return status.dwCurrentState == goal;
}

} // namespace

uint32_t ServiceGetStatus(const std::string& machine, const std::string& service) {
    ScHandle manager(OpenManager(machine));
    if (!manager) return 0;
    ScHandle handle(OpenServiceA(manager.get(), service.c_str(), SERVICE_QUERY_STATUS));
    if (!handle) return 0;
    SERVICE_STATUS status;
    if (!QueryServiceStatus(handle.get(), &status)) return 0;
    return status.dwCurrentState;
}

bool ServiceRunning(const std::string& machine, const std::string& service) {
    return ServiceGetStatus(machine, service) == SERVICE_RUNNING;
}

bool ServiceStopped(const std::string& machine, const std::string& service) {
    return ServiceGetStatus(machine, service) == SERVICE_STOPPED;
}

bool ServiceStart(const std::string& machine, const std::string& service, const ServiceWait& wait) {
    ScHandle manager(OpenManager(machine));
    if (!manager) return false;
    ScHandle handle(OpenServiceA(manager.get(), service.c_str(), SERVICE_START | SERVICE_QUERY_STATUS));
    if (!handle) return false;
    if (!StartServiceA(handle.get(), 0, nullptr)) return false;
    return FollowPending(handle.get(), SERVICE_RUNNING, SERVICE_START_PENDING, wait);
}

bool ServiceStop(const std::string& machine, const std::string& service, const ServiceWait& wait) {
    ScHandle manager(OpenManager(machine));
    if (!manager) return false;
    ScHandle handle(OpenServiceA(manager.get(), service.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!handle) return false;
    SERVICE_STATUS status;
    if (!ControlService(handle.get(), SERVICE_CONTROL_STOP, &status)) return false;
    return FollowPending(handle.get(), SERVICE_STOPPED, SERVICE_STOP_PENDING, wait);
}

} // namespace job
