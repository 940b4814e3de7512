#pragma once

#include "studio/Services.h"

#include <QSettings>

namespace tarnwick {

/// Linux asks no permission for the microphone: access is always authorised.
class QtMicrophoneAccess final : public MicrophoneAccess
{
public:
    Status status() const override { return Status::authorised; }
    void request(std::function<void(bool)> answer) override { answer(true); }
};

/// The freedesktop trash through QFile::moveToTrash.
class QtTrash final : public Trash
{
public:
    QString moveToTrash(const QString &path) override;
    void restore(const QString &trashedPath, const QString &destination) override;
};

/// User defaults in QSettings. Keys are stored as given: settings formats treat "/" in a key as
/// a group separator, so each key is kept inside one group as an escaped value name.
class SettingsDefaults final : public UserDefaults
{
public:
    SettingsDefaults(); // the application's own settings
    explicit SettingsDefaults(const QString &file); // a settings file of the caller's

    std::optional<QString> text(const QString &key) const override;
    void setText(const QString &key, const QString &value) override;

private:
    std::unique_ptr<QSettings> m_settings;
};

/// Reads like the given store but keeps every write to itself: a command-line run must not
/// change what the window reopens next time.
class ReadOnlyDefaults final : public UserDefaults
{
public:
    explicit ReadOnlyDefaults(std::unique_ptr<UserDefaults> source)
        : m_source(std::move(source))
    {
    }
    std::optional<QString> text(const QString &key) const override { return m_source->text(key); }
    void setText(const QString &, const QString &) override {}

private:
    std::unique_ptr<UserDefaults> m_source;
};

} // namespace tarnwick
