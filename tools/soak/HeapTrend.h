// The soak's test for a growing heap: the least heap in use in each of
// HeapWindows equal runs of samples, grown only when every window's least is
// above the one before and the last is more than HeapSlack above the first. A
// leak raises every window; a one-off step (a cache or a slab the driver
// grows once and keeps) raises one.
#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdio>

constexpr long HeapSlack = 64 * 1024; // bytes, from the first window to the last
constexpr int HeapWindows = 5;

class CHeapTrend
{
public:
    explicit CHeapTrend(long samples)
        : m_nPerWindow(std::max(1L, samples / HeapWindows))
    {
        m_Least.fill(LONG_MAX);
    }

    void Add(long sample, long heap)
    {
        long& least = m_Least[static_cast<size_t>(std::min<long>(sample / m_nPerWindow, HeapWindows - 1))];
        least = std::min(least, heap);
    }

    long First() const { return m_Least[0]; }
    long Last() const { return m_Least[static_cast<size_t>(Filled() - 1)]; }

    bool Grew() const
    {
        for (int w = 1; w < Filled(); ++w)
            if (m_Least[static_cast<size_t>(w)] <= m_Least[static_cast<size_t>(w - 1)])
                return false;
        return Last() > First() + HeapSlack;
    }

    void Print() const
    {
        std::printf("  * the least of each of %d windows of %ld samples:", Filled(), m_nPerWindow);
        for (int w = 0; w < Filled(); ++w)
            std::printf(" %ld", m_Least[static_cast<size_t>(w)]);
        std::printf("\n");
    }

private:
    // Fewer samples than windows leave the last windows empty.
    int Filled() const
    {
        int n = 1;
        while (n < HeapWindows && m_Least[static_cast<size_t>(n)] != LONG_MAX)
            ++n;
        return n;
    }

    long m_nPerWindow;
    std::array<long, HeapWindows> m_Least;
};
