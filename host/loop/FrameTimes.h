// CFrameTimes: the render times of a recording's frames, for its summary, in
// memory that does not grow with the number of frames: a histogram of
// 0.1 ms steps up to 10 s (at most 400 KB), plus the exact maximum. Times are
// kept to the 0.1 ms the summary prints; longer ones count in the top step.
#pragma once

#include <cstdint>
#include <vector>

class CFrameTimes
{
public:
    void push_back(double ms); // one frame's time, milliseconds
    bool empty() const { return m_nCount == 0; }
    uint64_t size() const { return m_nCount; }
    // Nearest rank: the smallest time with at least this fraction of frames
    // at or below it; 0 when empty.
    double Percentile(double fraction) const;
    double Max() const { return m_dMax; } // 0 when empty

private:
    std::vector<uint32_t> m_Bins; // frames per 0.1 ms step, grown as needed
    uint64_t m_nCount = 0;
    double m_dMax = 0.0;
};
