#pragma once
// Query, start and stop a Windows service through the service control manager; the menu
// action that installs and runs the companion service uses them. A start or stop request is
// followed while the service reports it pending: each wait lasts the service's wait hint (at
// least 100 ms), and the wait ends as soon as its checkpoint stops advancing, so a service
// that hangs in a pending state cannot keep the program waiting for ever.

#include <cstdint>
#include <functional>
#include <string>

namespace job {

// Spends the given milliseconds; the default is the pumped wait of the GUI thread, so timer
// ticks and user actions run meanwhile.
using ServiceWait = std::function<void(int milliseconds)>;

// The service's state (1 stopped, 2 start pending, 3 stop pending, 4 running, ...); 0 when the
// service control manager or the service cannot be reached. An empty machine is this computer.
uint32_t ServiceGetStatus(const std::string& machine, const std::string& service);
bool ServiceRunning(const std::string& machine, const std::string& service);
bool ServiceStopped(const std::string& machine, const std::string& service);

// True when the service ends up running (stopped); false when it cannot be opened, the
// request is refused (already running, not running) or the service stalls on the way.
bool ServiceStart(const std::string& machine, const std::string& service, const ServiceWait& wait = {});
bool ServiceStop(const std::string& machine, const std::string& service, const ServiceWait& wait = {});

} // namespace job
