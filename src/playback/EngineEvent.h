#pragma once

#include "nowplaying/RadioTrack.h"

#include <QString>

#include <optional>

namespace orvanta {

// A failure of the engine's current attempt, as the listener is told it.
struct EngineFailure {
    bool permanent = false;            // retrying the same address is pointless
    QString message;                   // Ukrainian, shown as is
    std::optional<double> retryAfter;  // seconds the server asked to wait

    friend bool operator==(const EngineFailure&, const EngineFailure&) = default;
};

// In-band title fields of a stream.
struct StreamSongFields {
    std::optional<QString> streamTitle;  // ICY StreamTitle, usually "Artist - Title"
    std::optional<QString> title;
    std::optional<QString> artist;

    friend bool operator==(const StreamSongFields&, const StreamSongFields&) = default;

    // The track these fields describe, if any.
    std::optional<RadioTrack> track() const;
};

// What the engine reports about its current attempt.
struct EngineEvent {
    enum class Kind { failed, metadata, playing, buffering };

    Kind kind = Kind::playing;
    EngineFailure failure;    // with `failed`
    StreamSongFields fields;  // with `metadata`

    static EngineEvent playing() { return {Kind::playing, {}, {}}; }
    static EngineEvent buffering() { return {Kind::buffering, {}, {}}; }
    static EngineEvent failed(EngineFailure failure) {
        return {Kind::failed, std::move(failure), {}};
    }
    static EngineEvent metadata(StreamSongFields fields) {
        return {Kind::metadata, {}, std::move(fields)};
    }

    friend bool operator==(const EngineEvent&, const EngineEvent&) = default;
};

}  // namespace orvanta
