#include "tools/mediagen/Fft.h"

#include <cmath>
#include <utility>

CInverseFft::CInverseFft(int log2Size)
    : m_nSize(1 << log2Size)
    , m_Twiddles(size_t(m_nSize / 2))
{
    for (int k = 0; k < m_nSize / 2; ++k) {
        double a = 2.0 * 3.14159265358979323846 * double(k) / double(m_nSize);
        m_Twiddles[k] = {float(std::cos(a)), float(std::sin(a))};
    }
}

void CInverseFft::Transform(std::vector<SComplex>& data) const
{
    const int n = m_nSize;
    // Bit-reversed reordering.
    for (int i = 1, j = 0; i < n; ++i) {
        int bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(data[i], data[j]);
    }
    for (int len = 2; len <= n; len <<= 1) {
        const int half = len >> 1;
        const int step = n / len;
        for (int start = 0; start < n; start += len) {
            SComplex* a = &data[start];
            SComplex* b = a + half;
            for (int j = 0; j < half; ++j) {
                const SComplex w = m_Twiddles[size_t(j) * step];
                const float tr = b[j].re * w.re - b[j].im * w.im;
                const float ti = b[j].re * w.im + b[j].im * w.re;
                b[j] = {a[j].re - tr, a[j].im - ti};
                a[j] = {a[j].re + tr, a[j].im + ti};
            }
        }
    }
}
