#include "CAtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(Q_OS_WIN)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

bool Fail(QString& error, const QString& reason)
{
    error = reason;
    return false;
}

} // namespace

QString CAtomicFile::ErrorText(int error)
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
    if (const char* text = strerrordesc_np(error))
        return QString::fromLatin1(text);
#endif
    return QString::fromLocal8Bit(std::strerror(error));
}

bool CAtomicFile::Write(const QString& requested, const QByteArray& data, QString& error)
{
    // A symbolic link stays a link: the file it points to is replaced.
    const QFileInfo link(requested);
    const QString path = link.isSymLink() ? link.symLinkTarget() : requested;
    const QFileInfo info(path);
    const QString dir = info.absolutePath();
    if (info.isDir())
        return Fail(error, ErrorText(EISDIR));
    auto tempName = [&] {
        return dir + QStringLiteral("/.qtmp") + QString::number(QRandomGenerator::global()->generate(), 16);
    };
#if defined(Q_OS_UNIX)
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = QFile::encodeName(tempName());
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return Fail(error, ErrorText(errno));
    }
    if (fd < 0)
        return Fail(error, ErrorText(EEXIST));
    auto failed = [&](int number) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(temp.constData());
        return Fail(error, ErrorText(number));
    };
    // Keep the permissions of the file being replaced.
    struct stat old{};
    const QByteArray final = QFile::encodeName(path);
    if (::stat(final.constData(), &old) == 0 && S_ISREG(old.st_mode) && ::fchmod(fd, old.st_mode & 07777) != 0)
        return failed(errno);
    const char* p = data.constData();
    size_t left = size_t(data.size());
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failed(errno);
        }
        p += n;
        left -= size_t(n);
    }
    if (::fsync(fd) != 0)
        return failed(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return failed(errno);
    if (::rename(temp.constData(), final.constData()) != 0)
        return failed(errno);
    return true;
#else
    QFile file;
    for (int attempt = 0; attempt < 100; ++attempt) {
        file.setFileName(tempName());
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            break;
        if (file.exists())
            continue;
        return Fail(error, file.errorString());
    }
    if (!file.isOpen())
        return Fail(error, file.errorString());
    auto failed = [&](const QString& reason) {
        file.close();
        file.remove();
        return Fail(error, reason);
    };
    if (file.write(data) != data.size())
        return failed(file.errorString());
#if defined(Q_OS_WIN)
    if (!FlushFileBuffers(HANDLE(_get_osfhandle(file.handle()))))
        return failed(QStringLiteral("the data could not be flushed to the disk"));
#endif
    file.close();
    if (file.error() != QFileDevice::NoError)
        return failed(file.errorString());
    std::error_code renamed;
    std::filesystem::rename(std::filesystem::path(file.fileName().toStdWString()),
                            std::filesystem::path(path.toStdWString()), renamed);
    if (renamed) {
        file.remove();
        return Fail(error, QString::fromStdString(renamed.message()));
    }
    return true;
#endif
}

