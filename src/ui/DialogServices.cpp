#include "ui/DialogServices.h"

#include "core/ScriptBlock.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace tarnwick {

std::optional<QString> QtFileChooser::chooseFolder(const QString &prompt)
{
    const QString folder = QFileDialog::getExistingDirectory(parent, prompt);
    return folder.isEmpty() ? std::nullopt : std::optional(folder);
}

std::optional<QString> QtFileChooser::chooseScenarioFile(const QString &prompt)
{
    const QString file =
        QFileDialog::getOpenFileName(parent, prompt, {}, u"Сценарий (*.json *.xlsx)"_s);
    return file.isEmpty() ? std::nullopt : std::optional(file);
}

void QtModalAlert::show(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box.exec();
}

std::function<bool(const ScriptBlock &, qsizetype)> takeRemovalDialog(QWidget *parent)
{
    return [window = QPointer<QWidget>(parent)](const ScriptBlock &block, qsizetype count) {
        QMessageBox box(QMessageBox::Warning,
                        u"У блока "_s + block.number + u" есть дубли: "_s + QString::number(count),
                        u"Чтобы разбить блок на предложения, дубли будут перемещены в Корзину."_s,
                        QMessageBox::NoButton, window);
        QPushButton *remove = box.addButton(u"Удалить дубли и разбить"_s, QMessageBox::AcceptRole);
        box.addButton(u"Отмена"_s, QMessageBox::RejectRole);
        box.setDefaultButton(remove);
        box.exec();
        return box.clickedButton() == remove;
    };
}

} // namespace tarnwick
