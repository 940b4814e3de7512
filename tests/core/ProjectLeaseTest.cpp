#include "core/ProjectLease.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QString taken = u"Этот проект уже открыт в другом окне или экземпляре приложения"_s;
const QString noAccess = u"Нет доступа к папке проекта"_s;

/// Holds a lease in a child process until killed.
class LeaseHolder
{
public:
    explicit LeaseHolder(const QString &root)
    {
        int channel[2];
        if (::pipe(channel) != 0)
            return;
        m_child = ::fork();
        if (m_child == 0) {
            ::close(channel[0]);
            char ok = 0;
            try {
                const ProjectLease lease(root);
                ok = 1;
                (void)::write(channel[1], &ok, 1);
                for (;;)
                    ::pause();
            } catch (...) {
                (void)::write(channel[1], &ok, 1);
                ::_exit(1);
            }
        }
        ::close(channel[1]);
        char ok = 0;
        m_holding = ::read(channel[0], &ok, 1) == 1 && ok == 1;
        ::close(channel[0]);
    }
    ~LeaseHolder() { kill(); }
    LeaseHolder(const LeaseHolder &) = delete;
    LeaseHolder &operator=(const LeaseHolder &) = delete;

    bool holding() const { return m_holding; }
    void kill()
    {
        if (m_child <= 0)
            return;
        ::kill(m_child, SIGKILL);
        int status = 0;
        ::waitpid(m_child, &status, 0);
        m_child = -1;
    }

private:
    pid_t m_child = -1;
    bool m_holding = false;
};

} // namespace

TEST(ProjectLease, FirstLeaseCreatesAnEmptyOwnerOnlyLockFileThatStays)
{
    QTemporaryDir dir;
    const QString lock = dir.filePath(u".tarnwick.lock"_s);
    {
        const ProjectLease lease(dir.path());
        const QFileInfo info(lock);
        ASSERT_TRUE(info.isFile());
        EXPECT_EQ(info.size(), 0);
        EXPECT_EQ(info.permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ReadOwner | QFile::WriteOwner),
                  QFile::Permissions());
    }
    EXPECT_TRUE(QFileInfo::exists(lock));
    EXPECT_NO_THROW(ProjectLease{dir.path()}); // a leftover lock file does not block
}

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
    LeaseHolder holder(dir.path());
    ASSERT_TRUE(holder.holding());
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
