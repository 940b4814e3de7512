#pragma once

#include "studio/Services.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace tarnwick {

struct ScriptBlock;

/// Modal choosers over QFileDialog, parented to the main window once it exists. They open in the
/// data folder, then where the user last chose something (kept in `defaults`).
class QtFileChooser final : public FileChooser
{
public:
    QtFileChooser(QString dataFolder, std::unique_ptr<UserDefaults> defaults);

    std::optional<QString> chooseFolder(const QString &prompt) override;
    std::optional<QString> chooseScenarioFile(const QString &prompt) override;

    QPointer<QWidget> parent;

private:
    QString startFolder(const QString &key) const;

    QString m_dataFolder;
    std::unique_ptr<UserDefaults> m_defaults;
};

/// A warning box with one button.
class QtModalAlert final : public ModalAlert
{
public:
    void show(const QString &title, const QString &text) override;

    QPointer<QWidget> parent;
};

/// The question asked before a block's takes go to the trash so it can be split.
std::function<bool(const ScriptBlock &, qsizetype)> takeRemovalDialog(QWidget *parent);

} // namespace tarnwick
