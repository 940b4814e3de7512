#pragma once

#include "studio/Services.h"

#include <QObject>

namespace tarnwick {

/// What the windows remember for themselves, shared live between the main and settings windows.
class ViewSettings final : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int scriptTextLineLimit READ scriptTextLineLimit WRITE setScriptTextLineLimit NOTIFY
                   scriptTextLineLimitChanged)

public:
    explicit ViewSettings(UserDefaults &defaults, QObject *parent = nullptr);

    static QString lineLimitKey() { return QStringLiteral("scriptTextLineLimit"); }

    /// 0 (no limit), 6 or 3; anything else read from the store counts as 0.
    int scriptTextLineLimit() const { return m_lineLimit; }
    void setScriptTextLineLimit(int limit);

    UserDefaults &defaults() { return m_defaults; }

signals:
    void scriptTextLineLimitChanged();

private:
    UserDefaults &m_defaults;
    int m_lineLimit = 0;
};

} // namespace tarnwick
