#include "core/ProjectLease.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>

#include <optional>


using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QString taken = u"Этот проект уже открыт в другом окне или экземпляре приложения"_s;
const QString noAccess = u"Нет доступа к папке проекта"_s;

} // namespace

TEST(ProjectLease, SecondLeaseInTheSameProcessFailsUntilTheFirstEnds)
{
    QTemporaryDir dir;
    {
        const ProjectLease first(dir.path());
        EXPECT_THROW_MESSAGE(ProjectLease{dir.path()}, taken);
    }
    EXPECT_NO_THROW(ProjectLease{dir.path()});
}

TEST(ProjectLease, AnotherProcessIsKeptOutAndACrashedHolderLetsGo)
{
    QTemporaryDir dir;
    std::optional<ProjectLease> held; // filled in the child only, which keeps it until killed
    Child holder([&] { held.emplace(dir.path()); });
    ASSERT_TRUE(holder.reached());
    EXPECT_THROW_MESSAGE(ProjectLease{dir.path()}, taken);
    holder.kill();
    EXPECT_NO_THROW(ProjectLease{dir.path()});
}

TEST(ProjectLease, MissingFolderOrLinkedLockFileIsNoAccess)
{
    QTemporaryDir dir;
    EXPECT_THROW_MESSAGE(ProjectLease{dir.filePath(u"missing"_s)}, noAccess);
    writeBytes(dir.filePath(u"target"_s), {});
    QFile::link(dir.filePath(u"target"_s), dir.filePath(u".tarnwick.lock"_s));
    EXPECT_THROW_MESSAGE(ProjectLease{dir.path()}, noAccess);
}
