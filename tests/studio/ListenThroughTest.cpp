#include "studio/Studio.h"

#include "studio/StudioFixture.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

// Block 7's segment b and block 3 have no chosen take; block 1 lies before the start.
class ListenThroughTest : public StudioFixture
{
protected:
    ScriptBlock m_marked = markedBlock(u"m"_s, u"7"_s, {u"a"_s, u"b"_s, u"c"_s});
    QList<ScriptBlock> m_blocks{sampleBlock(u"b1"_s, u"1"_s), m_marked, sampleBlock(u"b3"_s, u"3"_s),
                                sampleBlock(u"b4"_s, u"4"_s)};
    QHash<QString, Take> m_chosen; // by recording id

    void SetUp() override
    {
        Studio &studio = studioWith(m_blocks);
        for (const auto &[block, segment] : {std::pair(0, 0), std::pair(1, 0), std::pair(1, 2), std::pair(3, 0)}) {
            const VoiceSegment piece = m_blocks[block].voiceSegments()[segment];
            m_chosen.insert(piece.id, commitTake(m_blocks[block], piece));
            writeSilence(store().audioURL(m_chosen.value(piece.id)), 1); // the trim needs a length
        }
        studio.setTrim(m_chosen.value(u"voice:a"_s).id, 0.25, 0.75);
        studio.selectBlock(u"m"_s);
        studio.listenThrough();
    }
    /// The take now playing, or none.
    std::optional<QUuid> playing() const
    {
        QCoreApplication::processEvents();
        return m_studio->playingID();
    }
    /// Ends the playing take and waits out the gap.
    void endTakeAndGap()
    {
        m_audio->player->finishPlaying();
        QCoreApplication::processEvents();
        ASSERT_TRUE(m_audio->timer);
        EXPECT_EQ(m_audio->timer->interval, std::chrono::milliseconds(500));
        EXPECT_EQ(playing(), std::nullopt) << "the next take starts only after the gap";
        m_audio->timer->tick();
    }
};

} // namespace

TEST_F(ListenThroughTest, PlaysChosenTakesInScriptOrderFromTheChosenBlockAndNamesTheSkipped)
{
    // Trimmed by hand, and the whole file where no speech was found; silence keeps its gain.
    const QList<std::pair<QString, PlaybackRegion>> expected{
        {u"voice:a"_s, {0.25, 0.75, 0.0}}, {u"voice:c"_s, {0.0, 1.0, 0.0}}, {u"b4"_s, {0.0, 1.0, 0.0}}};
    for (const auto &[recordingID, region] : expected) {
        SCOPED_TRACE(recordingID.toStdString());
        ASSERT_TRUE(m_studio->listening());
        EXPECT_EQ(playing(), m_chosen.value(recordingID).id);
        EXPECT_EQ(m_audio->player->region, region);
        EXPECT_EQ(m_studio->selectedRecordingID(), recordingID) << "the playing segment is the chosen one";
        if (recordingID != u"b4")
            endTakeAndGap();
    }
    m_audio->player->finishPlaying();
    QCoreApplication::processEvents();
    EXPECT_FALSE(m_studio->listening());
    EXPECT_EQ(m_studio->message(), u"Прослушивание окончено. Пропущены реплики без выбранного дубля: 7 (b), 3"_s);
}

TEST_F(ListenThroughTest, StopsAtTheUsersCommandWhetherPlayingOrBetweenTakes)
{
    struct Row
    {
        const char *name;
        bool inGap;
        std::function<void(Studio &)> command;
        std::optional<QUuid> playingAfter; // the take the user asked to hear, if any
    };
    const QList<Row> rows{
        {"stop while playing", false, [](Studio &studio) { studio.stopListening(); }, {}},
        {"stop in the gap", true, [](Studio &studio) { studio.stopListening(); }, {}},
        {"another block chosen", true, [](Studio &studio) { studio.selectBlock(u"b1"_s); }, {}},
        {"another take played", false, [this](Studio &studio) { studio.togglePlayback(m_chosen.value(u"b1"_s)); },
         m_chosen.value(u"b1"_s).id},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (!m_studio->listening()) {
            m_studio->selectBlock(u"m"_s);
            m_studio->listenThrough();
        }
        ASSERT_TRUE(m_studio->listening());
        if (row.inGap) {
            m_audio->player->finishPlaying();
            QCoreApplication::processEvents();
        }
        row.command(*m_studio);
        EXPECT_FALSE(m_studio->listening());
        if (m_audio->timer)
            m_audio->timer->tick(); // a gap left running would go on
        EXPECT_EQ(playing(), row.playingAfter);
        EXPECT_EQ(m_studio->message(), u"Прослушивание остановлено"_s) << "no segment was skipped yet";
    }
}

TEST_F(ListenThroughTest, PlaysEachTakeAtTheRememberedPresetsGain)
{
    m_studio->stopListening();
    // A 1 kHz sine peaking at -20 dBFS measures -23 LUFS: 7 dB under the web preset's -16.
    const QStringList sine{u"-v"_s, u"error"_s, u"-y"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                           u"aevalsrc=0.1*sin(2*PI*1000*t):s=48000:d=2"_s, u"-c:a"_s, u"pcm_s24le"_s,
                           store().audioURL(m_chosen.value(u"voice:c"_s))};
    ASSERT_EQ(runProgram(u"ffmpeg"_s, sine).exitCode, 0);
    m_studio->open(ProjectStore(store().root())); // opening measures the changed file again
    ASSERT_TRUE(waitFor([this] { return m_studio->figures(m_chosen.value(u"voice:c"_s).id).has_value(); }));
    m_studio->setExportPreset(LoudnessPreset::web);

    m_studio->selectBlock(u"m"_s);
    m_studio->listenThrough();
    endTakeAndGap();
    ASSERT_EQ(playing(), m_chosen.value(u"voice:c"_s).id);
    EXPECT_NEAR(m_audio->player->region.gainDB, 7.0, 0.1);
}
