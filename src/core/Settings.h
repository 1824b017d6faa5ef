#pragma once
// The settings files: where every value lives (program-folder file or user file), its
// default, and the reads and writes of program start, form creation and SaveSettings.
// Works over any IniAccess, so the rules are tested without touching the disk.

#include "gui/IniAccess.h"

#include <string>

namespace core {

namespace ini {
// Sections.
inline constexpr char Files[] = "Files";
inline constexpr char Settings[] = "Settings";
inline constexpr char LastState[] = "LastState";
inline constexpr char ConfigData[] = "ConfigData";
inline constexpr char Devices[] = "Devices";
inline constexpr char JobOnStart[] = "JobOnStart";
inline constexpr char ExecuteAfterJobOnStart[] = "ExecuteAfterJobOnStart";
inline constexpr char EMail[] = "EMail";
// "DeviceCap" + device number.
inline constexpr char DeviceCapPrefix[] = "DeviceCap";
} // namespace ini

struct OsVersion {
    bool ntFamily = true;
    int major = 5;
    int minor = 1;
    // Windows 2000, XP and later keep per-user data under their own switch.
    bool IsWindows2000OrLater() const { return ntFamily && major >= 5; }
    bool IsWindowsXP() const { return ntFamily && major == 5 && minor == 1; }
};

// Values read when the main form is created, all from the program-folder file.
struct FormCreationSettings {
    bool crashed = false;
    bool useTempFile = false;
    bool useCDR = true;
    std::string maxPreferedSpeed = "0";
    int lastGoodSpeed = 0;
    bool leaveDriveOpen = false;
    bool doNotOpenDrive = false;
    bool useInternalASPI = false;
    bool doNotRestarte = false;
    int restSpaceOnCD = 0;    // MB; shown in the edit, bytes = value x 1,000,000
    int infiniteWait = 1440;  // minutes
    bool useUserData = false; // per-user data on, by Windows version
    int maxZipFactor = 7;
    std::string menuPassword;         // unscrambled and trimmed
    bool menuPasswordDamaged = false; // the stored text was not a scrambled text; read as none
    bool lockMenu = false;
    bool allowPassWord = true;
};

// Reads the form-creation values in their order and writes what the first start writes:
// Crashed := 1, UseTempFile and UseCDR back, and the defaults of absent values.
FormCreationSettings ReadFormCreationSettings(gui::IniAccess& programFile, const OsVersion& os);

// Once the per-user folder is known: the menu password and the hidden-idle limit are
// written to the user file, so they are read from it, falling back to the program-folder
// value when the user file has none.
void ReadUserOverrides(gui::IniAccess& userFile, FormCreationSettings& settings);

// What the program block reads from the user file: the job to load and the temporary
// folder (with a trailing "\"). Both are written back as the start writes them.
struct StartSettings {
    std::string jobName;
    std::string tempPath;
    bool showOnJob = true;
    bool showHint = true;
};
StartSettings ReadStartSettings(gui::IniAccess& userFile, std::string jobName,
                                const std::string& systemTempPath);

// Everything SaveSettings writes, as the controls and flags hold it at that moment.
struct SavedState {
    std::string jobName;
    bool autoRun = true;
    bool showOnJob = true;
    bool showHint = true;
    int infiniteWait = 1440;
    std::string maxPreferedSpeed = "0";
    int lastGoodSpeed = 0;
    bool doNotOpenDrive = false;
    bool leaveDriveOpen = false;
    bool useInternalASPI = false;
    bool doNotRestarte = false;
    bool jobEndedThisSession = false;
    std::string restSpaceText = "0"; // the edit's text; not a number writes 0
    int top = 0, left = 0, height = 0, width = 0;
    bool hidden = false;
};
void SaveSettings(gui::IniAccess& userFile, gui::IniAccess& programFile, const SavedState& state);

// [LastState] of the program-folder file: the saved window state and the notices.
struct LastStateSettings {
    bool hideInfo = false; // the ASPI notice is not shown again
    bool hidden = false;
    bool minimized = false;
    bool useDefault = false; // "default": ignore Hidden and Minimized at the next start
    int top = 0, left = 0, height = 0, width = 0;
};
// Bounds default to the window's current ones.
LastStateSettings ReadLastState(gui::IniAccess& programFile, int top, int left, int height, int width);

// [Settings] RunAsService and RunningAsService: read on the NT family only; never written here.
struct ServiceSettings {
    bool runAsService = false;
    bool runningAsService = false;
};
ServiceSettings ReadServiceSettings(gui::IniAccess& programFile, const OsVersion& os);

// [ConfigData]: the folders found at start, written for the companion programs.
void WriteConfigData(gui::IniAccess& programFile, const std::string& documents,
                     const std::string& applicationData, const std::string& profilePath);

// [JobOnStart] of the user file: the backup reminder.
struct JobOnStartSettings {
    std::string jobName;
    int doJobOnDay = 7;
    int maxDays = 10;
    int lastDate = 0; // day number
    int daysCount = 0;
    bool close = false;
    // Nag1BeforeDaycount, Nag1AfterDaycount, Nag1BeforeDestination, Nag1AfterDestination, then Nag2...
    std::string nags[8];
};
// Absent values with an absent default are written; empty nag texts are filled from
// defaultNags (the four reminder messages, each used by both reminders).
JobOnStartSettings ReadJobOnStart(gui::IniAccess& userFile, const std::string (&defaultNags)[4]);

// [EMail] of the program-folder file: the job report's mail set-up.
// The password is stored scrambled, the empty one too; a stored text that does not unscramble
// reads as none, with passwordDamaged set for the caller to log.
struct EMailSettings {
    std::string to, from, subject, smtpServer, smtpPort = "25", account, password;
    bool passwordDamaged = false;
};
EMailSettings ReadEMail(gui::IniAccess& programFile);
void WriteEMail(gui::IniAccess& programFile, const EMailSettings& mail);

// The menu password as stored: empty stays empty, anything else is scrambled.
std::string StoredMenuPassword(const std::string& password);

// Adds a trailing backslash when missing (and the text is not empty).
std::string WithTrailingBackslash(std::string path);

} // namespace core
