#pragma once

#include "wizard/CFileChooser.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// Answers every Open or Save chooser with the next path of a queue (none left:
// the fixed answer, cancelled when it is empty) and records each request,
// without showing a window.
class ChooserAnswers
{
public:
    explicit ChooserAnswers(const QString& fixed = QString())
    {
        m_previous = CFileChooser::SetHandler([this, fixed](const CFileChooser::Request& request) {
            requests << request;
            return paths.isEmpty() ? fixed : paths.takeFirst();
        });
    }
    ~ChooserAnswers() { CFileChooser::SetHandler(std::move(m_previous)); }
    ChooserAnswers(const ChooserAnswers&) = delete;
    ChooserAnswers& operator=(const ChooserAnswers&) = delete;

    QStringList paths;
    QList<CFileChooser::Request> requests;

private:
    CFileChooser::Handler m_previous;
};
