#include "studio/QtServices.h"

#include "core/FileAccess.h"
#include "core/StudioError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

// Settings formats give "/" and "\" meanings of their own; percent-encoding keeps any key exact.
QString settingsKey(const QString &key)
{
    return u"defaults/"_s + QString::fromLatin1(key.toUtf8().toPercentEncoding());
}

} // namespace

QString QtTrash::moveToTrash(const QString &path)
{
    // Without the user's data folder Qt "succeeds" by making a trash under the working directory.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    errno = 0;
    QString trashed;
    if (!QFile::moveToTrash(path, &trashed))
        throw StudioError(u"Не удалось переместить файл «"_s + path + u"» в Корзину: "_s
                          + files::reason(errno));
    return trashed;
}

void QtTrash::restore(const QString &trashedPath, const QString &destination)
{
    errno = 0;
    if (QFileInfo::exists(destination) || !QFile::rename(trashedPath, destination))
        throw StudioError(u"Не удалось вернуть файл «"_s + destination + u"» из Корзины: "_s
                          + files::reason(errno == 0 ? EEXIST : errno));
    // The freedesktop trash keeps a note beside "files"; without it the file manager lists a ghost.
    const QFileInfo trashed(trashedPath);
    QFile::remove(trashed.dir().filePath(u"../info/"_s + trashed.fileName() + u".trashinfo"_s));
}

SettingsDefaults::SettingsDefaults()
    : m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, u"Tarnwick"_s,
                                             u"Tarnwick"_s))
{
}

SettingsDefaults::SettingsDefaults(const QString &file)
    : m_settings(std::make_unique<QSettings>(file, QSettings::IniFormat))
{
}

std::optional<QString> SettingsDefaults::text(const QString &key) const
{
    const QVariant value = m_settings->value(settingsKey(key));
    if (!value.isValid())
        return std::nullopt;
    return value.toString();
}

void SettingsDefaults::setText(const QString &key, const QString &value)
{
    m_settings->setValue(settingsKey(key), value);
    m_settings->sync();
}

} // namespace tarnwick
