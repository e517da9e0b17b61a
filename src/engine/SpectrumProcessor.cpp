#include "engine/SpectrumProcessor.h"

#include "engine/FrontendSpectrumMapping.h"

#include <fftw3.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <numbers>

namespace orvanta {

namespace {

// FFTW's planner keeps global state: creating and destroying plans must be
// serialised across the process. Executing a plan on its own arrays is safe
// from any thread without it.
std::mutex& fftwPlannerLock() {
    static std::mutex lock;
    return lock;
}

// log10 of a positive float, to within about 1e-7, without branches so that
// the loop over a window's bins vectorises. The mantissa is brought into
// [sqrt(1/2), sqrt(2)) and log(m) = 2 atanh((m - 1) / (m + 1)) summed to the
// ninth power.
inline float log10OfPower(float x) {
    // Integer tests only: floating-point comparisons could trap, which keeps
    // the compiler from turning them into vector selects.
    const auto bits = std::bit_cast<std::uint32_t>(x);
    const std::uint32_t fraction = bits & 0x007fffffu;
    const bool high = fraction > 0x003504f3u;  // the fraction of sqrt(2)
    const int exponent = int(bits >> 23) - (high ? 126 : 127);
    const float mantissa = std::bit_cast<float>(fraction | (high ? 0x3f000000u : 0x3f800000u));
    const float s = (mantissa - 1.0f) / (mantissa + 1.0f);
    const float s2 = s * s;
    const float series =
        s *
        (2.0f + s2 * (2.0f / 3.0f + s2 * (2.0f / 5.0f + s2 * (2.0f / 7.0f + s2 * (2.0f / 9.0f)))));
    const float result =
        (float(exponent) * std::numbers::ln2_v<float> + series) * std::numbers::log10e_v<float>;
    // Infinity passes through unchanged, chosen with a mask for the same reason.
    const std::uint32_t keep = 0u - std::uint32_t((bits & 0x7f800000u) != 0x7f800000u);
    return std::bit_cast<float>((std::bit_cast<std::uint32_t>(result) & keep) | (bits & ~keep));
}

}  // namespace

struct SpectrumProcessor::Fft {
    Fft() : input(fftwf_alloc_real(windowSize)), output(fftwf_alloc_complex(windowSize / 2 + 1)) {
        std::lock_guard guard(fftwPlannerLock());
        plan = fftwf_plan_dft_r2c_1d(windowSize, input, output, FFTW_ESTIMATE);
    }

    ~Fft() {
        {
            std::lock_guard guard(fftwPlannerLock());
            if (plan)
                fftwf_destroy_plan(plan);
        }
        fftwf_free(output);
        fftwf_free(input);
    }

    Fft(const Fft&) = delete;
    Fft& operator=(const Fft&) = delete;

    float* input;
    fftwf_complex* output;
    fftwf_plan plan = nullptr;
};

SpectrumProcessor::SpectrumProcessor(std::shared_ptr<AudioSpectrumBuffer> output)
    : output_(std::move(output)), fft_(std::make_unique<Fft>()) {
    // Symmetric Hann window: both ends are exactly zero.
    for (int i = 0; i < windowSize; ++i)
        window_[std::size_t(i)] =
            float(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (windowSize - 1)));
    decibels_.fill(decibelFloor);
}

SpectrumProcessor::~SpectrumProcessor() = default;

void SpectrumProcessor::configure(const PcmFormat& format) {
    format_ = format;
    bands_ = FrontendSpectrumMapping::Bands(binCount, format.sampleRate);
    position_ = 0;
}

void SpectrumProcessor::process(const float* samples, qsizetype frameCount) {
    process(std::span<const float* const>(&samples, 1), frameCount);
}

void SpectrumProcessor::process(std::span<const float* const> buffers, qsizetype frameCount) {
    // A partial window is thrown away whenever analysis pauses, so that a
    // resumed stream never mixes old and new audio in one window.
    if (!output_->isAnalysisActive()) {
        position_ = 0;
        return;
    }
    const int channels = format_.channelCount;
    if (!(format_.sampleRate > 0) || !std::isfinite(format_.sampleRate) || channels <= 0 ||
        frameCount <= 0 || buffers.size() != std::size_t(format_.bufferCount()) ||
        std::ranges::find(buffers, nullptr) != buffers.end())
        return;

    // A broken sample counts as silence but still in the average.
    auto finiteOrZero = [](float sample) { return std::isfinite(sample) ? sample : 0.0f; };
    const bool interleaved = format_.layout == PcmFormat::Layout::Interleaved;
    const float scale = 1.0f / float(channels);
    qsizetype frame = 0;
    while (frame < frameCount) {
        // Mix down as much as fits in the current window, channel by channel.
        const qsizetype run = std::min<qsizetype>(frameCount - frame, windowSize - position_);
        float* out = samples_.data() + position_;
        if (interleaved) {
            const float* in = buffers[0] + frame * channels;
            for (qsizetype i = 0; i < run; ++i) {
                float sum = 0;
                for (int channel = 0; channel < channels; ++channel) {
                    sum += finiteOrZero(in[i * channels + channel]);
                }
                out[i] = sum * scale;
            }
        } else {
            const float* first = buffers[0] + frame;
            for (qsizetype i = 0; i < run; ++i)
                out[i] = finiteOrZero(first[i]);
            for (int channel = 1; channel < channels; ++channel) {
                const float* in = buffers[std::size_t(channel)] + frame;
                for (qsizetype i = 0; i < run; ++i)
                    out[i] += finiteOrZero(in[i]);
            }
            for (qsizetype i = 0; i < run; ++i)
                out[i] *= scale;
        }
        position_ += int(run);
        frame += run;
        if (position_ == windowSize) {
            analyse();
            position_ = 0;
        }
    }
}

void SpectrumProcessor::analyse() {
    if (!fft_->plan)
        return;
    for (std::size_t i = 0; i < samples_.size(); ++i)
        fft_->input[i] = samples_[i] * window_[i];
    fftwf_execute_dft_r2c(fft_->plan, fft_->input, fft_->output);

    // FFTW returns the plain transform; the levels are calibrated to twice its
    // magnitude over the window length, which puts a full-scale sine at about
    // -6 dB and digital silence at the -120 dB floor. Bin 0 is DC only: the
    // Nyquist term is not part of the spectrum. Working with the power keeps
    // one logarithm per bin and gives the band mapping its energies directly.
    constexpr float powerScale = 4.0f / (float(windowSize) * float(windowSize));
    constexpr float powerFloor = 1e-12f;  // the -120 dB floor
    // Plain loops over unaliased arrays, so that both vectorise.
    const fftwf_complex* __restrict transform = fft_->output;
    float* __restrict powers = powers_.data();
    float* __restrict decibels = decibels_.data();
    powers[0] = std::max(powerFloor, powerScale * transform[0][0] * transform[0][0]);
    for (std::size_t k = 1; k < binCount; ++k) {
        const float real = transform[k][0];
        const float imaginary = transform[k][1];
        powers[k] = std::max(powerFloor, powerScale * (real * real + imaginary * imaginary));
    }
    for (std::size_t k = 0; k < binCount; ++k)
        decibels[k] = 10.0f * log10OfPower(powers[k]);
    output_->publish(FrontendSpectrumMapping::bandLevels(decibels_, powers_, bands_));
}

}  // namespace orvanta
