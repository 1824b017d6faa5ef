// A console driver of the mail form for the SMTP peer tests under Wine:
//   maildrv INI send SUFFIX ATTACHMENT BODYFILE   mails BODYFILE's lines (ANSI bytes)
//   maildrv INI test                              the form's Test button
//   maildrv INI save TO FROM SUBJECT SERVER PORT ACCOUNT PASSWORD   the form's Save button
// INI holds the [EMail] section. Every program-log line is printed as "log: TEXT".
// Exit 0 when the server took the mail, 3 when not, 2 on bad arguments.

#include "gui/Edit.h"
#include "gui/IniFile.h"
#include "ui/Email1.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: maildrv INI send SUFFIX ATTACHMENT BODYFILE | maildrv INI test\n");
        return 2;
    }
    gui::TIniFile ini(argv[1]);
    ui::TEmail form(ini);
    form.OnLog = [](const std::string& line) {
        std::printf("log: %s\n", line.c_str());
        std::fflush(stdout);
    };
    form.FormCreate();
    const std::string mode = argv[2];
    bool sent = false;
    if (mode == "send" && argc == 6) {
        std::vector<std::string> body;
        std::ifstream in(argv[5], std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            body.push_back(line);
        }
        sent = form.SendMail(body, argv[3], argv[4]);
    } else if (mode == "save" && argc == 10) {
        gui::TEdit* edits[] = {form.edtTo,    form.EdtFrom,    form.edtSubject, form.SMTPServer,
                               form.SMTPPort, form.edtAccount, form.edtPassword};
        for (int i = 0; i < 7; ++i)
            edits[i]->SetText(argv[3 + i]);
        form.ButSaveClick();
        return 0;
    } else if (mode == "test") {
        form.Button2Click();
        sent = true;
    } else {
        std::fprintf(stderr, "maildrv: unknown command\n");
        return 2;
    }
    std::printf(sent ? "sent\n" : "not sent\n");
    return sent ? 0 : 3;
}
