#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

// Whole-file reads and writes and folder listings, for checking what a test
// wrote or left behind.
inline QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool WriteAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// Everything in folder, hidden entries too, by name.
inline QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// SHA-256 of the files' contents one after another, in hex: one value that
// changes when any byte of any of them does.
inline QByteArray FilesChecksum(const QStringList& paths)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString& path : paths)
        hash.addData(ReadAll(path));
    return hash.result().toHex();
}
