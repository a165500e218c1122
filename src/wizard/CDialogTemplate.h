#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// Lays controls out in dialog units, the way dialog templates are measured:
// the horizontal base unit is the average width of the 52 letters A–Z a–z of
// the dialog font and the vertical one is the font's height; x px = du·bx/4,
// y px = du·by/8, rounded. Each control's object name is its numeric id, so
// code and tests find it with Find().
class CDialogTemplate
{
public:
    // The dialog font: "MS UI Gothic" where present, else a Japanese Gothic
    // of the system, at 9 points.
    static QFont DialogFont();

    // Sets the dialog font on owner and measures the base units with it.
    explicit CDialogTemplate(QWidget* owner);

    int X(int du) const;
    int Y(int du) const;
    QRect Rect(int x, int y, int cx, int cy) const;
    QSize Size(int cx, int cy) const { return QSize(X(cx), Y(cy)); }

    QLabel* AddStatic(const QString& text, int x, int y, int cx, int cy, int id = -1);
    QPushButton* AddButton(int id, const QString& text, int x, int y, int cx, int cy);
    QLineEdit* AddReadOnlyEdit(int id, int x, int y, int cx, int cy);
    // A hidden frame that only marks where a view goes.
    QFrame* AddPlaceholder(int id, int x, int y, int cx, int cy);
    QFrame* AddEtchedLine(int x, int y, int cx, int cy);

    // Puts an existing control at a template rectangle and gives it an id.
    template <class T>
    T* Place(T* control, int id, int x, int y, int cx, int cy)
    {
        control->setGeometry(Rect(x, y, cx, cy));
        SetId(control, id);
        return control;
    }

    static void SetId(QWidget* control, int id);
    // A direct child of parent with the given id, or null.
    template <class T = QWidget>
    static T* Find(const QWidget* parent, int id)
    {
        return parent->findChild<T*>(QString::number(id), Qt::FindDirectChildrenOnly);
    }

private:
    QWidget* m_pOwner;
    int m_nBaseX;
    int m_nBaseY;
};
