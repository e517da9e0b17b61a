#include "engine/FrontendSpectrumMapping.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <vector>

using namespace orvanta;

namespace {

constexpr int binCount = 1024;
constexpr float quiet = -120.0f;

std::vector<float> spectrum(float level, int count = binCount) {
    return std::vector<float>(std::size_t(count), level);
}

QList<int> litBars(const SpectrumLevels& levels) {
    QList<int> lit;
    for (int bar = 0; bar < spectrumBarCount; ++bar) {
        if (levels[std::size_t(bar)] > 0)
            lit.append(bar);
    }
    return lit;
}

QList<int> range(int first, int last) {
    QList<int> values;
    for (int value = first; value <= last; ++value)
        values.append(value);
    return values;
}

bool allZero(const SpectrumLevels& levels) {
    return litBars(levels).isEmpty();
}

}  // namespace

class SpectrumMappingTest : public QObject {
    Q_OBJECT

private slots:
    void binsOfBand_data() {
        QTest::addColumn<int>("band");
        QTest::addColumn<double>("sampleRate");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        // 21.5 Hz per bin: the lowest bands read the same two bins.
        QTest::newRow("lowest band") << 0 << 44100.0 << 2 << 3;
        QTest::newRow("second band shares its bins") << 1 << 44100.0 << 2 << 3;
        QTest::newRow("bands around 1 kHz share bin 46 (a)") << 37 << 44100.0 << 42 << 47;
        QTest::newRow("bands around 1 kHz share bin 46 (b)") << 38 << 44100.0 << 46 << 51;
        QTest::newRow("top band ends at 16 kHz") << 71 << 44100.0 << 684 << 744;
        QTest::newRow("bin 0 is never read") << 0 << 48000.0 << 1 << 3;
        // Above the Nyquist frequency every band reads the last bin.
        QTest::newRow("band beyond half the sample rate") << 71 << 8000.0 << 1023 << 1023;
    }

    void binsOfBand() {
        QFETCH(int, band);
        QFETCH(double, sampleRate);
        QFETCH(int, first);
        QFETCH(int, last);
        QCOMPARE(FrontendSpectrumMapping::binsOfBand(band, binCount, sampleRate),
                 (FrontendSpectrumMapping::BinRange{first, last}));
    }

    void oneLoudBinLightsTheBandsThatReadIt_data() {
        QTest::addColumn<double>("sampleRate");
        QTest::addColumn<int>("bin");
        QTest::addColumn<QList<int>>("bars");
        QTest::newRow("lowest bins") << 44100.0 << 2 << range(0, 4);
        QTest::newRow("1 kHz") << 44100.0 << 46 << QList<int>{37, 38};
        QTest::newRow("16 kHz") << 44100.0 << 744 << QList<int>{71};
        QTest::newRow("above 16 kHz") << 44100.0 << 745 << QList<int>{};
        QTest::newRow("below 45 Hz") << 44100.0 << 1 << QList<int>{};
        QTest::newRow("DC") << 44100.0 << 0 << QList<int>{};
        QTest::newRow("Nyquist bin at 8 kHz") << 8000.0 << 1023 << range(54, 71);
    }

    void oneLoudBinLightsTheBandsThatReadIt() {
        QFETCH(double, sampleRate);
        QFETCH(int, bin);
        QFETCH(QList<int>, bars);
        auto decibels = spectrum(quiet);
        decibels[std::size_t(bin)] = 0.0f;
        QCOMPARE(litBars(FrontendSpectrumMapping::bandLevels(decibels, sampleRate)), bars);
    }

    void silenceGate_data() {
        QTest::addColumn<float>("background");
        QTest::addColumn<float>("loudest");
        QTest::addColumn<bool>("shown");
        QTest::newRow("digital silence") << quiet << quiet << false;
        QTest::newRow("quiet noise") << -80.0f << -80.0f << false;
        QTest::newRow("one bin just below the peak gate") << quiet << -64.0f << false;
        QTest::newRow("one bin above the peak gate") << quiet << -62.0f << true;
        QTest::newRow("even noise above the mean gate") << -70.0f << -70.0f << true;
    }

    void silenceGate() {
        QFETCH(float, background);
        QFETCH(float, loudest);
        QFETCH(bool, shown);
        auto decibels = spectrum(background);
        decibels[500] = loudest;
        QCOMPARE(!allZero(FrontendSpectrumMapping::bandLevels(decibels, 44100)), shown);
    }

    void flatSpectrumIsTiltedTowardsTheTreble() {
        // At -70 dB in every bin a band's value is -70; only the tilt differs.
        const auto levels = FrontendSpectrumMapping::bandLevels(spectrum(-70.0f), 44100);
        QVERIFY(std::abs(levels[0] - std::pow(2.0f / 49.0f, 1.48f)) < 1e-4f);
        QVERIFY(std::abs(levels[71] - std::pow(9.0f / 49.0f, 1.48f)) < 1e-4f);
        for (int bar = 1; bar < spectrumBarCount; ++bar)
            QVERIFY(levels[std::size_t(bar)] > levels[std::size_t(bar - 1)]);
    }

    void loudBandsSaturateAtOne() {
        const auto levels = FrontendSpectrumMapping::bandLevels(spectrum(0.0f), 44100);
        for (float level : levels)
            QCOMPARE(level, 1.0f);
    }

    void unusableInputGivesZeros_data() {
        constexpr float nan = std::numeric_limits<float>::quiet_NaN();
        constexpr float inf = std::numeric_limits<float>::infinity();
        QTest::addColumn<std::vector<float>>("decibels");
        QTest::addColumn<double>("sampleRate");
        QTest::newRow("no bins") << std::vector<float>{} << 44100.0;
        QTest::newRow("only DC") << std::vector<float>{0.0f} << 44100.0;
        QTest::newRow("zero sample rate") << spectrum(0.0f) << 0.0;
        QTest::newRow("negative sample rate") << spectrum(0.0f) << -44100.0;
        QTest::newRow("NaN sample rate") << spectrum(0.0f) << double(nan);
        QTest::newRow("no finite bin") << spectrum(nan) << 44100.0;
        QTest::newRow("infinite bins") << spectrum(inf) << 44100.0;
    }

    void unusableInputGivesZeros() {
        QFETCH(std::vector<float>, decibels);
        QFETCH(double, sampleRate);
        QVERIFY(allZero(FrontendSpectrumMapping::bandLevels(decibels, sampleRate)));
    }

    void brokenBinsAreSkipped() {
        auto decibels = spectrum(quiet);
        decibels[46] = -40.0f;
        auto broken = decibels;
        broken[45] = std::numeric_limits<float>::quiet_NaN();
        broken[500] = -std::numeric_limits<float>::infinity();
        // Band 37 reads bins 42…47: its energy is averaged over the five finite ones.
        const auto clean = FrontendSpectrumMapping::bandLevels(decibels, 44100);
        const auto skipped = FrontendSpectrumMapping::bandLevels(broken, 44100);
        QVERIFY(skipped[37] > clean[37]);
        QCOMPARE(skipped[38], clean[38]);
        QCOMPARE(litBars(skipped), (QList<int>{37, 38}));
    }

    void tinySpectrumUsesItsOnlyBin() {
        // Two bins: every band reads bin 1.
        const auto levels =
            FrontendSpectrumMapping::bandLevels(std::vector<float>{quiet, 0.0f}, 44100);
        QCOMPARE(litBars(levels), range(0, 71));
    }
};

QTEST_GUILESS_MAIN(SpectrumMappingTest)
#include "test_spectrum_mapping.moc"
