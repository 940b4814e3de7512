// Take figures: measured on a worker after a save and when a project opens, kept in the
// project's figures cache, and announced on the status line after a save.

#include "studio/Studio.h"

#include <QtConcurrent>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

/// "−18,3": one decimal, a Russian comma and a true minus sign.
QString decibels(double value)
{
    return QString::number(value, 'f', 1).replace(u'-', u'−').replace(u'.', u',');
}

} // namespace

std::optional<TakeFigures> Studio::figures(const QUuid &takeID) const
{
    if (const auto known = m_figures.constFind(takeID); known != m_figures.cend())
        return *known;
    return std::nullopt;
}

std::pair<QString, bool> Studio::savedTakeMessage(const TakeFigures &figures)
{
    const QList<TakeFlag> flags = takeFlags(figures);
    if (!flags.isEmpty()) {
        QStringList texts;
        for (const TakeFlag flag : flags)
            texts.append(flagText(flag));
        return {u"Дубль сохранён, но проверьте: "_s + texts.join(u", "_s), true};
    }
    QString text = u"Дубль сохранён · "_s;
    if (figures.integratedLUFS)
        text += decibels(*figures.integratedLUFS) + u" LUFS, "_s;
    return {text + u"пик "_s + decibels(figures.truePeakDBTP) + u" dBTP"_s, false};
}

void Studio::analyse(const QList<Take> &takes, FiguresCache::Scope scope)
{
    m_analysisQueue += takes;
    if (scope == FiguresCache::Scope::allTakes)
        m_analysisScope = scope;
    if (!m_analysis)
        startAnalysis();
}

void Studio::startAnalysis()
{
    if (m_analysisQueue.isEmpty() || !m_store)
        return;
    const QList<Take> takes = std::exchange(m_analysisQueue, {});
    const FiguresCache::Scope scope = std::exchange(m_analysisScope, FiguresCache::Scope::someTakes);
    m_analysis = new QFutureWatcher<MeasuredTake>(this);
    connect(m_analysis, &QFutureWatcher<MeasuredTake>::resultsReadyAt, this, &Studio::publishFigures);
    connect(m_analysis, &QFutureWatcher<MeasuredTake>::finished, this, [this] {
        m_analysis->deleteLater();
        m_analysis = nullptr;
        startAnalysis();
    });
    m_analysis->setFuture(
        QtConcurrent::run([store = *m_store, takes, scope](QPromise<MeasuredTake> &promise) {
            try {
                figuresOfTakes(
                    store, takes,
                    [&](const QUuid &id, const TakeFigures &figures) {
                        promise.addResult(MeasuredTake{id, figures});
                    },
                    scope, [&] { return promise.isCanceled(); });
            } catch (const std::exception &) {
                // a bug; the takes simply stay without figures
            }
        }));
}

void Studio::publishFigures(qsizetype begin, qsizetype end)
{
    // A job that was stopped for another project reports nothing more.
    if (!m_analysis || m_analysis->isCanceled())
        return;
    for (qsizetype i = begin; i < end; ++i) {
        const auto [id, figures] = m_analysis->resultAt(static_cast<int>(i));
        m_figures.insert(id, figures);
        if (m_figuresNotice && m_figuresNotice->first == id && m_figuresNotice->second == m_messageSerial) {
            const auto [text, warning] = savedTakeMessage(figures);
            setMessage(text, {Outcome::Result::done, {}, warning});
        }
    }
    emit figuresChanged();
}

void Studio::stopAnalysis()
{
    m_analysisQueue.clear();
    m_analysisScope = FiguresCache::Scope::someTakes;
    m_figuresNotice.reset();
    if (m_analysis)
        m_analysis->cancel(); // it finishes its take, then the next job starts
    if (!m_figures.isEmpty()) {
        m_figures.clear();
        emit figuresChanged();
    }
}

} // namespace tarnwick
