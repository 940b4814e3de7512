#include "ui/DialogServices.h"

#include "core/ScriptBlock.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

const QString projectFolderKey = u"chooser:projectFolder"_s;
const QString scenarioFolderKey = u"chooser:scenarioFolder"_s;

} // namespace

QtFileChooser::QtFileChooser(QString dataFolder, std::unique_ptr<UserDefaults> defaults)
    : m_dataFolder(std::move(dataFolder))
    , m_defaults(std::move(defaults))
{
}

QString QtFileChooser::startFolder(const QString &key) const
{
    for (const QString &folder : {m_defaults->text(key).value_or(QString()), m_dataFolder}) {
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    return QDir::homePath();
}

std::optional<QString> QtFileChooser::chooseFolder(const QString &prompt)
{
    const QString folder = QFileDialog::getExistingDirectory(parent, prompt, startFolder(projectFolderKey));
    if (folder.isEmpty())
        return std::nullopt;
    // Next time the chooser shows the chosen project among its neighbours.
    m_defaults->setText(projectFolderKey, QFileInfo(folder).absolutePath());
    return folder;
}

std::optional<QString> QtFileChooser::chooseScenarioFile(const QString &prompt)
{
    const QString file = QFileDialog::getOpenFileName(parent, prompt, startFolder(scenarioFolderKey),
                                                      u"Сценарий (*.json *.xlsx)"_s);
    if (file.isEmpty())
        return std::nullopt;
    m_defaults->setText(scenarioFolderKey, QFileInfo(file).absolutePath());
    return file;
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
