#include "studio/QtServices.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

/// Points HOME at a folder of the test's for its lifetime: the trash lives under it.
class TemporaryHome
{
public:
    explicit TemporaryHome(const QString &home)
        : m_saved(qgetenv("HOME"))
    {
        qputenv("HOME", QFile::encodeName(home));
    }
    ~TemporaryHome() { qputenv("HOME", m_saved); }
    TemporaryHome(const TemporaryHome &) = delete;
    TemporaryHome &operator=(const TemporaryHome &) = delete;

private:
    QByteArray m_saved;
};

} // namespace

TEST(QtTrash, MovesTheFileIntoTheUsersTrashEvenWithoutADataFolder)
{
    QTemporaryDir dir;
    const TemporaryHome home(dir.filePath(u"home"_s));
    QDir().mkpath(dir.filePath(u"home"_s));
    const QString take = dir.filePath(u"take.wav"_s);
    writeBytes(take, "RIFF");
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    ASSERT_TRUE(dataFolder.startsWith(dir.filePath(u"home"_s))) << dataFolder.toStdString();
    ASSERT_FALSE(QFileInfo::exists(dataFolder));

    QtTrash().moveToTrash(take);
    EXPECT_FALSE(QFileInfo::exists(take));
    EXPECT_TRUE(QFileInfo::exists(dataFolder + u"/Trash/files/take.wav"_s));
    EXPECT_TRUE(QFileInfo::exists(dataFolder + u"/Trash/info/take.wav.trashinfo"_s));
}

