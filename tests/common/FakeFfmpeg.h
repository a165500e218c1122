#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QtGlobal>

// A stand-in for ffmpeg found first on PATH while the object lives: a shell
// script named ffmpeg in a folder of its own. An empty body leaves no ffmpeg
// on PATH at all.
class FakeFfmpeg
{
public:
    FakeFfmpeg(const QString& folder, const QByteArray& body) : m_path(qgetenv("PATH"))
    {
        QFile script(folder + "/ffmpeg");
        ok = QDir().mkpath(folder)
             && (body.isEmpty()
                 || (script.open(QIODevice::WriteOnly) && script.write("#!/bin/sh\n" + body + "\n") > 0
                     && script.flush()
                     && script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)));
        script.close();
        qputenv("PATH", body.isEmpty() ? QFile::encodeName(folder) : QFile::encodeName(folder) + ":" + m_path);
    }
    ~FakeFfmpeg() { qputenv("PATH", m_path); }
    FakeFfmpeg(const FakeFfmpeg&) = delete;
    FakeFfmpeg& operator=(const FakeFfmpeg&) = delete;

    bool ok = false;

private:
    QByteArray m_path;
};
