#pragma once

#include "platform/Outcome.h"
#include "platform/Task.h"

namespace orvanta {

// The cloud station library as the coordinator sees it: something that can be
// asked to bring the personal stations in step with the listener's other
// computers. It reads the coordinator's personal stations and hands merged
// lists back through applyLibraryStations.
class StationLibrarySync {
public:
    virtual ~StationLibrarySync() = default;

    // Requests a synchronisation and returns the task performing it. A request
    // while one runs is served by the running task, which then makes another
    // pass. Problems are the library's own business: the task completes with
    // Done once the library is idle again.
    virtual Task<Outcome<Done>> sync() = 0;
};

}  // namespace orvanta
