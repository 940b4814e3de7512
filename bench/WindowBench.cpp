// The window over a large project, 1,000 blocks and 10,000 takes, on the offscreen platform:
// opening it, what a take commit costs the table, one meter tick, one page of scrolling, moving
// the selection and a first click on a painted button.

#include "BenchProject.h"
#include "QuietServices.h"
#include "audio/FakeAudioBackend.h"
#include "studio/Studio.h"
#include "ui/ScriptCellDelegate.h"
#include "ui/ScriptTableModel.h"
#include "ui/StudioView.h"
#include "ui/ViewSettings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace tarnwick;

namespace {

constexpr int blockCount = 1000;
constexpr int takeCount = 10000;

/// Blocks of two marked segments with a sentence of Russian and English each, takes spread
/// over the segments, a third of them chosen.
struct LargeProject
{
    QTemporaryDir dir;
    bench::NoDefaults viewDefaults;
    std::unique_ptr<FakeAudioBackend> ownedAudio = std::make_unique<FakeAudioBackend>();
    FakeAudioBackend *audio = ownedAudio.get();
    Studio studio{dir.path(), bench::quietServices(), std::move(ownedAudio), false};
    ViewSettings settings{viewDefaults};

    LargeProject()
    {
        QList<ScriptBlock> blocks;
        for (int i = 1; i <= blockCount; ++i) {
            const QString n = QString::number(i);
            QString english;
            QString russian;
            for (const char *part : {"a", "b"}) {
                const QString marker = u"[voice:"_s + QLatin1StringView(part) + n + u"]\n"_s;
                english += marker + u"The panel converts the light of the Sun into current.\n"_s;
                russian += marker + u"Панель превращает свет Солнца в электрический ток.\n"_s;
            }
            blocks.append(ScriptBlock{u"b"_s + n, n, u"Кадр "_s + n, std::nullopt, russian, english, std::nullopt,
                                      std::nullopt});
        }
        studio.open(bench::projectWithTakes(dir.path(), blocks, takeCount));
    }
};

LargeProject &large()
{
    static LargeProject instance; // built once: making the project is not what is measured
    return instance;
}

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

/// From construction to the first frame drawn.
void BM_OpenWindow(benchmark::State &state)
{
    LargeProject &project = large();
    for (auto _ : state) {
        StudioView view(project.studio, project.settings);
        view.show();
        settle();
        benchmark::DoNotOptimize(view.grab());
    }
}
BENCHMARK(BM_OpenWindow)->Unit(benchmark::kMillisecond)->Iterations(5);

/// What the table does when the studio publishes a new list of takes, as after a commit.
void BM_TakesChanged(benchmark::State &state)
{
    LargeProject &project = large();
    StudioView view(project.studio, project.settings);
    view.show();
    settle();
    for (auto _ : state) {
        emit project.studio.takesChanged();
        settle();
    }
}
BENCHMARK(BM_TakesChanged)->Unit(benchmark::kMillisecond);

/// One meter tick while a take records: level bar, waveform and time repaint, the table not.
void BM_MeterTick(benchmark::State &state)
{
    LargeProject &project = large();
    StudioView view(project.studio, project.settings);
    view.show();
    settle();
    const ScriptBlock block = project.studio.blocks().at(3);
    project.studio.selectBlock(block.id);
    project.studio.record(block);
    for (int i = 0; i < 100 && project.studio.busy(); ++i)
        settle();
    settle();
    if (!project.studio.recording()) {
        state.SkipWithError("the take did not start");
        return;
    }
    for (auto _ : state) {
        project.audio->readings.push_back({-12.0f, -6.0f});
        project.audio->recorder->time += 0.06;
        project.audio->timer->tick();
        settle();
    }
    project.studio.cancelRecording();
    settle();
}
BENCHMARK(BM_MeterTick)->Unit(benchmark::kMicrosecond);

/// One page down, drawn.
void BM_ScrollPage(benchmark::State &state)
{
    LargeProject &project = large();
    StudioView view(project.studio, project.settings);
    view.show();
    settle();
    QScrollBar *bar = view.table()->verticalScrollBar();
    for (auto _ : state) {
        bar->setValue(bar->value() + bar->pageStep() >= bar->maximum() ? 0 : bar->value() + bar->pageStep());
        settle();
        benchmark::DoNotOptimize(view.table()->viewport()->grab());
    }
}
BENCHMARK(BM_ScrollPage)->Unit(benchmark::kMillisecond);

/// Choosing the next block, as Alt+Down does: the old row goes back to a picture, the new one
/// gets its live audio and text cells, and the viewport is drawn.
void BM_SelectNextBlock(benchmark::State &state)
{
    LargeProject &project = large();
    StudioView view(project.studio, project.settings);
    view.show();
    settle();
    const QList<ScriptBlock> &blocks = project.studio.blocks();
    qsizetype next = 0;
    for (auto _ : state) {
        project.studio.selectBlock(blocks.at(next).id);
        next = (next + 1) % 20; // the rows of the first screens, so each one is seen drawn
        settle();
        benchmark::DoNotOptimize(view.table()->viewport()->grab());
    }
}
BENCHMARK(BM_SelectNextBlock)->Unit(benchmark::kMillisecond);

/// A first click on the take button of a row other than the chosen one, as a user's hand gives
/// it: the row is chosen, its take plays, the live cell takes the picture's place, and the
/// viewport is drawn.
void BM_ClickPaintedTakeButton(benchmark::State &state)
{
    LargeProject &project = large();
    StudioView view(project.studio, project.settings);
    view.show();
    settle();
    QTableView *table = view.table();
    QWidget *viewport = table->viewport();
    const auto *delegate = static_cast<ScriptCellDelegate *>(table->itemDelegate());
    // The take buttons of the rows on the first screen, none of them chosen.
    project.studio.selectBlock(project.studio.blocks().constLast().id);
    settle();
    table->scrollToTop();
    settle();
    QList<QPoint> buttons;
    for (int row = 0; table->visualRect(table->model()->index(row, 0)).bottom() < viewport->height(); ++row) {
        const QRect cell = table->visualRect(table->model()->index(row, ScriptTableModel::audio));
        const AudioCellLayout layout = delegate->audioLayout(row, cell.width(), table->font());
        for (const CellButton &button : layout.segments.constFirst().buttons) {
            if (button.kind == CellButton::take)
                buttons.append(cell.topLeft() + button.rect.center());
        }
    }
    if (buttons.size() < 2) {
        state.SkipWithError("fewer than two rows on the first screen");
        return;
    }
    qsizetype next = 0;
    for (auto _ : state) {
        const QPoint at = buttons.at(next);
        next = (next + 1) % buttons.size();
        QMouseEvent press(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &press);
        settle();
        QMouseEvent release(QEvent::MouseButtonRelease, at, viewport->mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &release);
        settle();
        benchmark::DoNotOptimize(viewport->grab());
    }
    if (!project.studio.playingID())
        state.SkipWithError("the click played nothing");
    project.studio.audio().stopPlayback();
    settle();
}
BENCHMARK(BM_ClickPaintedTakeButton)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (large().studio.blocks().size() != blockCount || large().studio.takes().size() != takeCount) {
        std::fprintf(stderr, "the project was not made: %s\n", qPrintable(large().studio.message()));
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
