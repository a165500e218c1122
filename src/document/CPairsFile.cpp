#include "CPairsFile.h"

#include <QFile>

#include <cstdio>
#include <cstring>
#include <limits>

namespace {

constexpr const char* kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool IsSeparator(char c)
{
    return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

bool CPairsFile::ParseLine(const char* begin, const char* end, CMorphHandle& handle)
{
    int32_t values[4];
    int count = 0;
    const char* p = begin;
    while (true) {
        while (p != end && IsSeparator(*p))
            ++p;
        if (p == end)
            break;
        if (count == 4)
            return false;
        bool negative = false;
        if (*p == '+' || *p == '-') {
            negative = *p == '-';
            ++p;
        }
        int64_t v = 0;
        const char* digits = p;
        while (p != end && *p >= '0' && *p <= '9') {
            v = v * 10 + (*p - '0');
            if (v > int64_t(std::numeric_limits<int32_t>::max()) + 1)
                return false;
            ++p;
        }
        if (p == digits || (p != end && !IsSeparator(*p)))
            return false;
        if (negative)
            v = -v;
        if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
            return false;
        values[count++] = int32_t(v);
    }
    if (count != 4)
        return false;
    handle = CMorphHandle{{values[0], values[1]}, {values[2], values[3]}};
    return true;
}

bool CPairsFile::ParseLine(const QString& line, CMorphHandle& handle)
{
    const QByteArray bytes = line.toUtf8();
    return ParseLine(bytes.constData(), bytes.constData() + bytes.size(), handle);
}

bool CPairsFile::Load(const QString& path, CMorphHandleArray& handles, QString& error)
{
    const bool standardInput = path == QLatin1String("-");
    const QString name = standardInput ? QStringLiteral("standard input") : path;
    QFile file;
    bool opened = false;
    if (standardInput) {
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
    CMorphHandleArray read;
    QByteArray line;
    QByteArray block(64 * 1024, Qt::Uninitialized);
    qint64 total = 0;
    int lineNumber = 1;
    auto finishLine = [&]() -> bool {
        const char* b = line.constData();
        const char* e = b + line.size();
        // Some editors start a UTF-8 file with a byte-order mark.
        if (lineNumber == 1 && line.startsWith(kUtf8ByteOrderMark))
            b += std::strlen(kUtf8ByteOrderMark);
        while (b != e && IsBlank(*b))
            ++b;
        if (b != e && *b != '#') {
            CMorphHandle handle;
            if (!ParseLine(b, e, handle)) {
                error = QStringLiteral("%1:%2: expected four integers \"sx sy tx ty\"").arg(name).arg(lineNumber);
                return false;
            }
            if (read.GetSize() >= kMaxPairs) {
                error = QStringLiteral("%1:%2: more than %3 pairs").arg(name).arg(lineNumber).arg(kMaxPairs);
                return false;
            }
            read.Add(handle);
        }
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
        if (total > kMaxBytes) {
            error = QStringLiteral("%1: longer than %2 bytes").arg(name).arg(kMaxBytes);
            return false;
        }
        const char* p = block.constData();
        const char* end = p + got;
        while (p != end) {
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            const char* stop = nl ? nl : end;
            if (line.size() + (stop - p) > kMaxLineBytes) {
                error = QStringLiteral("%1:%2: line longer than %3 bytes").arg(name).arg(lineNumber).arg(kMaxLineBytes);
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
    if (!line.isEmpty() && !finishLine())
        return false;
    for (int32_t i = 0; i < read.GetSize(); ++i)
        handles.Add(read[i]);
    return true;
}
