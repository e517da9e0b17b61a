#include "platform/PreferenceStore.h"

#include "platform/Folders.h"

#include <QSettings>

namespace orvanta {

std::optional<QByteArray> PreferenceStore::data(const QString& key) const {
    QVariant value = read(key);
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray();
    if (value.typeId() == QMetaType::QString)
        return value.toString().toUtf8();
    return std::nullopt;
}

std::optional<QString> PreferenceStore::text(const QString& key) const {
    QVariant value = read(key);
    if (!value.isValid() || !value.canConvert<QString>())
        return std::nullopt;
    return value.toString();
}

std::optional<bool> PreferenceStore::boolean(const QString& key) const {
    QVariant value = read(key);
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    // An INI file gives every value back as text.
    const QString textValue = value.toString();
    if (textValue == QLatin1String("true") || textValue == QLatin1String("1"))
        return true;
    if (textValue == QLatin1String("false") || textValue == QLatin1String("0"))
        return false;
    return std::nullopt;
}

std::optional<double> PreferenceStore::number(const QString& key) const {
    QVariant value = read(key);
    if (!value.isValid())
        return std::nullopt;
    bool ok = false;
    double result = value.toDouble(&ok);
    return ok ? std::optional<double>(result) : std::nullopt;
}

std::optional<qint64> PreferenceStore::integer(const QString& key) const {
    QVariant value = read(key);
    if (!value.isValid())
        return std::nullopt;
    bool ok = false;
    qint64 result = value.toLongLong(&ok);
    return ok ? std::optional<qint64>(result) : std::nullopt;
}

SettingsPreferenceStore::SettingsPreferenceStore()
    : SettingsPreferenceStore(Folders::configFolder() + QStringLiteral("/settings.ini")) {}

SettingsPreferenceStore::SettingsPreferenceStore(const QString& filePath)
    : settings_(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {}

SettingsPreferenceStore::~SettingsPreferenceStore() = default;

bool SettingsPreferenceStore::contains(const QString& key) const {
    return settings_->contains(key);
}

void SettingsPreferenceStore::remove(const QString& key) {
    settings_->remove(key);
    settings_->sync();
}

QVariant SettingsPreferenceStore::read(const QString& key) const {
    return settings_->value(key);
}

void SettingsPreferenceStore::write(const QString& key, const QVariant& value) {
    settings_->setValue(key, value);
    settings_->sync();
}

}  // namespace orvanta
