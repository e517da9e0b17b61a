#include "TemporaryHome.h"

#include <QDir>

namespace orvanta::test {

TemporaryHome::TemporaryHome() {
    const std::pair<const char*, const char*> variables[] = {
        {"XDG_CACHE_HOME", "cache"},
        {"XDG_DATA_HOME", "data"},
        {"XDG_CONFIG_HOME", "config"},
    };
    for (const auto& [variable, folder] : variables) {
        saved_[variable] = {qEnvironmentVariableIsSet(variable), qgetenv(variable)};
        const QString path = dir_.filePath(QString::fromLatin1(folder));
        QDir().mkpath(path);
        qputenv(variable, path.toUtf8());
    }
}

TemporaryHome::~TemporaryHome() {
    for (const auto& [variable, value] : saved_) {
        if (value.first) {
            qputenv(variable.constData(), value.second);
        } else {
            qunsetenv(variable.constData());
        }
    }
}

}  // namespace orvanta::test
