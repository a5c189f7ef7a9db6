// A real-input FFT of one fixed size (FFTW, single precision), giving the
// power of every bin from 0 to the Nyquist frequency.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

class TPowerFft {
public:
    explicit TPowerFft(std::size_t size);   // size: a power of two from 16 up
    ~TPowerFft();
    TPowerFft(const TPowerFft&) = delete;
    TPowerFft& operator=(const TPowerFft&) = delete;

    std::size_t Size() const { return N; }
    std::size_t Bins() const { return N / 2 + 1; }
    // The input buffer of Size() samples, to be filled before Run.
    float* Input();
    // |X[k]|^2 for k = 0 .. Bins()-1, added to power (which holds Bins() values).
    void AddPower(double* power);

private:
    struct TPlan;
    std::size_t N;
    std::unique_ptr<TPlan> Plan;
};

// The periodic Hann window of size points.
std::vector<float> HannWindow(std::size_t size);
