#include "studio/BlockStatus.h"

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;
using namespace tarnwick;

TEST(BlockStatus, RulesApplyInOrder)
{
    const StatusFacts none;
    const auto with = [](std::function<void(StatusFacts &)> set) {
        StatusFacts facts;
        set(facts);
        return facts;
    };
    const struct
    {
        const char *what;
        StatusFacts facts;
        BlockStatus status;
    } cases[] = {
        {"nothing", none, {StatusKind::notRecorded, {}}},
        {"faulty markup beats recording", with([](auto &f) { f.faultyMarkup = f.recordingHere = true; }), {StatusKind::faultyMarkup, {}}},
        {"recording beats approval", with([](auto &f) { f.recordingHere = f.marked = f.everySegmentChosen = true; }), {StatusKind::recording, {}}},
        {"every segment chosen", with([](auto &f) { f.marked = f.everySegmentChosen = f.anySegmentTake = true; }), {StatusKind::approved, {}}},
        {"some segment takes", with([](auto &f) { f.marked = f.anySegmentTake = true; }), {StatusKind::inProgress, {}}},
        {"whole-block chosen take", with([](auto &f) { f.marked = f.blockChosen = f.blockTake = true; }), {StatusKind::approved, {}}},
        {"whole-block takes", with([](auto &f) { f.blockTake = true; }), {StatusKind::hasTakes, {}}},
        {"chosen take beats the stored text", with([](auto &f) { f.blockChosen = true; f.voiceStatus = u"Нужно перезаписать"_s; }), {StatusKind::approved, {}}},
        {"stored text", with([](auto &f) { f.voiceStatus = u"Нужно перезаписать"_s; }), {StatusKind::stored, u"Нужно перезаписать"_s}},
        {"a space is a text", with([](auto &f) { f.voiceStatus = u" "_s; }), {StatusKind::stored, u" "_s}},
        {"empty stored text", with([](auto &f) { f.voiceStatus = u""_s; }), {StatusKind::notRecorded, {}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(BlockStatus::of(c.facts), c.status);
    }
}

TEST(BlockStatus, TextDoneAndToneOfEachStatus)
{
    const struct
    {
        BlockStatus status;
        QString text;
        bool done;
        bool needsRecording;
        StatusTone tone;
    } cases[] = {
        {{StatusKind::faultyMarkup, {}}, u"Ошибка разметки"_s, false, false, StatusTone::toDo},
        {{StatusKind::recording, {}}, u"Запись"_s, false, false, StatusTone::toDo},
        {{StatusKind::approved, {}}, u"Утверждено"_s, true, false, StatusTone::done},
        {{StatusKind::inProgress, {}}, u"В работе"_s, false, false, StatusTone::working},
        {{StatusKind::notRecorded, {}}, u"Не записано"_s, false, true, StatusTone::toDo},
        {{StatusKind::stored, u"Озвучено"_s}, u"Озвучено"_s, true, false, StatusTone::done},
        {{StatusKind::stored, u"Проверить и обрезать"_s}, u"Проверить и обрезать"_s, false, false, StatusTone::working},
        {{StatusKind::stored, u"Нужно перезаписать"_s}, u"Нужно перезаписать"_s, false, true, StatusTone::toDo},
        {{StatusKind::stored, u"озвучено"_s}, u"озвучено"_s, false, false, StatusTone::other},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(statusText(c.status), c.text);
        EXPECT_EQ(isDone(c.status), c.done);
        EXPECT_EQ(needsRecording(c.status), c.needsRecording);
        EXPECT_EQ(tone(c.status), c.tone);
    }
}
