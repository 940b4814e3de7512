#pragma once

#include <QWidget>

class QButtonGroup;
class QComboBox;

namespace tarnwick {

class Studio;
class ViewSettings;

/// The settings window: how many lines a script cell shows, and which input records.
class StudioSettingsView final : public QWidget
{
    Q_OBJECT

public:
    StudioSettingsView(Studio &studio, ViewSettings &settings, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void listDevices();

    Studio &m_studio;
    ViewSettings &m_settings;
    QButtonGroup *m_lineLimit = nullptr;
    QComboBox *m_device = nullptr;
};

} // namespace tarnwick
