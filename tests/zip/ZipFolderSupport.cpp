#include "ZipFolderSupport.h"

#include "ZipRecordSupport.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace ziptest {

std::string TZipFolder::P(const std::string& name) const {
    std::string path = tmp_.Path() + "\\" + name;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

void TZipFolder::Put(const std::string& name, const std::string& bytes) const {
    std::error_code error;
    fs::create_directories(fs::path(Native(name)).parent_path(), error);
    std::ofstream(Native(name), std::ios::binary) << bytes;
}

std::string TZipFolder::Get(const std::string& name) const {
    std::ifstream in(Native(name), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool TZipFolder::Exists(const std::string& name) const {
    std::error_code error;
    return fs::exists(Native(name), error);
}

void TZipFolder::SetTime(const std::string& name, int64_t seconds) const {
    // Through the component's own date setter, so both builds agree on the local time.
    const double days2024 = 45292.0; // 2024-01-01 as a day count from 1899-12-30
    const auto since = std::chrono::seconds(static_cast<int64_t>((days2024 - 25569.0) * 86400.0) + seconds);
    const auto fileEpoch =
        fs::file_time_type::clock::now() - std::chrono::duration_cast<fs::file_time_type::duration>(
                                               std::chrono::system_clock::now().time_since_epoch());
    fs::last_write_time(Native(name), fileEpoch + since);
}

std::string TZipFolder::PeerTrouble(const std::string& archive) const {
    if (!testsupport::kPeers) return {};
    const std::string path = ziprec::Quote(unziptest::Native(archive));
    std::string trouble;
    for (const std::string& command : {"unzip -tq " + path, "7z t -bd " + path,
                                       "python3 -c \"import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                                       "sys.exit(1 if z.testzip() else 0)\" " +
                                           path}) {
        const testsupport::TCommandResult result = testsupport::RunCommand(command + " 2>&1");
        if (result.exitCode != 0) trouble += command + ":\n" + result.output + "\n";
    }
    return trouble;
}

} // namespace ziptest
