#pragma once

#include <QObject>
#include <QString>
#include <QTemporaryDir>

// The base of test objects whose files go in one temporary folder, removed
// with the test object: m_dir, and file(name), the path of name in it.
class FolderTest : public QObject
{
protected:
    QTemporaryDir m_dir;
    QString file(const QString& name) const { return m_dir.filePath(name); }
};
