#include "ManualClock.h"
#include "SpectrumBufferAccess.h"
#include "engine/AudioSpectrumBuffer.h"
#include "engine/FrontendSpectrumMotion.h"

#include <QTest>

#include <limits>

using namespace orvanta;
using orvanta::test::ManualClock;

namespace {

constexpr float floorHeight = 5.0f;
constexpr double frame = 1.0 / 60.0;
using Frame = std::optional<SpectrumLevels>;

float levelForHeight(float height) {
    return (height - floorHeight) / 91.0f;
}

SpectrumLevels filled(float level) {
    SpectrumLevels levels;
    levels.fill(level);
    return levels;
}

}  // namespace

class SpectrumMotionTest : public QObject {
    Q_OBJECT

private slots:
    void step_data() {
        QTest::addColumn<float>("height");
        QTest::addColumn<float>("level");
        QTest::addColumn<float>("next");
        QTest::newRow("floor to top rises 92% at once") << 5.0f << 1.0f << 5.0f + 0.92f * 91.0f;
        QTest::newRow("target 3.5 above rises") << 48.5f << levelForHeight(52.0f) << 51.72f;
        QTest::newRow("target 2 above sinks") << 50.0f << levelForHeight(52.0f) << 49.35f;
        QTest::newRow("far above target falls by 32% of the gap")
            << 90.0f << levelForHeight(50.0f) << 77.2f;
        QTest::newRow("near target falls at least 0.65")
            << 52.0f << levelForHeight(50.0f) << 51.35f;
        QTest::newRow("a small fall stops at the target")
            << 50.3f << levelForHeight(50.0f) << 50.0f;
        QTest::newRow("silence drops 68% towards the floor") << 96.0f << 0.0f << 34.12f;
        QTest::newRow("a level of 0.012 counts as silence") << 96.0f << 0.012f << 34.12f;
        QTest::newRow("just above silence falls slowly")
            << 96.0f << 0.013f << 96.0f - 0.32f * (91.0f - 0.013f * 91.0f);
        QTest::newRow("never below the floor") << 5.0f << 0.02f << 5.0f;
        QTest::newRow("never above the top") << 90.0f << 3.0f << 96.0f;
        QTest::newRow("negative level is silence")
            << 50.0f << -1.0f << 50.0f + 0.68f * (5.0f - 50.0f);
        QTest::newRow("NaN level is silence")
            << 50.0f << std::numeric_limits<float>::quiet_NaN() << 50.0f + 0.68f * (5.0f - 50.0f);
    }

    void step() {
        QFETCH(float, height);
        QFETCH(float, level);
        QFETCH(float, next);
        FrontendSpectrumMotion motion;
        motion.heights.fill(height);
        const auto shown = motion.step(filled(level));
        for (int bar = 0; bar < spectrumBarCount; ++bar) {
            QVERIFY2(std::abs(motion.heights[std::size_t(bar)] - next) < 1e-3f,
                     qPrintable(QString::number(motion.heights[std::size_t(bar)])));
            QVERIFY(std::abs(shown[std::size_t(bar)] - levelForHeight(next)) < 1e-5f);
        }
    }

    void slightlyHigherTargetSinksUntilTheGapAllowsARise() {
        FrontendSpectrumMotion motion;
        motion.heights.fill(50.0f);
        const SpectrumLevels target = filled(levelForHeight(52.0f));
        motion.step(target);
        motion.step(target);
        motion.step(target);
        QVERIFY(std::abs(motion.heights[0] - 48.05f) < 1e-3f);  // gap 3.95
        motion.step(target);
        QVERIFY(std::abs(motion.heights[0] - (48.05f + 0.92f * 3.95f)) < 1e-3f);
    }

    void barsBeyondShortLevelsAreSilent() {
        FrontendSpectrumMotion motion;
        motion.heights.fill(50.0f);
        const float levels[] = {1.0f, 1.0f};
        motion.step(levels);
        QVERIFY(motion.heights[1] > 50.0f);
        QVERIFY(std::abs(motion.heights[2] - (50.0f + 0.68f * (5.0f - 50.0f))) < 1e-3f);
    }

    void freshLevelsMoveOneStepPerSixtiethOfASecond() {
        ManualClock clock;
        AudioSpectrumBuffer buffer(clock);
        QVERIFY(!buffer.displayFrame(clock.now()));  // nothing published yet

        buffer.publish(filled(1.0f));
        FrontendSpectrumMotion expected;
        QCOMPARE(buffer.displayFrame(clock.now()), Frame(expected.step(filled(1.0f))));
        QCOMPARE(buffer.displayFrame(clock.now() + frame), Frame(expected.step(filled(1.0f))));
        // 1.4 frames round to one step, 1.6 to two.
        QCOMPARE(buffer.displayFrame(clock.now() + 2.4 * frame),
                 Frame(expected.step(filled(1.0f))));
        expected.step(filled(1.0f));
        QCOMPARE(buffer.displayFrame(clock.now() + 4.0 * frame),
                 Frame(expected.step(filled(1.0f))));
    }

    void lateFrameCatchesUpAtMostTwelveSteps() {
        ManualClock clock;
        AudioSpectrumBuffer buffer(clock);
        buffer.publish(filled(0.0f));
        QVERIFY(buffer.displayFrame(clock.now()));
        clock.advance(1.0);
        const SpectrumLevels levels = filled(0.7f);
        buffer.publish(levels);

        FrontendSpectrumMotion expected;
        SpectrumLevels shown{};
        for (int i = 0; i < 12; ++i)
            shown = expected.step(levels);
        QCOMPARE(buffer.displayFrame(clock.now()), Frame(shown));
    }

    void stalePublishingEmptiesTheFrameAndRestartsFromTheFloor() {
        ManualClock clock;
        AudioSpectrumBuffer buffer(clock);
        buffer.publish(filled(1.0f));
        const auto first = buffer.displayFrame(clock.now());
        QVERIFY(first);
        QVERIFY(buffer.displayFrame(clock.now() + 0.39));
        QVERIFY(!buffer.displayFrame(clock.now() + 0.41));

        clock.advance(5.0);
        buffer.publish(filled(1.0f));
        QCOMPARE(buffer.displayFrame(clock.now()), first);
    }

    void switchingAnalysisOffResetsAndDropsPublishes() {
        ManualClock clock;
        AudioSpectrumBuffer buffer(clock);
        QVERIFY(buffer.isAnalysisActive());
        buffer.publish(filled(1.0f));
        const auto first = buffer.displayFrame(clock.now());

        buffer.setAnalysisActive(false);
        QVERIFY(!buffer.isAnalysisActive());
        QVERIFY(!buffer.displayFrame(clock.now()));
        buffer.publish(filled(1.0f));
        QVERIFY(!buffer.displayFrame(clock.now()));

        buffer.setAnalysisActive(true);
        QVERIFY(buffer.isAnalysisActive());
        buffer.publish(filled(1.0f));
        QCOMPARE(buffer.displayFrame(clock.now()), first);
    }

    void resetMotionKeepsLevelsButWaitsForTheNextPublish() {
        ManualClock clock;
        AudioSpectrumBuffer buffer(clock);
        buffer.publish(filled(1.0f));
        const auto first = buffer.displayFrame(clock.now());
        buffer.displayFrame(clock.now() + frame);

        buffer.resetMotion();
        QVERIFY(buffer.isAnalysisActive());
        QVERIFY(!buffer.displayFrame(clock.now() + 2 * frame));
        buffer.publish(filled(1.0f));
        QCOMPARE(buffer.displayFrame(clock.now()), first);
    }

    void audioSideNeverWaitsForAHeldLock() {
        ManualClock clock;
        AudioSpectrumBuffer buffer(clock);
        bool active = true;
        QVERIFY(test::returnsWhileLockIsHeld(buffer, [&] { active = buffer.isAnalysisActive(); }));
        QVERIFY(!active);  // busy reads as inactive
        QVERIFY(test::returnsWhileLockIsHeld(buffer, [&] { buffer.publish(filled(1.0f)); }));
        QVERIFY(!buffer.displayFrame(clock.now()));  // the contended publish was lost
        buffer.publish(filled(1.0f));
        QVERIFY(buffer.displayFrame(clock.now()));
    }

    void unusableTimesShowNothing() {
        ManualClock clock;
        AudioSpectrumBuffer buffer(clock);
        buffer.publish(filled(1.0f));
        QVERIFY(!buffer.displayFrame(std::numeric_limits<double>::quiet_NaN()));
        QVERIFY(!buffer.displayFrame(-std::numeric_limits<double>::infinity()));
        QVERIFY(buffer.displayFrame(clock.now()));
    }
};

QTEST_GUILESS_MAIN(SpectrumMotionTest)
#include "test_spectrum_motion.moc"
