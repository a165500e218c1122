#pragma once

#include "platform/CImage.h"
#include "platform/CMessageBox.h"

#include <QDir>

#include <QList>
#include <QString>

#include <utility>

// Records every message box while alive and answers with a fixed button
// (or the next one from a queue), without showing a window.
class MessageRecorder
{
public:
    struct Box
    {
        QString text;
        QString caption;
        unsigned type;
    };

    explicit MessageRecorder(int answer = IDOK) : m_answer(answer)
    {
        m_previous = CMessageBox::SetHandler([this](const QString& text, const QString& caption, unsigned type) {
            boxes.append(Box{text, caption, type});
            return answers.isEmpty() ? m_answer : answers.takeFirst();
        });
    }
    ~MessageRecorder() { CMessageBox::SetHandler(std::move(m_previous)); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    QStringList texts() const
    {
        QStringList list;
        for (const Box& box : boxes)
            list << box.text;
        return list;
    }

    QList<Box> boxes;
    QList<int> answers; // taken first, before the fixed answer
    void clear() { boxes.clear(); }

private:
    int m_answer;
    CMessageBox::Handler m_previous;
};

// The message for a picture that cannot be loaded: the text, the file and why.
inline QString LoadFailedMessage(const QString& path, const QString& reason)
{
    return QStringLiteral("画像の読み込みに失敗しました。\n\n") + QDir::toNativeSeparators(path) + QLatin1Char('\n')
        + reason;
}
// The reasons of the two load failures most tests meet.
inline const QString kNotAPicture = QStringLiteral("この形式の画像は読み込めません。");
inline const QString kNoSuchFile = QStringLiteral("ファイルが見つかりません。");
