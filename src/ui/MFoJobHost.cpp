// How the job engine reaches the main form: every member of job::JobHost maps onto the
// form's own routine or control.
#include "ui/MFo.h"

#include "gui/Label.h"
#include "gui/ProgressBar.h"
#include "gui/Prompter.h"
#include "gui/Wait.h"

namespace ui {

class TMFJobHost final : public job::JobHost {
  public:
    explicit TMFJobHost(TMF& form) : form_(form) {}

    void AddToLog(const std::string& text) override { form_.AddToLog(text); }
    void Wait(int milliseconds) override { gui::Wait(milliseconds, false); }

    void AddToJobLog(const std::string& text) override { form_.AddToJobLog(text); }
    void SetStatusText(const std::string& text) override { form_.Label1->SetCaption(text); }
    void SetTotalText(const std::string& text) override { form_.Label2->SetCaption(text); }
    void SetProgress3(int position, int maximum) override {
        form_.ProgressBar3->SetMax(maximum);
        form_.ProgressBar3->SetPosition(position);
    }
    void Pump() override { gui::ProcessMessages(); }
    void PumpIfDue() override { gui::PumpIfDue(pumpIntervalMs); }
    bool Cancelled() override { return form_.Cancelled; }
    void SetCancelled(bool cancelled) override { form_.Cancelled = cancelled; }
    bool Hidden() override { return form_.flags_.Hidden; }
    void ShowWarning(const std::string& text) override {
        gui::TMessageBoxRequest request;
        request.Owner = form_.Handle();
        request.Caption = "Tarnwick";
        request.Text = text;
        request.Buttons = gui::TMsgButtons::OK;
        request.Icon = gui::TMsgIcon::Warning;
        gui::Prompter().ShowMessageBox(request);
    }
    std::vector<std::string>& ArchiveBitPending() override { return form_.ArchiveBitPending; }
    void FlushAttributeList() override { form_.FlushAttributeList(); }

  private:
    // Per-entry pumps: often enough for a responsive window, rare enough to cost nothing.
    static constexpr int pumpIntervalMs = 20;
    TMF& form_;
};

std::unique_ptr<job::JobHost> TMF::MakeJobHost(TMF& form) {
    return std::make_unique<TMFJobHost>(form);
}

} // namespace ui
