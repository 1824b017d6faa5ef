#include "job/JobDisc.h"

#include "core/DateText.h"
#include "disc/dwBurner.h"
#include "disc/dwDrvLib.h"
#include "gui/Clock.h"
#include "job/DiscSpeed.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace job {

namespace {

constexpr int64_t blockBytes = 2'048;
constexpr int readyMs = 5'000;
constexpr int maxFiles = 65535, maxFolders = 8191;
// Dates on the disc and in the lists agree to about a minute and a half.
constexpr double sameDateDays = 0.001;

// The job's writer over the window's component: the disc step and the job's space checks see
// one drive through one transport, which the disc step loads and lets go as it needs.
class HostJobDisc final : public DiscWriter {
  public:
    explicit HostJobDisc(JobHost& host) : host_(host) {}
    bool Load(bool) override { return host_.LoadDiscTransport(); }
    bool Select(const std::string& choice, char letter) override {
        choice_ = choice;
        letter_ = letter;
        return SelectBurnerDevice(host_, choice, letter);
    }
    bool Ready(int milliseconds) override;
    int64_t FreeBytes() override { return ReadDiscFreeBytes(host_, choice_, letter_); }
    int64_t CapacityAfterErase() override { return ReadDiscCapacityBytes(host_, choice_, letter_); }
    DiscRoomFacts DiscFacts(int readyMs) override {
        BurnerCall burner(host_);
        return burner ? ReadDiscRoomFacts(*burner, readyMs) : DiscRoomFacts{};
    }
    bool FileNeedsBurning(const std::string& destination, const std::string& name, double date) override {
        return job::FileNeedsBurning(host_, destination, name, date);
    }
    void Release() override { host_.ReleaseDiscTransport(); }

  private:
    JobHost& host_;
    std::string choice_;
    char letter_ = 0;
};

bool Ready(JobHost& host, int ms) {
    BurnerCall burner(host);
    return burner && burner->TestUnitReady(ms);
}

bool HostJobDisc::Ready(int milliseconds) {
    return job::Ready(host_, milliseconds);
}

// The local last-write time of a file, in days; nothing when it cannot be read.
bool FileDate(const std::string& path, double& days) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    FILETIME local{};
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local)) return false;
    const uint64_t ticks = (uint64_t{local.dwHighDateTime} << 32) | local.dwLowDateTime;
    // 1601-01-01 is day -109,205 of the day count that starts at 1899-12-30.
    days = static_cast<double>(ticks) / 864'000'000'000.0 - 109'205.0;
    return true;
}

// The destination folder on the disc ("\Backup"), or the root ("\").
std::string DiscFolderOf(const std::string& destination) {
    std::string path = destination;
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path.find('\\') != std::string::npos && path.size() > 3 ? path.substr(2) : std::string("\\");
}

} // namespace

std::unique_ptr<DiscWriter> MakeJobDisc(JobHost& host) {
    return std::make_unique<HostJobDisc>(host);
}

void ClearImageTree(JobHost& host) {
    BurnerCall burner(host);
    if (burner) burner->Image.ClearAll(maxFiles, maxFolders);
}

bool SelectBurnerDevice(JobHost& host, const std::string& choice, char letter, bool again) {
    {
        BurnerCall burner(host);
        if (!burner) return false;
        if (!burner->ASPIInitialized() && !host.LoadDiscTransport()) return false;
    }
    BurnerCall burner(host);
    if (!choice.empty()) {
        if (again || burner->DeviceId != choice || !burner->DeviceSelected()) burner->SetDeviceID(choice);
    } else if (letter) {
        const char wanted = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
        if (again || !burner->DeviceSelected() || burner->GetDriveLetter() != wanted)
            burner->SelectDeviceByDriveLetter(wanted);
    }
    return burner->DeviceSelected();
}

DiscRoomFacts ReadDiscRoomFacts(disc::TDiscBurner& burner, int readyMs) {
    DiscRoomFacts facts;
    facts.Ready = burner.TestUnitReady(readyMs);
    if (!facts.Ready) return facts;
    facts.FreeBlocks = burner.GetFreeBlocks();
    facts.NextWritableAddress = burner.GetNextWritableAddress();
    facts.Capacity = burner.GetDiscCapacity();
    facts.DiscStatus = burner.GetDiscStatus();
    facts.MediaType = burner.GetMediaType();
    facts.Erasable = burner.IsErasable();
    return facts;
}

int64_t DiscFreeBytes(JobHost& host) {
    BurnerCall burner(host);
    return burner ? job::DiscFreeBytes(ReadDiscRoomFacts(*burner, readyMs)) : 0;
}

bool CanEraseFirst(const DiscRoomFacts& facts) {
    return facts.Ready && (facts.Erasable || facts.MediaType == disc::mtDVDRAM);
}

std::string DiscVolumeLabelNow() {
    const core::DateParts now = core::DecodeDateTime(gui::CurrentClock().Now());
    char text[16];
    std::snprintf(text, sizeof text, "%02d%02d%02d%02d%02d", now.year % 100, now.month, now.day, now.hour,
                  now.minute);
    return text;
}

namespace {
// The writer selected, selected again when it is not ready or sees no disc.
void PrepareWriter(JobHost& host, const std::string& choice, char letter) {
    SelectBurnerDevice(host, choice, letter);
    bool noDisc = false;
    {
        BurnerCall burner(host);
        if (!burner) return;
        noDisc = burner->GetMediaType() == disc::mtUnknown;
    }
    if (Ready(host, readyMs) && !noDisc) return;
    SelectBurnerDevice(host, choice, letter);
    if (noDisc) {
        if (!host.LeaveDiscOpen()) BurnerCall(host)->LoadEject(false);
        Ready(host, 3'000);
    }
}
} // namespace

int64_t ReadDiscFreeBytes(JobHost& host, const std::string& choice, char letter) {
    PrepareWriter(host, choice, letter);
    return DiscFreeBytes(host);
}

int64_t ReadDiscCapacityBytes(JobHost& host, const std::string& choice, char letter) {
    PrepareWriter(host, choice, letter);
    bool erasable = false;
    {
        BurnerCall burner(host);
        if (!burner) return -1;
        erasable = burner->IsErasable() || burner->GetMediaType() == disc::mtDVDRAM;
    }
    if (!erasable) return -1;
    BurnerCall burner(host);
    if (!burner->TestUnitReady(readyMs)) return -1;
    const int64_t whole = static_cast<int64_t>(burner->GetFreeBlocks()) + burner->GetNextWritableAddress();
    return std::min<int64_t>(whole, burner->GetDiscCapacity()) * blockBytes;
}

JobFileOnDisc CheckJobFile(JobHost& host, const std::string& destination, const std::string& name,
                           double date) {
    std::string path = destination;
    if (path.empty() || path.back() != '\\') path += '\\';
    double onDisc = 0;
    if (FileDate(path + name, onDisc))
        return std::fabs(onDisc - date) > sameDateDays ? JobFileOnDisc::Needed : JobFileOnDisc::Held;
    if (!Ready(host, readyMs)) return JobFileOnDisc::Unread;
    ClearImageTree(host);
    for (int i = 0; i < 3; ++i)
        host.Pump();
    {
        BurnerCall burner(host);
        if (burner->GetLastSession() <= 0) return JobFileOnDisc::Held;
    }
    // What an import that failed still read (earlier sessions) may show the file; without it
    // the disc is not known not to hold it.
    const bool unread = !host.ImportSessionX() && host.DiscSessionsUnread();
    JobFileOnDisc found = unread ? JobFileOnDisc::Unread : JobFileOnDisc::Needed;
    {
        BurnerCall burner(host);
        const std::string folder = DiscFolderOf(destination);
        disc::TDEntry* dir = folder == "\\" ? burner->Image.Root() : burner->Image.FindDir(folder);
        if (disc::TFEntry* entry = dir ? burner->Image.FindFile(dir, name) : nullptr)
            if (std::fabs(entry->DateTime - date) <= sameDateDays) found = JobFileOnDisc::Held;
    }
    ClearImageTree(host);
    return found;
}

bool FileNeedsBurning(JobHost& host, const std::string& destination, const std::string& name, double date) {
    return CheckJobFile(host, destination, name, date) != JobFileOnDisc::Held;
}

bool DiscHoldsNoJobFile(JobHost& host, const std::string& destination, const std::vector<std::string>& names,
                        const std::vector<std::string>& dates) {
    for (size_t i = 0; i < names.size(); ++i) {
        double date = 0;
        try {
            if (i < dates.size()) date = core::StrToFloatAnySep(dates[i], '.');
        } catch (const std::exception&) {
        }
        // A disc that could not be read may hold them all.
        if (CheckJobFile(host, destination, names[i], date) != JobFileOnDisc::Needed) return false;
    }
    return true;
}

namespace {

constexpr char formattedDisc[] =
    "The destination disc is formated. The program can not write to it, you have to "
    "select erase disc or erase it manually";

// The names in the destination folder of the disc's last session. False when the disc has
// sessions and none reads as a file system: it was formatted for another kind of writing.
bool ReadDiscFolderNames(JobHost& host, const std::string& destination, std::vector<std::string>& names) {
    if (!Ready(host, readyMs)) return true;
    ClearImageTree(host);
    {
        BurnerCall burner(host);
        if (!burner || burner->GetLastSession() <= 0) return true;
    }
    const bool imported = host.ImportSessionX();
    BurnerCall burner(host);
    if (!burner) return true;
    disc::TDEntry* root = burner->Image.Root();
    // A disc that could not be read is not known to be formatted.
    if (!imported && !host.DiscSessionsUnread() && !root->FirstFile && root->Children.empty()) return false;
    const std::string folder = DiscFolderOf(destination);
    disc::TDEntry* dir = folder == "\\" ? root : burner->Image.FindDir(folder);
    for (disc::TFEntry* file = dir ? dir->FirstFile : nullptr; file; file = file->Next)
        names.push_back(file->LongName);
    return true;
}

} // namespace

std::vector<std::string> DiscFolderNames(JobHost& host, const std::string& destination) {
    std::vector<std::string> names;
    bool readable = false;
    try {
        readable = ReadDiscFolderNames(host, destination, names);
    } catch (const std::exception& error) {
        host.AddToLog(std::string("The disc's last session could not be read: ") + error.what());
    }
    ClearImageTree(host);
    if (!readable) {
        names.clear();
        host.AddToLog(formattedDisc);
        if (!host.Hidden()) host.ShowMessage(formattedDisc, gui::TMsgIcon::Exclamation);
    }
    return names;
}

} // namespace job
