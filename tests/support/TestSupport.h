#pragma once

#include "core/ScriptBlock.h"
#include "core/StudioError.h"
#include "core/Take.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>

QT_BEGIN_NAMESPACE
void PrintTo(const QString &text, std::ostream *os);
QT_END_NAMESPACE

namespace tarnwick {
void PrintTo(const Take &take, std::ostream *os);
} // namespace tarnwick

namespace tarnwick::testing {

/// The message of the StudioError that `step` throws, or nothing when it returns normally.
std::optional<QString> errorOf(const std::function<void()> &step);

#define EXPECT_THROW_MESSAGE(statement, expected)                                                              \
    EXPECT_EQ(::tarnwick::testing::errorOf([&] { (void)(statement); }), std::optional<QString>(expected))

/// Mount tests must run in CI; elsewhere (no CAP_SYS_ADMIN) they are skipped with a reason.
#define REQUIRE_MOUNT(mount)                                                                                   \
    do {                                                                                                       \
        if (!(mount)) {                                                                                        \
            if (qEnvironmentVariableIsSet("CI"))                                                               \
                FAIL() << "cannot mount a scratch filesystem";                                                 \
            GTEST_SKIP() << "mounting needs root with CAP_SYS_ADMIN";                                          \
        }                                                                                                      \
    } while (false)

ScriptBlock sampleBlock(const QString &id, const QString &number = QStringLiteral("1"));
/// A block with the given voice texts and nothing else set.
ScriptBlock spokenBlock(const QString &id, const QString &number, const QString &russian, const QString &english);
Take sampleTake(const QString &blockID);
Take takeNamed(const QString &fileName);

QByteArray readBytes(const QString &path);
void writeBytes(const QString &path, const QByteArray &bytes);
QStringList entries(const QString &folder); // names in a folder, hidden ones included, sorted

/// Runs `steps` in a forked child, then kills it with SIGKILL once they are done: what a crash
/// right after those steps leaves on disk. False when the child failed before the kill.
bool crashAfter(const std::function<void()> &steps);

/// A filesystem mounted for one test, so failures are real even for root, which ignores
/// permission bits. Unmounted when destroyed.
class ScratchMount
{
public:
    ~ScratchMount();
    /// A tmpfs of `bytes` at a fresh folder; nothing when mounting is not permitted here.
    static std::optional<ScratchMount> tmpfs(qint64 bytes);
    /// A read-only view of `source`.
    static std::optional<ScratchMount> readOnlyView(const QString &source);

    ScratchMount(ScratchMount &&other) noexcept;
    ScratchMount(const ScratchMount &) = delete;
    ScratchMount &operator=(const ScratchMount &) = delete;
    ScratchMount &operator=(ScratchMount &&) = delete;

    const QString &path() const { return m_path; }
    void fill() const; // uses up every free block
    void unfill() const; // gives the blocks back
    bool setReadOnly(bool readOnly) const; // remounts in place

private:
    ScratchMount() = default;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

} // namespace tarnwick::testing
