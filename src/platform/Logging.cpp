#include "platform/Logging.h"

Q_LOGGING_CATEGORY(lcPlayback, "com.orvanta.radio.Playback", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCloudStations, "com.orvanta.radio.CloudStations", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNetwork, "com.orvanta.radio.Network", QtInfoMsg)
