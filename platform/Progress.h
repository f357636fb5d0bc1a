// The two progress displays the engine and the report reader drive, as interfaces.
// The desktop program implements them with its progress windows, the CLI with a
// terminal line, tests with recorders.
#pragma once

#include <string>

namespace tvl {

// What a progress display shows for a position and a total: the bar position 0..100
// and the percent text "NN%\n". Position -1 clears both (bar 0, text "").
// The product position x 100 is formed in 64 bits, a total of 0 or less shows 0%,
// and the result never exceeds 100%.
struct PercentDisplay {
    int barPos = 0;
    std::string text;
};
PercentDisplay ComputePercent(int nPos, int nTotal);

// The five-step window of a scan.
class IStepProgress {
public:
    virtual ~IStepProgress() = default;
    virtual void SetCaption(const std::string& text) = 0;
    // The text of step 1 (it names the ranking when one is made).
    virtual void SetStep1Text(const std::string& text) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    // Marks step 1..5 as the current one; any other value marks none.
    virtual void SetStep(int nStep) = 0;
    virtual void SetProgress(int nPos, int nTotal) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // Repaints at once (start of each step, after hiding).
    virtual void Redraw() = 0;
    // The work is about to wait without letting events through (for a slow device):
    // what was set and not yet shown goes on the screen now.
    virtual void ShowPendingText() {}
};

// The small window shown while a report file is read.
class ILoadProgress {
public:
    virtual ~ILoadProgress() = default;
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetStepText(const std::string& text) = 0;
    virtual void SetPathText(const std::string& text) = 0;
    virtual void SetProgress(int nPos, int nTotal) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void Redraw() = 0;
    // As IStepProgress::ShowPendingText: a read is about to wait.
    virtual void ShowPendingText() {}
};

// Displays that show nothing (tests, quiet CLI runs).
class NullStepProgress final : public IStepProgress {
public:
    void SetCaption(const std::string&) override {}
    void SetStep1Text(const std::string&) override {}
    void SetStatus(const std::string&) override {}
    void SetStep(int) override {}
    void SetProgress(int, int) override {}
    void Show() override {}
    void Hide() override {}
    void Redraw() override {}
};

class NullLoadProgress final : public ILoadProgress {
public:
    void SetCaption(const std::string&) override {}
    void SetStepText(const std::string&) override {}
    void SetPathText(const std::string&) override {}
    void SetProgress(int, int) override {}
    void Show() override {}
    void Hide() override {}
    void Redraw() override {}
};

} // namespace tvl
