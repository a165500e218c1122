#include "platform/CFileBytes.h"

#include <QIODevice>

QByteArray CFileBytes::ReadAt(QIODevice& file, qint64 offset, qint64 count)
{
    if (offset < 0 || count < 0 || !file.seek(offset))
        return QByteArray();
    return file.read(count);
}
