#pragma once

#include "core/ScriptBlock.h"
#include "core/StudioError.h"
#include "core/Take.h"

#include <QByteArray>
#include <QProcess>
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

/// Runs the event loop until `condition` holds; false when `ms` pass first.
bool waitFor(const std::function<bool()> &condition, int ms = 5000);

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

/// A forked copy of this process that runs `steps` and then waits for SIGKILL, so whatever the
/// steps hold (a lease, an open file) is held until `kill`: what a crash leaves behind.
class Child
{
public:
    explicit Child(const std::function<void()> &steps);
    ~Child() { kill(); }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    bool reached() const { return m_reached; } // the steps returned normally
    void kill();

private:
    int m_pid = -1;
    bool m_reached = false;
};

/// A WAV file as libsndfile reads it: whether it is the program's format, its length and loudest
/// sample (full scale = 1); all zero when it cannot be read.
struct Wav
{
    bool is24BitMono48k = false;
    double seconds = 0.0;
    double peak = 0.0;
};
Wav readWav(const QString &path);
/// Writes `seconds` of silence as the program's own WAV format.
void writeSilence(const QString &path, int seconds);

/// A program run to its end: exit code (-1 after a crash or a hang), stdout and stderr.
struct ProgramResult
{
    int exitCode = -1;
    QString out;
    QString err;
};

/// The one way tests run other programs: started with no input, then waited for.
std::unique_ptr<QProcess> startProgram(const QString &program, const QStringList &arguments,
                                       const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
ProgramResult finish(QProcess &process, int timeoutMs = 60000);
inline ProgramResult runProgram(const QString &program, const QStringList &arguments,
                      const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    return finish(*startProgram(program, arguments, environment));
}

/// A filesystem mounted for one test, so failures are real even for root, which ignores
/// permission bits. Unmounted when destroyed.
class ScratchMount
{
public:
    ~ScratchMount();
    /// A tmpfs of `bytes` at a fresh folder; nothing when mounting is not permitted here.
    static std::unique_ptr<ScratchMount> tmpfs(qint64 bytes);
    ScratchMount(const ScratchMount &) = delete;
    ScratchMount &operator=(const ScratchMount &) = delete;

    const QString &path() const { return m_path; }
    void fill() const; // uses up every free block
    void unfill() const; // gives the blocks back
    bool setReadOnly(bool readOnly) const; // remounts in place

private:
    ScratchMount() = default;
    QTemporaryDir m_dir;
    QString m_path; // empty until mounted
};

} // namespace tarnwick::testing
