#include "ui/TakeNoteDialog.h"

#include "studio/Studio.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPlainTextEdit>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

QString stars(int rating)
{
    return QString(rating, u'★') + QString(maxTakeRating - rating, u'☆');
}

} // namespace

void editTakeNote(Studio &studio, const Take &take, QWidget *parent)
{
    QDialog dialog(parent);
    dialog.setObjectName(u"takeNoteDialog"_s);
    dialog.setWindowTitle(u"Заметка и оценка дубля"_s);
    auto *form = new QFormLayout(&dialog);
    auto *rating = new QComboBox(&dialog);
    rating->setObjectName(u"rating"_s);
    rating->addItem(u"Без оценки"_s);
    for (int value = 1; value <= maxTakeRating; ++value)
        rating->addItem(stars(value));
    rating->setCurrentIndex(take.rating);
    form->addRow(u"Оценка"_s, rating);
    auto *note = new QPlainTextEdit(take.note, &dialog);
    note->setObjectName(u"note"_s);
    note->setTabChangesFocus(true);
    form->addRow(u"Заметка"_s, note);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (rating->currentIndex() != take.rating)
        studio.setTakeRating(take.id, rating->currentIndex());
    if (note->toPlainText() != take.note)
        studio.setTakeNote(take.id, note->toPlainText());
}

QString takeReviewText(const Take &take)
{
    QStringList lines;
    if (take.rating > 0)
        lines.append(u"Оценка: "_s + stars(take.rating));
    if (!take.note.trimmed().isEmpty())
        lines.append(u"Заметка: "_s + take.note.trimmed());
    return lines.join(u'\n');
}

} // namespace tarnwick
