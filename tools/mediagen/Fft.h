// Veltrix media generator: an in-place radix-2 inverse FFT for the music's spectral synthesis.
// Only the inverse direction is needed: spectra are built by hand and turned into periodic signals.
#pragma once

#include <vector>

struct SComplex
{
    float re, im;
};

class CInverseFft
{
public:
    explicit CInverseFft(int log2Size); // size = 2^log2Size

    int Size() const { return m_nSize; }

    // x[n] = sum over k of X[k] * exp(+2 pi i k n / size), unscaled; data must hold Size() values.
    void Transform(std::vector<SComplex>& data) const;

private:
    int m_nSize;
    std::vector<SComplex> m_Twiddles; // exp(+2 pi i k / size) for k < size / 2
};
