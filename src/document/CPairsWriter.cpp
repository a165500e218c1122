#include "document/CPairsWriter.h"

#include "platform/CAtomicFile.h"

#include <QByteArray>

namespace {

// A path may hold line breaks; in the comment they would end it early and
// turn the rest of the name into a line that is not a pair.
QByteArray OneLine(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace('\r', ' ');
    bytes.replace('\n', ' ');
    return bytes;
}

} // namespace

QByteArray CPairsWriter::Text(const CMorphHandleArray& handles, const QString& sourcePath, const QString& targetPath)
{
    QByteArray text = "# source: " + OneLine(sourcePath) + "  target: " + OneLine(targetPath) + "\n";
    for (int32_t i = 0; i < handles.GetSize(); ++i) {
        const CMorphHandle& h = handles[i];
        text += QByteArray::number(h.m_ptSource.x) + ' ' + QByteArray::number(h.m_ptSource.y) + ' '
            + QByteArray::number(h.m_ptTarget.x) + ' ' + QByteArray::number(h.m_ptTarget.y) + '\n';
    }
    return text;
}

bool CPairsWriter::Save(const QString& path, const CMorphHandleArray& handles, const QString& sourcePath,
                        const QString& targetPath, QString& reason, int& errnum)
{
    CAtomicFile file;
    if (file.Begin(path) && file.Write(Text(handles, sourcePath, targetPath)) && file.Commit())
        return true;
    reason = file.ErrorString();
    errnum = file.Errno();
    return false;
}

bool CPairsWriter::Save(const QString& path, const CMorphHandleArray& handles, const QString& sourcePath,
                        const QString& targetPath)
{
    QString reason;
    int errnum = 0;
    return Save(path, handles, sourcePath, targetPath, reason, errnum);
}
