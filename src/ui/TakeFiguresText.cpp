#include "ui/TakeFiguresText.h"

#include <QStringList>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

/// Decimals with a comma and a true minus, as Russian text writes numbers.
QString decimal(double value, int digits = 1)
{
    const QString magnitude = QString::number(std::abs(value), 'f', digits);
    const bool negative = value < 0 && magnitude.toDouble() != 0; // no "−0,0"
    return (negative ? u"\u2212"_s : QString()) + QString(magnitude).replace(u'.', u',');
}

/// A level in dB, or "тишина" for the analysis's stand-in for no signal at all.
QString level(double decibels, const QString &unit)
{
    if (decibels <= -160)
        return u"тишина"_s;
    const QString number = decimal(decibels);
    const bool over = !number.startsWith(u'\u2212') && number != u"0,0"_s; // above full scale: "+1,0"
    return (over ? u"+"_s : QString()) + number + u' ' + unit;
}

} // namespace

QString flagMark(const std::optional<TakeFigures> &figures)
{
    return figures && !takeFlags(*figures).isEmpty() ? u" \u26A0"_s : QString();
}

QString flagsText(const QList<TakeFlag> &flags)
{
    QStringList words;
    for (const TakeFlag flag : flags)
        words.append(flagText(flag));
    return words.join(u", "_s);
}

QString figuresToolTip(const std::optional<TakeFigures> &figures)
{
    if (!figures)
        return {};
    QStringList lines;
    if (const QList<TakeFlag> flags = takeFlags(*figures); !flags.isEmpty())
        lines.append(u"\u26A0 "_s + flagsText(flags));
    lines.append(u"Громкость: "_s + (figures->integratedLUFS
                                         ? decimal(*figures->integratedLUFS) + u" LUFS, разброс "_s +
                                               decimal(figures->loudnessRangeLU) + u" LU"_s
                                         : u"не измерить"_s));
    lines.append(u"Пик: "_s + level(figures->samplePeakDBFS, u"dBFS"_s) + u", истинный "_s +
                 level(figures->truePeakDBTP, u"dBTP"_s));
    lines.append(u"Перегруженных отсчётов: "_s + QString::number(figures->clippedSamples));
    lines.append(u"Шум: "_s + level(figures->noiseFloorDBFS, u"dBFS"_s));
    lines.append(figures->speechStartSeconds && figures->speechEndSeconds
                     ? u"Речь: "_s + decimal(*figures->speechStartSeconds, 2) + u"–"_s +
                           decimal(*figures->speechEndSeconds, 2) + u" с из "_s +
                           decimal(figures->durationSeconds, 2) + u" с"_s
                     : u"Речь не найдена"_s);
    return lines.join(u'\n');
}

} // namespace tarnwick
