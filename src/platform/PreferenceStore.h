#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

class QSettings;

namespace orvanta {

// Key-value preferences that survive restarts. Reading a key that holds
// nothing gives none; `contains` tells an absent key from a zero or false one.
// Used on the main thread only.
class PreferenceStore {
public:
    virtual ~PreferenceStore() = default;

    virtual bool contains(const QString& key) const = 0;
    virtual void remove(const QString& key) = 0;

    std::optional<QByteArray> data(const QString& key) const;
    std::optional<QString> text(const QString& key) const;
    std::optional<bool> boolean(const QString& key) const;
    std::optional<double> number(const QString& key) const;
    std::optional<qint64> integer(const QString& key) const;

    void setData(const QString& key, const QByteArray& value) { write(key, value); }
    void setText(const QString& key, const QString& value) { write(key, value); }
    void setBoolean(const QString& key, bool value) { write(key, value); }
    void setNumber(const QString& key, double value) { write(key, value); }
    void setInteger(const QString& key, qint64 value) { write(key, value); }

protected:
    virtual QVariant read(const QString& key) const = 0;
    virtual void write(const QString& key, const QVariant& value) = 0;
};

// The application's store: an INI file in the XDG configuration folder.
class SettingsPreferenceStore final : public PreferenceStore {
public:
    SettingsPreferenceStore();  // the application's own file
    explicit SettingsPreferenceStore(const QString& filePath);
    ~SettingsPreferenceStore() override;

    bool contains(const QString& key) const override;
    void remove(const QString& key) override;

protected:
    QVariant read(const QString& key) const override;
    void write(const QString& key, const QVariant& value) override;

private:
    std::unique_ptr<QSettings> settings_;
};

// A store that lives only in memory: for tests and for front ends that must
// never touch the listener's settings.
class MemoryPreferenceStore final : public PreferenceStore {
public:
    bool contains(const QString& key) const override { return values_.contains(key); }
    void remove(const QString& key) override { values_.remove(key); }

protected:
    QVariant read(const QString& key) const override { return values_.value(key); }
    void write(const QString& key, const QVariant& value) override { values_.insert(key, value); }

private:
    QVariantMap values_;
};

}  // namespace orvanta
