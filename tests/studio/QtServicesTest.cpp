#include "studio/QtServices.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStandardPaths>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

TEST(QtTrash, MovesTheFileIntoTheUsersTrashEvenWithoutADataFolder)
{
    QTemporaryDir dir;
    // HOME points into the test's folder while it runs: the trash lives under it.
    const auto restoreHome = qScopeGuard([home = qgetenv("HOME")] { qputenv("HOME", home); });
    qputenv("HOME", QFile::encodeName(dir.filePath(u"home"_s)));
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

