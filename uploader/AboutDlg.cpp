#include "AboutDlg.h"

#include "DialogUnits.h"
#include "FlashpostDlg.h"

#include <QLabel>
#include <QPushButton>

namespace {
constexpr const char* kCaption = "About Flashpost";
constexpr const char* kVersionText = "Flashpost Version 1.3";
}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    setFont(font);
    DialogUnits du(font);
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(du.size(184, 56));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("128"));
    icon->setPixmap(CFlashpostDlg::ProgramIcon().pixmap(32, 32));
    icon->setGeometry(du.x(11), du.y(17), 32, 32);

    auto* text = new QLabel(QString::fromLatin1(kVersionText), this);
    text->setObjectName(QStringLiteral("version"));
    text->setTextFormat(Qt::PlainText);
    text->move(du.x(40), du.y(15));
    text->adjustSize();

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setGeometry(du.rect(119, 22, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
