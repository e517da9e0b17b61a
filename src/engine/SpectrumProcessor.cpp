#include "engine/SpectrumProcessor.h"

#include "engine/FrontendSpectrumMapping.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
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
    // Nyquist term is not part of the spectrum.
    for (std::size_t k = 0; k < decibels_.size(); ++k) {
        const float real = fft_->output[k][0];
        const float imaginary = k == 0 ? 0.0f : fft_->output[k][1];
        const float magnitude = 2.0f * std::sqrt(real * real + imaginary * imaginary);
        decibels_[k] = 20.0f * std::log10(std::max(1e-6f, magnitude / float(windowSize)));
    }
    output_->publish(FrontendSpectrumMapping::bandLevels(decibels_, format_.sampleRate));
}

}  // namespace orvanta
