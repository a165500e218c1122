#pragma once

#include <QDir>
#include <QFile>

// A stand-in for ffmpeg found first on PATH while the object lives: a shell
// script named ffmpeg in a folder of its own. An empty body leaves no ffmpeg
// on PATH at all.
struct FakeFfmpeg
{
    FakeFfmpeg(const QString& folder, const QByteArray& body) : m_path(qgetenv("PATH"))
    {
        QFile f(folder + "/ffmpeg");
        ok = QDir().mkpath(folder)
             && (body.isEmpty()
                 || (f.open(QIODevice::WriteOnly) && f.write("#!/bin/sh\n" + body + "\n") > 0 && f.flush()
                     && f.setPermissions(QFile::ReadOwner | QFile::ExeOwner)));
        qputenv("PATH", QFile::encodeName(folder) + (body.isEmpty() ? QByteArray() : ":" + m_path));
    }
    ~FakeFfmpeg() { qputenv("PATH", m_path); }
    bool ok = false;
    QByteArray m_path;
};
