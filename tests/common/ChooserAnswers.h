#pragma once

#include "wizard/CFileChooser.h"

#include <QList>
#include <QStringList>

#include <utility>

// Answers every Open or Save chooser with the next path of a queue (none left:
// cancelled) and records each request, without showing a window.
class ChooserAnswers
{
public:
    ChooserAnswers()
    {
        m_previous = CFileChooser::SetHandler([this](const CFileChooser::Request& request) {
            requests << request;
            return paths.isEmpty() ? QString() : paths.takeFirst();
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
