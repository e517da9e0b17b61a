#pragma once

#include <QLoggingCategory>

// The program's log categories, all under "com.orvanta.radio".
Q_DECLARE_LOGGING_CATEGORY(lcPlayback)
Q_DECLARE_LOGGING_CATEGORY(lcCloudStations)
Q_DECLARE_LOGGING_CATEGORY(lcNetwork)
