#pragma once
// A JobHost for work without a window (console drivers, tests of one step): log lines go to
// one callback, nothing is pumped or waited for, no box is shown (a warning becomes a log
// line), and nothing is ever cancelled. Members added to JobHost get their quiet answer here.

#include "job/JobHost.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace job {

class WindowlessHost : public JobHost {
  public:
    explicit WindowlessHost(std::function<void(const std::string&)> log = nullptr) : log_(std::move(log)) {}

    void AddToLog(const std::string& text) override {
        if (log_) log_(text);
    }
    void Wait(int) override {}
    void AddToJobLog(const std::string& text) override { AddToLog(text); }
    void SetStatusText(const std::string&) override {}
    void SetTotalText(const std::string&) override {}
    void SetProgress3(int, int) override {}
    void Pump() override {}
    void PumpIfDue() override {}
    bool Cancelled() override { return cancelled_; }
    void SetCancelled(bool cancelled) override { cancelled_ = cancelled; }
    bool Hidden() override { return true; }
    void ShowWarning(const std::string& text) override { AddToLog(text); }
    std::vector<std::string>& ArchiveBitPending() override { return archiveBitPending_; }
    void FlushAttributeList() override { archiveBitPending_.clear(); }

  private:
    std::function<void(const std::string&)> log_;
    bool cancelled_ = false;
    std::vector<std::string> archiveBitPending_;
};

} // namespace job
