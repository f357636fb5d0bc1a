// The scan's five steps on one updating line of a terminal (stderr), at most ten
// updates a second.
#pragma once

#include "Clock.h"
#include "Progress.h"
#include "Scan.h"

#include <cstdio>
#include <string>

namespace tvl {

class TerminalStepProgress final : public IStepProgress {
public:
    explicit TerminalStepProgress(std::FILE* out, IClock& clock = SystemClock()) : m_out(out), m_clock(clock) {}

    void SetCaption(const std::string& text) override { m_caption = text; }
    void SetStep1Text(const std::string& text) override { m_steps[0] = text; }
    void SetStatus(const std::string&) override { ++m_statusCount; MaybeDraw(false); }
    void SetStep(int nStep) override;
    void SetProgress(int nPos, int nTotal) override;
    void Show() override { m_shown = true; }
    void Hide() override;
    void Redraw() override { MaybeDraw(true); }

private:
    void MaybeDraw(bool force);

    std::FILE* m_out;
    IClock& m_clock;
    std::string m_caption;
    std::string m_steps[5] = {kStepTexts[0], kStepTexts[1], kStepTexts[2], kStepTexts[3], kStepTexts[4]};
    int m_step = 0;
    std::string m_percent;
    long long m_statusCount = 0; // folders seen in step 1
    bool m_shown = false;
    bool m_drawn = false;
    std::uint32_t m_lastDraw = 0;
};

} // namespace tvl
