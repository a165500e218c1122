#include "wizard/CAboutDlg.h"

#include "wizard/CDialogTemplate.h"
#include "wizard/ControlIds.h"

#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("バージョン情報"));
    CDialogTemplate dlg(this);
    setFixedSize(dlg.Size(235, 55));

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/quillarend/icon.png")).pixmap(32, 32));
    icon->move(dlg.X(11), dlg.Y(17));
    icon->resize(32, 32);

    QLabel* version = dlg.AddStatic(QStringLiteral("Quillarend Version " QUILLAREND_VERSION), 40, 10, 119, 8, IDC_ABOUT_VERSION);
    version->setTextFormat(Qt::PlainText);
    QLabel* copyright =
        dlg.AddStatic(QStringLiteral("© 2026 Lumenhollow"), 40, 32, 119, 8, IDC_ABOUT_COPYRIGHT);
    copyright->setTextFormat(Qt::PlainText);

    QPushButton* ok = dlg.AddButton(IDC_OK, QStringLiteral("OK"), 178, 7, 50, 14);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
