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

TEST(SettingsDefaults, KeysWithPathsComeBackExactlyAcrossRuns)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"settings.ini"_s);
    const QStringList keys{u"projectPath:/tmp/vo"_s, u"projectPath:C:\\Users\\Аня\\Videos"_s,
                           u"projectPath:/a b/=;#[x]"_s, u"projectPath:"_s, u"scriptTextLineLimit"_s};
    {
        SettingsDefaults defaults(file);
        for (const QString &key : keys)
            defaults.setText(key, u"value of "_s + key);
    }
    SettingsDefaults reread(file);
    for (const QString &key : keys) {
        SCOPED_TRACE(key.toStdString());
        EXPECT_EQ(reread.text(key), u"value of "_s + key);
    }
    EXPECT_EQ(reread.text(u"projectPath:/tmp"_s), std::nullopt); // no key is a prefix of another
    EXPECT_EQ(reread.text(u"projectPath:/tmp/vo/"_s), std::nullopt);
}

TEST(ReadOnlyDefaults, ReadsButNeverWrites)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"settings.ini"_s);
    SettingsDefaults(file).setText(u"k"_s, u"kept"_s);
    ReadOnlyDefaults readOnly(std::make_unique<SettingsDefaults>(file));
    readOnly.setText(u"k"_s, u"changed"_s);
    EXPECT_EQ(readOnly.text(u"k"_s), u"kept"_s);
    EXPECT_EQ(SettingsDefaults(file).text(u"k"_s), u"kept"_s);
}

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

TEST(QtTrash, AMissingFileIsAnErrorNamingIt)
{
    QTemporaryDir dir;
    const TemporaryHome home(dir.path());
    const QString gone = dir.filePath(u"gone.wav"_s);
    const std::optional<QString> error = errorOf([&] { QtTrash().moveToTrash(gone); });
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->startsWith(u"Не удалось переместить файл «"_s + gone + u"» в Корзину: "_s))
        << error->toStdString();
}
