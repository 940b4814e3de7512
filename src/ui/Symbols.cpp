#include "ui/Symbols.h"

#include <QApplication>
#include <QHash>
#include <QStyle>

using namespace Qt::StringLiterals;

namespace tarnwick {

QIcon symbol(const QString &name)
{
    struct Source
    {
        QString theme;
        QStyle::StandardPixmap fallback;
    };
    static const QHash<QString, Source> sources = {
        {u"folder"_s, {u"folder-open"_s, QStyle::SP_DirOpenIcon}},
        {u"film"_s, {u"video-x-generic"_s, QStyle::SP_FileDialogDetailedView}},
        {u"tablecells"_s, {u"document-import"_s, QStyle::SP_FileDialogListView}},
        {u"xmark"_s, {u"process-stop"_s, QStyle::SP_DialogCancelButton}},
        {u"checkmark"_s, {u"document-save"_s, QStyle::SP_DialogApplyButton}},
        {u"checkmark.circle"_s, {u"emblem-default"_s, QStyle::SP_DialogYesButton}},
        {u"checkmark.circle.fill"_s, {u"emblem-ok"_s, QStyle::SP_DialogYesButton}},
        {u"mic"_s, {u"audio-input-microphone"_s, QStyle::SP_MediaVolume}},
        {u"mic.fill"_s, {u"media-record"_s, QStyle::SP_MediaVolume}},
        {u"mic.badge.plus"_s, {u"list-add"_s, QStyle::SP_FileDialogNewFolder}},
        {u"record.circle.fill"_s, {u"media-record"_s, QStyle::SP_MediaVolume}},
        {u"play.fill"_s, {u"media-playback-start"_s, QStyle::SP_MediaPlay}},
        {u"pause.fill"_s, {u"media-playback-pause"_s, QStyle::SP_MediaPause}},
        {u"trash"_s, {u"user-trash"_s, QStyle::SP_TrashIcon}},
        {u"doc.on.doc"_s, {u"edit-copy"_s, QStyle::SP_FileIcon}},
        {u"scissors"_s, {u"edit-cut"_s, QStyle::SP_FileDialogContentsView}},
    };
    const auto found = sources.constFind(name);
    if (found == sources.cend())
        return {};
    return QIcon::fromTheme(found->theme, QApplication::style()->standardIcon(found->fallback));
}

} // namespace tarnwick
