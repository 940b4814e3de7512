#include "ui/ViewSettings.h"

namespace tarnwick {

namespace {

bool isLineLimit(int value)
{
    return value == 0 || value == 6 || value == 3;
}

} // namespace

ViewSettings::ViewSettings(UserDefaults &defaults, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
{
    bool number = false;
    const int stored = m_defaults.text(lineLimitKey()).value_or(QString()).toInt(&number);
    m_lineLimit = number && isLineLimit(stored) ? stored : 0;
}

void ViewSettings::setScriptTextLineLimit(int limit)
{
    if (!isLineLimit(limit) || limit == m_lineLimit)
        return;
    m_lineLimit = limit;
    m_defaults.setText(lineLimitKey(), QString::number(limit));
    emit scriptTextLineLimitChanged();
}

} // namespace tarnwick
