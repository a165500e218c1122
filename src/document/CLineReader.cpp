#include "document/CLineReader.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUtf8ByteOrderMark = "\xEF\xBB\xBF";

} // namespace

QString CLineReader::DisplayName(const QString& path)
{
    return path == QLatin1String("-") ? QStringLiteral("standard input") : path;
}

bool CLineReader::Read(const QString& path, qint64 maxLineBytes, qint64 maxBytes, const LineHandler& handler,
                       CReadError& error)
{
    error = CReadError();
    error.m_strFile = DisplayName(path);
    // A failed open or read: the error number, taken by the caller before
    // anything else can change it, and Qt's English text for the tool.
    auto failSystem = [&error](CReadError::EKind kind, int errnum, const QFile& file) {
        error.m_nErrno = errnum;
        error.m_strValue = file.errorString();
        return error.Fail(kind, 0);
    };
    QFile file;
    bool opened = false;
    errno = 0;
    if (path == QLatin1String("-")) {
        opened = file.open(stdin, QIODevice::ReadOnly | QIODevice::Unbuffered);
    } else {
        file.setFileName(path);
        opened = file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    if (!opened) {
        const int errnum = errno;
        // Qt opens a folder and then refuses it without an error number.
        return failSystem(CReadError::EKind::CannotOpen,
                          errnum == 0 && QFileInfo(path).isDir() ? EISDIR : errnum, file);
    }
    // Read in blocks until the device says it has ended: pipes and terminals
    // report no size, so neither atEnd() nor size() can be trusted.
    QByteArray line;
    QByteArray block(64 * 1024, Qt::Uninitialized);
    qint64 total = 0;
    int lineNumber = 1;
    auto finishLine = [&]() -> bool {
        const char* b = line.constData();
        // Some editors start a UTF-8 file with a byte-order mark.
        if (lineNumber == 1 && line.startsWith(kUtf8ByteOrderMark))
            b += std::strlen(kUtf8ByteOrderMark);
        if (!handler(b, line.constData() + line.size(), lineNumber))
            return false;
        line.clear();
        ++lineNumber;
        return true;
    };
    while (true) {
        errno = 0;
        const qint64 got = file.read(block.data(), block.size());
        if (got < 0)
            return failSystem(CReadError::EKind::CannotRead, errno, file);
        if (got == 0)
            break;
        total += got;
        if (total > maxBytes)
            return error.Fail(CReadError::EKind::TooManyBytes, 0, maxBytes);
        const char* p = block.constData();
        const char* end = p + got;
        while (p != end) {
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            const char* stop = nl ? nl : end;
            if (line.size() + (stop - p) > maxLineBytes)
                return error.Fail(CReadError::EKind::LineTooLong, lineNumber, maxLineBytes);
            line.append(p, stop - p);
            if (!nl)
                break;
            if (!finishLine())
                return false;
            p = nl + 1;
        }
    }
    return line.isEmpty() || finishLine();
}
