#pragma once
// Registry backup and restore in the program's own text format. The writer walks each root
// depth-first (an iterative pending list, so deep trees cost no stack) and writes every value
// the format can hold; the reader writes back every value that differs from the registry and
// can remove values added since the backup. Both run on the GUI thread over TRegistry with the
// ANSI registry functions, and reach the window only through the JobHost: saving reports as
// the job does, restoring as the Restore tab does.

#include "core/MvRegistry.h"
#include "job/JobHost.h"

#include <string>
#include <vector>

namespace job {

// One value of the registry as collect mode lists it.
struct TRegValueId {
    std::string root, path, name; // path "" for the root's own values, else "\..."
    // Root name + path + "\" + name, upper-cased: how the backup and the registry are compared.
    std::string Key() const;
};

// The five roots in the order written, and the two the reader also knows.
struct TRegRoot {
    const char* name;
    HKEY key;
};
const std::vector<TRegRoot>& RegBakRoots();
HKEY RegRootByName(const std::string& name); // nullptr when unknown

// Writes `fileName` (truncated first), or, with collectOnly, lists every value the writer would
// write into `list`. With `roots` set, only those roots are walked. False when the file could
// not be written.
bool BackupRegistry(JobHost& host, const std::string& fileName, std::vector<TRegValueId>* list,
                    bool collectOnly, bool currentUserOnly, const std::vector<std::string>* roots = nullptr);

// All roots into "_$zreg_$._$r" in the program folder for the running job (its logs, status
// line, line count and cancel), then waits (at most 60 s of the clock) until the file can be
// opened for reading. Answers the file's path; empty when it could not be made ready.
std::string SaveRegistryForJob(JobHost& host, const std::string& programFolder);

// Writes back the file's values after two confirmations, then offers to remove the values
// added since the backup under the roots the file holds.
void RestoreRegistry(JobHost& host, const std::string& fileName);

} // namespace job
