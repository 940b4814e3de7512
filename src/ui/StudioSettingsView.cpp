#include "ui/StudioSettingsView.h"

#include "studio/Studio.h"
#include "ui/ViewSettings.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tarnwick {

StudioSettingsView::StudioSettingsView(Studio &studio, ViewSettings &settings, QWidget *parent)
    : QWidget(parent)
    , m_studio(studio)
    , m_settings(settings)
{
    setWindowTitle(u"Настройки"_s);
    setObjectName(u"settings"_s);
    setFixedWidth(420);
    auto *form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);

    auto *choices = new QWidget(this);
    auto *column = new QVBoxLayout(choices);
    column->setContentsMargins(0, 0, 0, 0);
    m_lineLimit = new QButtonGroup(this);
    const std::pair<QString, int> options[] = {
        {u"Показывать полностью"_s, 0}, {u"Не более 6 строк"_s, 6}, {u"Не более 3 строк"_s, 3}};
    for (const auto &[title, lines] : options) {
        auto *radio = new QRadioButton(title, choices);
        m_lineLimit->addButton(radio, lines);
        column->addWidget(radio);
    }
    if (QAbstractButton *current = m_lineLimit->button(settings.scriptTextLineLimit()))
        current->setChecked(true);
    connect(m_lineLimit, &QButtonGroup::idClicked, &settings, &ViewSettings::setScriptTextLineLimit);
    connect(&settings, &ViewSettings::scriptTextLineLimitChanged, this, [this] {
        if (QAbstractButton *current = m_lineLimit->button(m_settings.scriptTextLineLimit()))
            current->setChecked(true);
    });
    form->addRow(u"Текст в ячейках"_s, choices);

    auto *note = new QLabel(
        u"Текст переносится внутри текущей ширины столбца. Ширину можно менять перетаскиванием границы заголовка."_s,
        this);
    note->setWordWrap(true);
    QFont caption = note->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.9);
    note->setFont(caption);
    note->setForegroundRole(QPalette::PlaceholderText);
    form->addRow(note);

    m_device = new QComboBox(this);
    m_device->setObjectName(u"inputDevice"_s);
    form->addRow(u"Микрофон"_s, m_device);
    listDevices();
    connect(&m_studio.audio(), &AudioController::inputDevicesChanged, this, &StudioSettingsView::listDevices);
    connect(m_device, &QComboBox::activated, this,
            [this](int index) { m_studio.setInputDevice(m_device->itemData(index).toString()); });
}

void StudioSettingsView::showEvent(QShowEvent *event)
{
    listDevices(); // a microphone may have been plugged in since
    QWidget::showEvent(event);
}

void StudioSettingsView::listDevices()
{
    const QString chosen = m_settings.defaults().text(Studio::inputDeviceKey()).value_or(QString());
    m_device->clear();
    m_device->addItem(u"По умолчанию"_s, QString());
    for (const AudioInputDevice &device : m_studio.audio().inputDevices())
        m_device->addItem(device.description, device.id);
    const int index = m_device->findData(chosen);
    if (index >= 0) {
        m_device->setCurrentIndex(index);
    } else {
        // A remembered device that is unplugged now still shows, so the choice is not lost silently.
        m_device->addItem(chosen, chosen);
        m_device->setCurrentIndex(m_device->count() - 1);
    }
}

} // namespace tarnwick
