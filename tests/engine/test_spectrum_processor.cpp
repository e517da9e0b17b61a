#include "ManualClock.h"
#include "SpectrumBufferAccess.h"
#include "engine/SpectrumProcessor.h"

#include <QTest>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <numbers>
#include <vector>

using namespace orvanta;
using orvanta::test::ManualClock;
using orvanta::test::SpectrumBufferAccess;

Q_DECLARE_METATYPE(PcmFormat)

// Counts heap allocations made on this thread while `countingAllocations` is
// set, to show that feeding audio allocates nothing.
namespace {
thread_local bool countingAllocations = false;
thread_local int allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
    if (countingAllocations)
        ++allocations;
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace {

constexpr int window = SpectrumProcessor::windowSize;
constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();

using Bars = QList<QPair<int, float>>;

PcmFormat mono(double sampleRate = 44100) {
    return {sampleRate, 1, PcmFormat::Layout::Interleaved};
}

std::vector<float> sine(double frequency, double amplitude, int frames, double sampleRate = 44100) {
    std::vector<float> samples(std::size_t(frames), 0.0f);
    for (int i = 0; i < frames; ++i)
        samples[std::size_t(i)] =
            float(amplitude * std::sin(2.0 * std::numbers::pi * frequency * i / sampleRate));
    return samples;
}

std::vector<float> interleave(const std::vector<float>& left, const std::vector<float>& right) {
    std::vector<float> both;
    for (std::size_t i = 0; i < left.size(); ++i) {
        both.push_back(left[i]);
        both.push_back(right[i]);
    }
    return both;
}

int loudestBin(std::span<const float> decibels) {
    return int(std::max_element(decibels.begin() + 1, decibels.end()) - decibels.begin());
}

struct Fixture {
    ManualClock clock;
    std::shared_ptr<AudioSpectrumBuffer> buffer = std::make_shared<AudioSpectrumBuffer>(clock);
    SpectrumProcessor processor{buffer};

    explicit Fixture(PcmFormat format = mono()) { processor.configure(format); }

    void feed(const std::vector<float>& samples, int from = 0, int frames = -1) {
        if (frames < 0)
            frames = int(samples.size()) / processor.format().channelCount - from;
        processor.process(samples.data() + from * processor.format().channelCount, frames);
    }
    void feedSilence(int frames) { feed(std::vector<float>(std::size_t(frames), 0.0f)); }
    bool published() { return SpectrumBufferAccess::wasPublished(*buffer); }
    // Forgets the last publish so the next one can be seen.
    void forgetPublish() { buffer->resetMotion(); }
    SpectrumLevels levels() { return SpectrumBufferAccess::levels(*buffer); }
    std::vector<float> decibels() const {
        return {processor.decibels().begin(), processor.decibels().end()};
    }
};

}  // namespace

class SpectrumProcessorTest : public QObject {
    Q_OBJECT

private slots:
    void sineLandsInItsBarAtItsLevel_data() {
        QTest::addColumn<double>("frequency");
        QTest::addColumn<double>("amplitude");
        QTest::addColumn<double>("sampleRate");
        QTest::addColumn<int>("peakBin");
        QTest::addColumn<float>("peakDecibels");
        QTest::addColumn<Bars>("bars");  // every bar above zero
        // Between bins 46 and 47, so the Hann window's scalloping shows; the
        // bin is read by both bars 37 and 38.
        QTest::newRow("full-scale 1 kHz") << 1000.0 << 1.0 << 44100.0 << 46 << -7.1216f
                                          << Bars{{35, 0.0616f}, {36, 0.3383f}, {37, 1.0f},
                                                  {38, 1.0f},    {39, 0.3155f}, {40, 0.0174f}};
        // Exactly on bin 291, well inside bar 60: a sine of amplitude A reads
        // 20·log10(A) - 6.02 dB there.
        QTest::newRow("-40 dB on a bin")
            << 291 * 44100.0 / window << 0.01 << 44100.0 << 291 << -46.0248f << Bars{{60, 0.3388f}};
        QTest::newRow("-20 dB at 48 kHz")
            << 1500.0 << 0.1 << 48000.0 << 64 << -26.0248f << Bars{{42, 0.8872f}, {43, 0.8752f}};
    }

    void sineLandsInItsBarAtItsLevel() {
        QFETCH(double, frequency);
        QFETCH(double, amplitude);
        QFETCH(double, sampleRate);
        QFETCH(int, peakBin);
        QFETCH(float, peakDecibels);
        QFETCH(Bars, bars);
        Fixture fixture(mono(sampleRate));
        fixture.feed(sine(frequency, amplitude, window, sampleRate));
        QVERIFY(fixture.published());

        const auto decibels = fixture.decibels();
        QCOMPARE(loudestBin(decibels), peakBin);
        QVERIFY2(std::abs(decibels[std::size_t(peakBin)] - peakDecibels) < 0.01f,
                 qPrintable(QString::number(decibels[std::size_t(peakBin)])));
        const auto levels = fixture.levels();
        Bars lit;
        for (int bar = 0; bar < spectrumBarCount; ++bar) {
            if (levels[std::size_t(bar)] > 0)
                lit.append({bar, levels[std::size_t(bar)]});
        }
        QCOMPARE(lit.size(), bars.size());
        for (qsizetype i = 0; i < bars.size(); ++i) {
            QCOMPARE(lit[i].first, bars[i].first);
            QVERIFY2(std::abs(lit[i].second - bars[i].second) < 0.002f,
                     qPrintable(QString::number(lit[i].second)));
        }
    }

    void silenceSitsOnTheFloor() {
        Fixture fixture;
        fixture.feedSilence(window);
        QVERIFY(fixture.published());
        for (float level : fixture.decibels())
            QCOMPARE(level, SpectrumProcessor::decibelFloor);
        QCOMPARE(fixture.levels(), SpectrumLevels{});
    }

    void stereoIsMixedDownToTheMeanOfItsChannels() {
        const auto left = sine(1000, 0.5, window);
        const auto right = sine(3000, 0.25, window);

        Fixture interleaved({44100, 2, PcmFormat::Layout::Interleaved});
        interleaved.feed(interleave(left, right));

        Fixture planar({44100, 2, PcmFormat::Layout::Planar});
        const float* channels[] = {left.data(), right.data()};
        planar.processor.process(channels, window);

        std::vector<float> mean(left.size());
        for (std::size_t i = 0; i < mean.size(); ++i)
            mean[i] = (left[i] + right[i]) / 2;
        Fixture mixed;
        mixed.feed(mean);

        QVERIFY(planar.published());
        QCOMPARE(interleaved.decibels(), mixed.decibels());
        QCOMPARE(planar.decibels(), mixed.decibels());
    }

    void oppositeChannelsCancel() {
        const auto left = sine(1000, 1.0, window);
        const auto right = sine(1000, -1.0, window);
        Fixture fixture({44100, 2, PcmFormat::Layout::Interleaved});
        fixture.feed(interleave(left, right));
        QVERIFY(fixture.published());
        QCOMPARE(fixture.levels(), SpectrumLevels{});
    }

    void brokenSamplesCountAsSilenceInTheMean() {
        const auto left = sine(291 * 44100.0 / window, 1.0, window);
        Fixture broken({44100, 2, PcmFormat::Layout::Interleaved});
        broken.feed(interleave(left, std::vector<float>(left.size(), notANumber)));
        Fixture silent({44100, 2, PcmFormat::Layout::Interleaved});
        silent.feed(interleave(left, std::vector<float>(left.size(), 0.0f)));

        QCOMPARE(broken.decibels(), silent.decibels());
        // Half the amplitude: 6 dB below a full-scale sine's -6 dB.
        QVERIFY(std::abs(broken.decibels()[291] - (-12.04f)) < 0.01f);
    }

    void windowsAreWholeAndDoNotOverlap() {
        Fixture fixture;
        const auto samples = sine(1000, 1.0, 3 * window);
        fixture.feed(samples, 0, window - 1);
        QVERIFY(!fixture.published());
        fixture.feed(samples, window - 1, 1);
        QVERIFY(fixture.published());

        // One call finishing a window and filling all but one sample of the next.
        fixture.forgetPublish();
        fixture.feed(samples, window, window - 1);
        QVERIFY(!fixture.published());
        fixture.feed(samples, 2 * window - 1, window);
        QVERIFY(fixture.published());
        fixture.forgetPublish();
        fixture.feed(samples, 3 * window - 1, 1);
        QVERIFY(fixture.published());
    }

    void configureStartsAnEmptyWindow() {
        Fixture fixture;
        fixture.feedSilence(window - 48);
        fixture.processor.configure(mono(48000));
        fixture.feedSilence(48);
        QVERIFY(!fixture.published());
        fixture.feedSilence(window - 48);
        QVERIFY(fixture.published());
    }

    void pausedAnalysisDropsThePartialWindow() {
        Fixture fixture;
        fixture.feedSilence(1000);
        fixture.buffer->setAnalysisActive(false);
        fixture.feedSilence(window);
        QVERIFY(!fixture.published());

        fixture.buffer->setAnalysisActive(true);
        fixture.feedSilence(window - 1);
        QVERIFY(!fixture.published());
        fixture.feedSilence(1);
        QVERIFY(fixture.published());
    }

    void busyBufferMakesTheAudioSideSkipNotWait() {
        Fixture fixture;
        fixture.feedSilence(window - 48);
        QVERIFY(test::returnsWhileLockIsHeld(*fixture.buffer, [&] { fixture.feedSilence(48); }));
        // The window in progress was dropped rather than finished.
        QVERIFY(!fixture.published());
        fixture.feedSilence(48);
        QVERIFY(!fixture.published());
        fixture.feedSilence(window - 48);
        QVERIFY(fixture.published());
    }

    void inputThatDoesNotMatchTheFormatIsIgnored() {
        Fixture fixture({44100, 2, PcmFormat::Layout::Planar});
        const auto samples = sine(1000, 1.0, window);
        const float* one[] = {samples.data()};
        const float* withNull[] = {samples.data(), nullptr};
        const float* three[] = {samples.data(), samples.data(), samples.data()};
        fixture.processor.process(one, window);
        fixture.processor.process(withNull, window);
        fixture.processor.process(three, window);
        const float* both[] = {samples.data(), samples.data()};
        fixture.processor.process(both, -1);
        QVERIFY(!fixture.published());
        // None of it entered the window.
        fixture.processor.process(both, window);
        QVERIFY(fixture.published());
    }

    void unusableFormatAnalysesNothing_data() {
        QTest::addColumn<PcmFormat>("format");
        QTest::newRow("unconfigured") << PcmFormat{};
        QTest::newRow("zero sample rate") << PcmFormat{0, 1, PcmFormat::Layout::Interleaved};
        QTest::newRow("NaN sample rate")
            << PcmFormat{double(notANumber), 1, PcmFormat::Layout::Interleaved};
        QTest::newRow("no channels") << PcmFormat{44100, 0, PcmFormat::Layout::Interleaved};
        QTest::newRow("negative channels") << PcmFormat{44100, -2, PcmFormat::Layout::Planar};
    }

    void unusableFormatAnalysesNothing() {
        QFETCH(PcmFormat, format);
        Fixture fixture(format);
        const auto samples = sine(1000, 1.0, 2 * window);
        fixture.processor.process(samples.data(), window);
        QVERIFY(!fixture.published());
    }

    void feedingAllocatesNothing() {
        Fixture fixture({44100, 2, PcmFormat::Layout::Interleaved});
        const auto samples = interleave(sine(1000, 1.0, 3 * window), sine(50, 1.0, 3 * window));
        allocations = 0;
        countingAllocations = true;
        fixture.processor.process(samples.data(), 3 * window);
        countingAllocations = false;
        QVERIFY(fixture.published());
        QCOMPARE(allocations, 0);
    }
};

QTEST_GUILESS_MAIN(SpectrumProcessorTest)
#include "test_spectrum_processor.moc"
