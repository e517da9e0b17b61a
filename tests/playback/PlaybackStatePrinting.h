#pragma once

// Readable QCOMPARE output for the playback state record, so that a failing
// comparison shows every field of both sides.

#include "playback/PlaybackState.h"

#include <QStringList>
#include <QTest>

#include <functional>
#include <optional>

namespace orvanta {

inline char* toString(PlaybackPhase phase) {
    return qstrdup(rawValue(phase).toUtf8().constData());
}

namespace printing {
inline QString describe(const std::optional<double>& instant) {
    return instant ? QString::number(*instant, 'g', 10) : QStringLiteral("none");
}
inline QString describe(const std::optional<std::int64_t>& number) {
    return number ? QString::number(*number) : QStringLiteral("none");
}
inline QString describe(const std::optional<PauseReason>& reason) {
    if (!reason) {
        return QStringLiteral("none");
    }
    return name(*reason);
}
}  // namespace printing

inline char* toString(const PlaybackState& state) {
    using printing::describe;
    const QStringList fields{
        "phase=" + rawValue(state.phase),
        "wantsPlayback=" + QString(state.wantsPlayback ? "true" : "false"),
        "generation=" + QString::number(state.generation),
        "retryAttempt=" + QString::number(state.retryAttempt),
        "retryAt=" + describe(state.retryAt),
        "recoveryStartedAt=" + describe(state.recoveryStartedAt),
        "attemptStartedAt=" + describe(state.attemptStartedAt),
        "stableSince=" + describe(state.stableSince),
        "pauseReason=" + describe(state.pauseReason),
        "lastError=" + state.lastError.value_or(QStringLiteral("none")),
        "interruptedGeneration=" + describe(state.interruptedGeneration),
    };
    return qstrdup(fields.join(QStringLiteral(", ")).toUtf8().constData());
}

}  // namespace orvanta

// Table columns.
using PlaybackStep = std::function<void(orvanta::PlaybackState&)>;
Q_DECLARE_METATYPE(PlaybackStep)
Q_DECLARE_METATYPE(std::optional<double>)
Q_DECLARE_METATYPE(orvanta::PlaybackPhase)
Q_DECLARE_METATYPE(orvanta::PlaybackState)
