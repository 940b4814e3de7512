#include "core/ProjectLease.h"

#include "core/StudioError.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tarnwick {

ProjectLease::ProjectLease(const QString &root)
{
    const QByteArray path = QFile::encodeName(root + u"/.tarnwick.lock"_s);
    m_descriptor = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (m_descriptor < 0)
        throw StudioError(u"Нет доступа к папке проекта"_s);
    // A FIFO or device in its place would lock, but it is no lock file of ours.
    struct stat info = {};
    if (::fstat(m_descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(m_descriptor);
        throw StudioError(u"Нет доступа к папке проекта"_s);
    }
    if (::flock(m_descriptor, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_descriptor);
        throw StudioError(u"Этот проект уже открыт в другом окне или экземпляре приложения"_s);
    }
}

ProjectLease::~ProjectLease()
{
    ::close(m_descriptor);
}

} // namespace tarnwick
