#include "CLineReader.h"

#include <QByteArray>
#include <QFile>

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
                       QString& error)
{
    const QString name = DisplayName(path);
    QFile file;
    bool opened = false;
    if (path == QLatin1String("-")) {
        opened = file.open(stdin, QIODevice::ReadOnly | QIODevice::Unbuffered);
    } else {
        file.setFileName(path);
        opened = file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    if (!opened) {
        error = QStringLiteral("%1: cannot be read: %2").arg(name, file.errorString());
        return false;
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
        const qint64 got = file.read(block.data(), block.size());
        if (got < 0) {
            error = QStringLiteral("%1: cannot be read: %2").arg(name, file.errorString());
            return false;
        }
        if (got == 0)
            break;
        total += got;
        if (total > maxBytes) {
            error = QStringLiteral("%1: longer than %2 bytes").arg(name).arg(maxBytes);
            return false;
        }
        const char* p = block.constData();
        const char* end = p + got;
        while (p != end) {
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            const char* stop = nl ? nl : end;
            if (line.size() + (stop - p) > maxLineBytes) {
                error = QStringLiteral("%1:%2: line longer than %3 bytes").arg(name).arg(lineNumber).arg(maxLineBytes);
                return false;
            }
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
