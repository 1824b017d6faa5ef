#pragma once
// Where the shared test data lies: $TARNWICK_SHARED_TESTDATA when set (tools/test sets it, also
// for clones that live elsewhere), else "shared/testdata" beside the source tree.

#include <cstdlib>
#include <string>

namespace testsupport {

inline std::string SharedTestDataFolder() {
    const char* configured = std::getenv("TARNWICK_SHARED_TESTDATA");
    std::string folder = configured && *configured ? configured : TW_SOURCE_DIR "/../shared/testdata";
#ifdef _WIN32
    if (!folder.empty() && folder[0] == '/') folder = "Z:" + folder; // Wine maps the Unix root to Z:
#endif
    return folder;
}

// CI sets REQUIRE_SHARED_TESTDATA=1: missing data is then a failure, not a skip.
inline bool SharedTestDataRequired() {
    const char* require = std::getenv("REQUIRE_SHARED_TESTDATA");
    return require != nullptr && std::string(require) == "1";
}

} // namespace testsupport
