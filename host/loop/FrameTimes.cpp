#include "host/loop/FrameTimes.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double StepMs = 0.1;
constexpr size_t TopBin = 100000; // 10 s

} // namespace

void CFrameTimes::push_back(double ms)
{
    const double steps = std::round(std::max(ms, 0.0) / StepMs);
    const size_t bin = steps < static_cast<double>(TopBin) ? static_cast<size_t>(steps) : TopBin;
    if (bin >= m_Bins.size())
        m_Bins.resize(bin + 1, 0);
    ++m_Bins[bin];
    m_dMax = m_nCount == 0 ? ms : std::max(m_dMax, ms);
    ++m_nCount;
}

double CFrameTimes::Percentile(double fraction) const
{
    if (m_nCount == 0)
        return 0.0;
    const double wanted = std::ceil(fraction * static_cast<double>(m_nCount));
    const uint64_t rank = std::clamp<uint64_t>(static_cast<uint64_t>(std::max(wanted, 1.0)), 1, m_nCount);
    uint64_t seen = 0;
    for (size_t bin = 0; bin < m_Bins.size(); ++bin) {
        seen += m_Bins[bin];
        if (seen >= rank)
            return bin == TopBin ? m_dMax : static_cast<double>(bin) * StepMs;
    }
    return m_dMax;
}
