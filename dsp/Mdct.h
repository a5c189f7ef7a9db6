// The modified discrete cosine transform of the lossy codecs (MP3's second
// stage, AAC, Vorbis): 2N windowed samples in, N coefficients out, scaled so
// that with a Princen-Bradley window the transform is orthonormal (white
// noise of variance s^2 gives coefficients of variance s^2).
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

class TMdct {
public:
    explicit TMdct(std::size_t coefficients);   // N: an even number from 2 up
    ~TMdct();
    TMdct(const TMdct&) = delete;
    TMdct& operator=(const TMdct&) = delete;

    std::size_t Coefficients() const { return N; }
    // The N coefficients of samples[0 .. 2N) times window[0 .. 2N); the result
    // stays valid until the next call.
    const float* Run(const float* samples, const float* window);

private:
    struct TPlan;
    std::size_t N;
    std::unique_ptr<TPlan> Plan;
};

// Windows of 2N points, each meeting the Princen-Bradley condition.
// The sine window (MP3 long blocks, AAC's alternative window).
std::vector<float> SineWindow(std::size_t coefficients);
// The Kaiser-Bessel-derived window (AAC's usual long-block window, alpha 4).
std::vector<float> KaiserBesselDerivedWindow(std::size_t coefficients, double alpha);
// Vorbis's power-sine window, sin(pi/2 sin^2(pi (n + 1/2) / 2N)).
std::vector<float> VorbisWindow(std::size_t coefficients);
