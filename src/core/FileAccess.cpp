#include "core/FileAccess.h"

#include "core/StudioError.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tarnwick::files {

namespace {

[[noreturn]] void fail(const QString &action, const QString &path, int errorNumber)
{
    throw StudioError(action + u" «"_s + path + u"»: "_s + reason(errorNumber));
}

class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

void syncFolder(const QString &folder)
{
    const Descriptor fd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // The rename has already happened: the new content is in place whatever this reports,
    // so a folder that cannot be flushed is not a failed save.
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

} // namespace

QString reason(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT:
        return u"нет такого файла или папки"_s;
    case EACCES:
    case EPERM:
        return u"нет прав доступа"_s;
    case ENOSPC:
    case EDQUOT:
        return u"на диске нет места"_s;
    case EROFS:
        return u"носитель доступен только для чтения"_s;
    case EISDIR:
        return u"это папка, а не файл"_s;
    case ENOTDIR:
        return u"часть пути не является папкой"_s;
    case EEXIST:
        return u"файл уже существует"_s;
    case ENAMETOOLONG:
        return u"слишком длинное имя"_s;
    case ELOOP:
        return u"слишком много символических ссылок"_s;
    case EIO:
        return u"ошибка ввода-вывода на носителе"_s;
    case EBUSY:
        return u"файл занят"_s;
    case ENOTEMPTY:
        return u"папка не пуста"_s;
    case EMFILE:
    case ENFILE:
        return u"открыто слишком много файлов"_s;
    case EFBIG:
        return u"файл слишком велик"_s;
    case ENOMEM:
        return u"недостаточно памяти"_s;
    case 0:
        return u"неизвестная ошибка"_s;
    default:
        return u"системная ошибка "_s + QString::number(errorNumber);
    }
}

QByteArray read(const QString &path)
{
    const QString action = u"Не удалось прочитать файл"_s;
    // Non-blocking, so a FIFO in a file's place is refused below instead of waiting for a writer.
    const Descriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        fail(action, path, errno);
    struct stat info = {};
    if (::fstat(fd.get(), &info) != 0)
        fail(action, path, errno);
    if (S_ISDIR(info.st_mode))
        fail(action, path, EISDIR);
    if (!S_ISREG(info.st_mode))
        throw StudioError(action + u" «"_s + path + u"»: это не обычный файл"_s);

    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            fail(action, path, errno);
        }
        if (count == 0)
            return bytes;
        bytes.append(buffer, count);
    }
}

void writeAtomically(const QString &path, const QByteArray &bytes)
{
    const QString action = u"Не удалось записать файл"_s;
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        fail(action, path, errno);
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.flush())
        fail(action, path, errno); // QSaveFile removes its temporary file when destroyed uncommitted
    if (::fsync(file.handle()) != 0)
        fail(action, path, errno);
    errno = 0;
    if (!file.commit())
        fail(action, path, errno);
    syncFolder(QFileInfo(path).absolutePath());
}

void removeLeftoverTemporaries(const QString &path)
{
    // QSaveFile names its temporary file after the target, with six random letters or digits.
    const QFileInfo target(path);
    const QByteArray prefix = QFile::encodeName(target.fileName()) + '.';
    const std::optional<FolderListing> listing = listFolder(target.absolutePath(), true);
    if (!listing)
        return;
    for (const QByteArray &name : *listing->names) {
        const QByteArray suffix = name.mid(prefix.size());
        const auto letterOrDigit = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
        if (!name.startsWith(prefix) || suffix.size() != 6
            || !std::all_of(suffix.cbegin(), suffix.cend(), letterOrDigit))
            continue;
        ::unlink(QFile::encodeName(target.absolutePath()).append('/').append(name).constData());
    }
}

bool removeIfPresent(const QString &path)
{
    if (::unlink(QFile::encodeName(path).constData()) == 0) {
        syncFolder(QFileInfo(path).absolutePath());
        return true;
    }
    if (errno == ENOENT)
        return false;
    fail(u"Не удалось удалить файл"_s, path, errno);
}

void makeFolders(const QString &path)
{
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString current;
    for (const QString &part : clean.split(u'/', Qt::SkipEmptyParts)) {
        current += u'/' + part;
        struct stat info = {};
        if (::stat(QFile::encodeName(current).constData(), &info) == 0) {
            if (!S_ISDIR(info.st_mode))
                fail(u"Не удалось создать папку"_s, current, ENOTDIR);
            continue;
        }
        if (::mkdir(QFile::encodeName(current).constData(), 0777) != 0 && errno != EEXIST)
            fail(u"Не удалось создать папку"_s, current, errno);
    }
}

bool exists(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

std::optional<FolderListing> listFolder(const QString &folder, bool withNames)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return std::nullopt;
    FolderListing listing;
    if (withNames)
        listing.names.emplace();
    while (const dirent *entry = ::readdir(dir)) {
        bool link = entry->d_type == DT_LNK;
        if (entry->d_type == DT_UNKNOWN) { // some filesystems do not fill in the type
            struct stat info = {};
            link = ::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
        }
        if (link)
            listing.links.insert(QByteArray(entry->d_name));
        if (listing.names)
            listing.names->insert(QByteArray(entry->d_name));
    }
    ::closedir(dir);
    return listing;
}

bool isSymLink(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

} // namespace tarnwick::files
