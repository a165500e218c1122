#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// Lays controls out in dialog units: x px = du·bx/4, y px = du·by/8, rounded.
// The base units bx × by are measured on the dialog font, a 9-point Japanese
// Gothic, so every rectangle keeps its proportions and grows with the font.
// Each control's object name is its numeric id, so code and tests find it
// with Find().
class CDialogTemplate
{
public:
    // The em of a 9-point font on owner's screen, in pixels: 12 at 96 DPI.
    static int EmPixels(const QWidget* owner);

    // A Japanese Gothic ("MS UI Gothic" where present) at the largest pixel
    // size, at most nEm, whose base units (bx the average width of A–Z a–z
    // rounded up, by its height) stay within 2/3 and 13/12 of nEm.
    static QFont DialogFont(int nEm);

    // The largest pixel size, at most nEm and not below half of it, at which
    // the base units that baseUnits(size) gives (width bx, height by) stay
    // within 2/3 · nEm × 13/12 · nEm.
    static int FittingPixelSize(int nEm, const std::function<QSize(int)>& baseUnits);

    // The base units bx × by of font: the average width of A–Z a–z rounded
    // up, and the height.
    static QSize BaseUnits(const QFont& font);

    // Sets the dialog font on owner and takes the base units from its screen.
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
