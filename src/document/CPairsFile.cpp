#include "document/CPairsFile.h"

#include "document/CLineReader.h"

#include <limits>

namespace {

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

bool CPairsFile::Load(const QString& path, CMorphHandleArray& handles, CReadError& error)
{
    CMorphHandleArray read;
    const bool ok = CLineReader::Read(
        path, kMaxLineBytes, kMaxBytes,
        [&](const char* b, const char* e, int lineNumber) {
            while (b != e && IsBlank(*b))
                ++b;
            if (b == e || *b == '#')
                return true;
            CMorphHandle handle;
            if (!ParseLine(b, e, handle))
                return error.Fail(CReadError::EKind::NotFourIntegers, lineNumber);
            if (read.GetSize() >= kMaxPairs)
                return error.Fail(CReadError::EKind::TooManyPairs, lineNumber, kMaxPairs);
            read.Add(handle);
            return true;
        },
        error);
    if (!ok)
        return false;
    for (int32_t i = 0; i < read.GetSize(); ++i)
        handles.Add(read[i]);
    return true;
}
