#include "About.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace vigix {

TfrmAbout::TfrmAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(u"frmAbout"_s);
    setWindowTitle(u"バージョン情報"_s);

    auto *icon = new QLabel(this);
    icon->setPixmap(QIcon(u":/icons/test32.svg"_s).pixmap(32, 32));
    lblProduct = new QLabel(u"VIGIX"_s, this);
    QFont bold = lblProduct->font();
    bold.setPixelSize(20);
    bold.setBold(true);
    lblProduct->setFont(bold);
    auto *purpose = new QLabel(u"注意の持続と抑制の検査（妨害刺激つき持続処理課題）"_s, this);
    lblVersion = new QLabel(u"バージョン %1"_s.arg(QStringLiteral(VIGIX_VERSION)), this);
    lblLicence = new QLabel(u"GNU General Public License version 3 (GPL-3.0)"_s, this);
    lblQt = new QLabel(u"Qt %1"_s.arg(QString::fromLatin1(qVersion())), this);
    auto *ok = new QPushButton(u"OK"_s, this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(6);
    for (QWidget *line :
         {static_cast<QWidget *>(icon), static_cast<QWidget *>(lblProduct), static_cast<QWidget *>(purpose),
          static_cast<QWidget *>(lblVersion), static_cast<QWidget *>(lblLicence), static_cast<QWidget *>(lblQt)})
        layout->addWidget(line, 0, Qt::AlignHCenter);
    layout->addSpacing(8);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    setFixedSize(sizeHint().expandedTo(QSize(320, 0)));
}

void TfrmAbout::showEvent(QShowEvent *event)
{
    // Centred on the screen.
    if (const QScreen *desktop = screen())
        move(desktop->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

} // namespace vigix
