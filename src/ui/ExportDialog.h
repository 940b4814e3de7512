#pragma once

#include "core/Loudness.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace tarnwick {

class Studio;

/// Asks where the editor's package goes and at which loudness, then runs the export with a
/// progress dialog that can cancel it. The outcome lands in the studio's status line.
class ExportDialog final : public QDialog
{
    Q_OBJECT

public:
    /// Opens at `folder`, the folder of the previous export; empty asks for one first.
    ExportDialog(Studio &studio, QString folder, QWidget *parent = nullptr);

    const QString &folder() const { return m_folder; }
    /// Starts the export into the chosen folder, with its progress beside the window.
    void run();

private:
    void chooseFolder();

    Studio &m_studio;
    QString m_folder;
    QLabel *m_folderLabel = nullptr;
    QComboBox *m_preset = nullptr;
    QPushButton *m_export = nullptr;
};

} // namespace tarnwick
