#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <map>

namespace orvanta::test {

// Points the XDG folders (cache, data, config, runtime) at a fresh temporary
// folder for the lifetime of the object, so tests never touch real files.
class TemporaryHome {
public:
    TemporaryHome();
    ~TemporaryHome();
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    std::map<QByteArray, std::pair<bool, QByteArray>> saved_;
};

}  // namespace orvanta::test
