#pragma once
// The main form: the one long-lived window. It owns the settings read at creation, the
// orderly close and, as the program grows, the window-message protocol and the job engine;
// its methods are split over files by topic.

#include "core/ProgramEnvironment.h"
#include "core/ProgramFlags.h"
#include "core/Settings.h"
#include "gui/Form.h"
#include "gui/IniFile.h"

#include <memory>

namespace core {

class TMF : public gui::TForm {
  public:
    TMF(const ProgramEnvironment& environment, ProgramFlags& flags);
    ~TMF() override;

    // Settings files: the program-folder file, and the user file (the same file while
    // per-user data is off).
    gui::TIniFile& ProgramIni() { return programIni_; }
    gui::TIniFile& UserIni() { return userIni_ ? *userIni_ : programIni_; }
    const std::string& DataDir() const { return dataDir_; }
    const FormCreationSettings& CreationSettings() const { return creation_; }

    bool Showonjobstart = true; // menu item Showonjobstart1
    bool Showhint = true; // menu item Showhint1
    bool Startautomatic = true; // menu item Startautomatic1
    bool JobEndedThisSession = false;

    void FormCreate();
    void FormCloseQuery(bool& canClose);
    void SaveSettings();

  private:
    const ProgramEnvironment& environment_;
    ProgramFlags& flags_;
    gui::TIniFile programIni_;
    std::unique_ptr<gui::TIniFile> userIni_;
    std::string dataDir_;
    FormCreationSettings creation_;
    bool closing_ = false;
};

} // namespace core
