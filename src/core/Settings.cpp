#include "core/Settings.h"

#include "core/Scramble.h"
#include "gui/TextTrim.h"

namespace core {

namespace {

// Absent values are tested by reading an integer with -1 as the default; the default is
// then written and used.
bool ReadBoolOrWriteDefault(gui::IniAccess& file, const char* section, const char* key, bool defaultValue) {
    const int stored = file.ReadInteger(section, key, -1);
    if (stored == -1) {
        file.WriteBool(section, key, defaultValue);
        return defaultValue;
    }
    return stored != 0;
}

int ReadIntegerOrWriteDefault(gui::IniAccess& file, const char* section, const char* key, int defaultValue) {
    const int stored = file.ReadInteger(section, key, -1);
    if (stored == -1) {
        file.WriteInteger(section, key, defaultValue);
        return defaultValue;
    }
    return stored;
}

// A damaged stored password must not stop the program: it reads as none, and the caller
// learns of it when it asks.
std::string UnscrambledOrEmpty(const std::string& stored, bool* damaged = nullptr) {
    try {
        return gui::Trim(UnscrambleText(stored, ScrambleKey));
    } catch (const EConvertError&) {
        if (damaged) *damaged = true;
        return {};
    }
}

bool IsInteger(const std::string& text) {
    return gui::ParseIniInteger(text, 0) == gui::ParseIniInteger(text, 1);
}

} // namespace

std::string WithTrailingBackslash(std::string path) {
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path;
}

FormCreationSettings ReadFormCreationSettings(gui::IniAccess& programFile, const OsVersion& os) {
    using namespace ini;
    FormCreationSettings values;
    values.crashed = programFile.ReadBool(Settings, "Crashed", false);
    programFile.WriteBool(Settings, "Crashed", true);
    values.useTempFile = programFile.ReadBool(Settings, "UseTempFile", false);
    values.useCDR = programFile.ReadBool(Settings, "UseCDR", true);
    values.maxPreferedSpeed = programFile.ReadString(Settings, "MaxPreferedSpeed", "0");
    values.lastGoodSpeed = programFile.ReadInteger(Settings, "LastGoodSpeed", 0);
    values.leaveDriveOpen = programFile.ReadBool(Settings, "LeaveDriveOpen", false);
    values.doNotOpenDrive = programFile.ReadBool(Settings, "DoNotOpenDrive", false);
    values.useInternalASPI = programFile.ReadBool(Settings, "UseInternalASPI", false);
    values.doNotRestarte = programFile.ReadBool(Settings, "DoNotRestarte", false);
    values.restSpaceOnCD = programFile.ReadInteger(Settings, "RestSpaceOnCD", 0);
    values.infiniteWait = programFile.ReadInteger(Settings, "InfiniteWait", 1440);
    programFile.WriteBool(Settings, "UseTempFile", values.useTempFile);
    programFile.WriteBool(Settings, "UseCDR", values.useCDR);
    values.useUserData = os.IsWindows2000OrLater()
                             ? ReadBoolOrWriteDefault(programFile, Settings, "UseUserData2kXP", true)
                             : ReadBoolOrWriteDefault(programFile, Settings, "UseUserData", false);
    values.maxZipFactor = ReadIntegerOrWriteDefault(programFile, Settings, "MaxZipFactor", 7);
    values.menuPassword =
        UnscrambledOrEmpty(programFile.ReadString(Settings, "Menu", ""), &values.menuPasswordDamaged);
    values.lockMenu = ReadBoolOrWriteDefault(programFile, Settings, "LockMenu", false);
    values.allowPassWord = ReadBoolOrWriteDefault(programFile, Settings, "AllowPassWord", true);
    return values;
}

void ReadUserOverrides(gui::IniAccess& userFile, FormCreationSettings& settings) {
    using namespace ini;
    if (userFile.ValueExists(Settings, "Menu"))
        settings.menuPassword =
            UnscrambledOrEmpty(userFile.ReadString(Settings, "Menu", ""), &settings.menuPasswordDamaged);
    if (userFile.ValueExists(Settings, "InfiniteWait"))
        settings.infiniteWait = userFile.ReadInteger(Settings, "InfiniteWait", settings.infiniteWait);
}

StartSettings ReadStartSettings(gui::IniAccess& userFile, std::string jobName,
                                const std::string& systemTempPath) {
    using namespace ini;
    StartSettings values;
    if (jobName.empty() || static_cast<unsigned char>(jobName[0]) < '!')
        jobName = userFile.ReadString(Files, "LastJob", "");
    values.jobName = jobName;
    userFile.WriteString(Files, "LastJob", values.jobName);
    values.tempPath = WithTrailingBackslash(userFile.ReadString(Files, "TempPath", systemTempPath));
    userFile.WriteString(Files, "TempPath", values.tempPath);
    values.showOnJob = userFile.ReadBool(Settings, "Showonjob", true);
    values.showHint = userFile.ReadBool(Settings, "Showhint", true);
    return values;
}

void SaveSettings(gui::IniAccess& userFile, gui::IniAccess& programFile, const SavedState& state) {
    using namespace ini;
    userFile.WriteString(Files, "LastJob", state.jobName);
    userFile.WriteBool(Settings, "AutoRun", state.autoRun);
    userFile.WriteBool(Settings, "Showonjob", state.showOnJob);
    userFile.WriteBool(Settings, "Showhint", state.showHint);
    userFile.WriteInteger(Settings, "InfiniteWait", state.infiniteWait);

    programFile.WriteBool(Settings, "Crashed", false);
    programFile.WriteString(Settings, "MaxPreferedSpeed", state.maxPreferedSpeed);
    programFile.WriteInteger(Settings, "LastGoodSpeed", state.lastGoodSpeed);
    programFile.WriteBool(Settings, "DoNotOpenDrive", state.doNotOpenDrive);
    programFile.WriteBool(Settings, "LeaveDriveOpen", state.leaveDriveOpen);
    programFile.WriteBool(Settings, "UseInternalASPI", state.useInternalASPI);
    programFile.WriteBool(Settings, "DoNotRestarte", state.doNotRestarte);
    programFile.WriteBool(LastState, "default", !state.jobEndedThisSession);
    programFile.WriteInteger(Settings, "RestSpaceOnCD",
                             IsInteger(state.restSpaceText) ? gui::ParseIniInteger(state.restSpaceText, 0)
                                                            : 0);
    programFile.WriteInteger(LastState, "Top", state.top);
    programFile.WriteInteger(LastState, "Left", state.left);
    programFile.WriteInteger(LastState, "Height", state.height);
    programFile.WriteInteger(LastState, "Width", state.width);
    programFile.WriteBool(LastState, "Hidden", state.hidden);
}

LastStateSettings ReadLastState(gui::IniAccess& programFile, int top, int left, int height, int width) {
    using namespace ini;
    LastStateSettings values;
    values.hideInfo = programFile.ReadBool(LastState, "HideInfo", false);
    values.hidden = programFile.ReadBool(LastState, "Hidden", false);
    values.minimized = programFile.ReadBool(LastState, "Minimized", false);
    values.useDefault = programFile.ReadBool(LastState, "default", false);
    values.top = programFile.ReadInteger(LastState, "Top", top);
    values.left = programFile.ReadInteger(LastState, "Left", left);
    values.height = programFile.ReadInteger(LastState, "Height", height);
    values.width = programFile.ReadInteger(LastState, "Width", width);
    return values;
}

ServiceSettings ReadServiceSettings(gui::IniAccess& programFile, const OsVersion& os) {
    ServiceSettings values;
    if (!os.ntFamily) return values;
    values.runAsService = programFile.ReadBool(ini::Settings, "RunAsService", false);
    if (values.runAsService)
        values.runningAsService = programFile.ReadBool(ini::Settings, "RunningAsService", false);
    return values;
}

void WriteConfigData(gui::IniAccess& programFile, const std::string& documents,
                     const std::string& applicationData, const std::string& profilePath) {
    programFile.WriteString(ini::ConfigData, "Documents", documents);
    programFile.WriteString(ini::ConfigData, "ApplicationData", applicationData);
    programFile.WriteString(ini::ConfigData, "ProfilePath", profilePath);
}

JobOnStartSettings ReadJobOnStart(gui::IniAccess& userFile, const std::string (&defaultNags)[4]) {
    using namespace ini;
    static const char* const nagKeys[8] = {
        "Nag1BeforeDaycount", "Nag1AfterDaycount", "Nag1BeforeDestination", "Nag1AfterDestination",
        "Nag2BeforeDaycount", "Nag2AfterDaycount", "Nag2BeforeDestination", "Nag2AfterDestination"};
    JobOnStartSettings values;
    values.jobName = userFile.ReadString(JobOnStart, "JobName", "");
    if (!userFile.ValueExists(JobOnStart, "JobName")) userFile.WriteString(JobOnStart, "JobName", "");
    values.doJobOnDay = ReadIntegerOrWriteDefault(userFile, JobOnStart, "DoJobOnDay", 7);
    values.maxDays = ReadIntegerOrWriteDefault(userFile, JobOnStart, "MaxDays", 10);
    values.lastDate = userFile.ReadInteger(JobOnStart, "LastDate", 0);
    values.daysCount = userFile.ReadInteger(JobOnStart, "DaysCount", 0);
    values.close = ReadBoolOrWriteDefault(userFile, JobOnStart, "Close", false);
    for (int i = 0; i < 8; ++i) {
        values.nags[i] = userFile.ReadString(JobOnStart, nagKeys[i], "");
        if (values.nags[i].empty()) {
            values.nags[i] = defaultNags[i % 4];
            userFile.WriteString(JobOnStart, nagKeys[i], values.nags[i]);
        }
    }
    return values;
}

EMailSettings ReadEMail(gui::IniAccess& programFile) {
    using namespace ini;
    EMailSettings mail;
    mail.to = programFile.ReadString(EMail, "To", "");
    mail.from = programFile.ReadString(EMail, "From", "");
    mail.subject = programFile.ReadString(EMail, "Subject", "");
    mail.smtpServer = programFile.ReadString(EMail, "SMTPServer", "");
    mail.smtpPort = programFile.ReadString(EMail, "SMTPPort", "25");
    mail.account = programFile.ReadString(EMail, "Account", "");
    const std::string stored = programFile.ReadString(EMail, "Password", "");
    if (!stored.empty()) {
        try {
            mail.password = UnscrambleText(stored, ScrambleKey);
        } catch (const EConvertError&) {
            mail.passwordDamaged = true;
        }
    }
    return mail;
}

void WriteEMail(gui::IniAccess& programFile, const EMailSettings& mail) {
    using namespace ini;
    programFile.WriteString(EMail, "To", mail.to);
    programFile.WriteString(EMail, "From", mail.from);
    programFile.WriteString(EMail, "Subject", mail.subject);
    programFile.WriteString(EMail, "SMTPServer", mail.smtpServer);
    programFile.WriteString(EMail, "SMTPPort", mail.smtpPort);
    programFile.WriteString(EMail, "Account", mail.account);
    programFile.WriteString(EMail, "Password", ScrambleText(mail.password, ScrambleKey));
}

std::string StoredMenuPassword(const std::string& password) {
    return password.empty() ? std::string() : ScrambleText(password, ScrambleKey);
}

} // namespace core
