#include "TerminalProgress.h"

namespace tvl {

void TerminalStepProgress::SetStep(int nStep)
{
    m_step = (nStep >= 1 && nStep <= 5) ? nStep : 0;
    m_percent.clear();
    if (m_step == 1)
        m_statusCount = 0;
}

void TerminalStepProgress::SetProgress(int nPos, int nTotal)
{
    PercentDisplay d = ComputePercent(nPos, nTotal);
    if (!d.text.empty() && d.text.back() == '\n')
        d.text.pop_back();
    m_percent = d.text;
    MaybeDraw(false);
}

void TerminalStepProgress::Hide()
{
    if (m_drawn)
        std::fprintf(m_out, "\r\x1b[K");
    std::fflush(m_out);
    m_shown = false;
    m_drawn = false;
}

void TerminalStepProgress::MaybeDraw(bool force)
{
    if (!m_shown)
        return;
    const std::uint32_t now = m_clock.NowMs();
    if (!force && m_drawn && static_cast<std::uint32_t>(now - m_lastDraw) < 100)
        return;
    m_lastDraw = now;
    m_drawn = true;
    std::string line = m_caption;
    if (m_step) {
        line += "  " + m_steps[m_step - 1];
        if (m_step == 1)
            line += "  (" + std::to_string(m_statusCount) + " folders)";
        else if (!m_percent.empty())
            line += "  " + m_percent;
    }
    std::fprintf(m_out, "\r\x1b[K%s", line.c_str());
    std::fflush(m_out);
}

} // namespace tvl
