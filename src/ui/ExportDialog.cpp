#include "ui/ExportDialog.h"

#include "studio/Studio.h"
#include "ui/ButtonRoles.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace tarnwick {

ExportDialog::ExportDialog(Studio &studio, QString folder, QWidget *parent)
    : QDialog(parent)
    , m_studio(studio)
    , m_folder(std::move(folder))
{
    setObjectName(u"exportDialog"_s);
    setWindowTitle(u"Экспорт для монтажа"_s);
    auto *form = new QFormLayout(this);
    auto *where = new QHBoxLayout;
    m_folderLabel = new QLabel(m_folder, this);
    m_folderLabel->setObjectName(u"exportFolder"_s);
    m_folderLabel->setMinimumWidth(360);
    m_folderLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    where->addWidget(m_folderLabel, 1);
    auto *choose = new QPushButton(u"Выбрать…"_s, this);
    choose->setObjectName(u"chooseExportFolder"_s);
    choose->setAutoDefault(false);
    connect(choose, &QPushButton::clicked, this, &ExportDialog::chooseFolder);
    where->addWidget(choose);
    form->addRow(u"Папка"_s, where);

    m_preset = new QComboBox(this);
    m_preset->setObjectName(u"exportPreset"_s);
    for (const auto &[preset, title] :
         {std::pair(LoudnessPreset::r128, u"EBU R128: −23 LUFS"_s), std::pair(LoudnessPreset::web, u"Веб: −16 LUFS"_s),
          std::pair(LoudnessPreset::stream, u"Стриминг: −14 LUFS"_s),
          std::pair(LoudnessPreset::none, u"Без нормализации"_s)})
        m_preset->addItem(title, int(preset));
    m_preset->setCurrentIndex(m_preset->findData(int(studio.exportPreset())));
    m_preset->setToolTip(u"Громкость каждого файла; истинный пик не выше −1 dBTP"_s);
    form->addRow(u"Громкость"_s, m_preset);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_export = buttons->addButton(u"Экспортировать"_s, QDialogButtonBox::AcceptRole);
    m_export->setObjectName(u"startExport"_s);
    makeProminent(m_export);
    m_export->setEnabled(!m_folder.isEmpty());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

void ExportDialog::chooseFolder()
{
    // The chooser opens where the user last chose a folder.
    const std::optional<QString> chosen =
        m_studio.chooseFolder(u"Выберите пустую папку или папку прошлого экспорта этого проекта"_s);
    if (!chosen)
        return;
    m_folder = *chosen;
    m_folderLabel->setText(m_folder);
    m_export->setEnabled(true);
}

void ExportDialog::run()
{
    const auto preset = static_cast<LoudnessPreset>(m_preset->currentData().toInt());
    m_studio.setExportPreset(preset); // listening through follows the preset of the export
    ExportOptions options;
    options.preset = preset;
    m_studio.exportForEditor(m_folder, options);
    if (!m_studio.exporting())
        return; // refused at once: the status line says why

    // Lives until the export ends, beside the window, which stays readable meanwhile.
    auto *progress = new QProgressDialog(u"Экспорт для монтажа…"_s, u"Отменить"_s, 0, 1000, parentWidget());
    progress->setObjectName(u"exportProgress"_s);
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(0);
    progress->setAutoReset(false);
    Studio &studio = m_studio;
    connect(&studio, &Studio::exportProgressChanged, progress,
            [progress, &studio] { progress->setValue(int(studio.exportProgress() * 1000)); });
    connect(progress, &QProgressDialog::canceled, &studio, [&studio] { studio.cancelExport(); });
    connect(&studio, &Studio::exportingChanged, progress, [progress, &studio] {
        if (!studio.exporting())
            progress->deleteLater();
    });
    progress->show();
}

} // namespace tarnwick
