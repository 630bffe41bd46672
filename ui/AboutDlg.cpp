#include "ui/AboutDlg.h"

#include "ui/DialogFont.h"
#include "ui/DialogUnits.h"
#include "ui/TrayIcon.h"

#include <QLabel>
#include <QPushButton>

namespace vantrel {

namespace {

using D = DialogUnits;

// A line of text at its place in the box, grown where the font needs more
// room than the box's units give, so no letter is cut off.
QLabel* textLine(QWidget* parent, const char* text, const QRect& r) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    const QSize needed = label->sizeHint();
    label->setGeometry(r.x(), r.y(), std::max(r.width(), needed.width()),
                       std::max(r.height(), needed.height()));
    label->setAccessibleName(label->text());
    return label;
}

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Vantrel"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFont(DialogFont::fitted(font()));

    auto* icon = new QLabel(this);
    icon->setPixmap(TrayIcon::icon(TrayIcon::kAppIcon).pixmap(32, 32));
    icon->setGeometry(D::x(11), D::y(17), 32, 32);
    icon->setAccessibleName(QStringLiteral("Vantrel icon"));

    QLabel* version = textLine(this, kVersionLine, D::rect(40, 16, 119, 8));
    QLabel* purpose = textLine(this, kPurposeLine, D::rect(40, 25, 146, 8));
    // The second line starts below the first even where the font is taller.
    purpose->move(purpose->x(), std::max(purpose->y(), version->geometry().bottom() + 1));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(D::rect(178, 7, 50, 14));
    ok->setDefault(true);
    ok->setAccessibleName(ok->text());
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    const QRect used = childrenRect();
    setFixedSize(std::max(D::x(235), used.right() + D::x(7)), std::max(D::y(55), used.bottom() + D::y(7)));
}

} // namespace vantrel
