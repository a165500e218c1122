#include "CPairsFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <limits>

bool CPairsFile::ParseLine(const QString& line, CMorphHandle& handle)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    const QStringList fields = line.trimmed().split(separators, Qt::SkipEmptyParts);
    if (fields.size() != 4)
        return false;
    int32_t values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const qlonglong v = fields[i].toLongLong(&ok, 10);
        if (!ok || v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
            return false;
        values[i] = int32_t(v);
    }
    handle = CMorphHandle{{values[0], values[1]}, {values[2], values[3]}};
    return true;
}

bool CPairsFile::Load(const QString& path, CMorphHandleArray& handles, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        error = path + QStringLiteral(": cannot be read");
        return false;
    }
    CMorphHandleArray read;
    int lineNumber = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine());
        ++lineNumber;
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        CMorphHandle handle;
        if (!ParseLine(trimmed, handle)) {
            error = QStringLiteral("%1:%2: expected four integers \"sx sy tx ty\"").arg(path).arg(lineNumber);
            return false;
        }
        read.Add(handle);
    }
    for (int32_t i = 0; i < read.GetSize(); ++i)
        handles.Add(read[i]);
    return true;
}
