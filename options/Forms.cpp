#include "Forms.h"

#include "Twips.h"

#include <QDialog>
#include <QPushButton>

namespace forms {

namespace {
// The dialogs are laid out for a 9-point face at 96 dots per inch; in logical pixels it scales
// with the screen like the control positions do.
constexpr int kFontPixels = 12;
}  // namespace

QString withNuls(const char* utf8, int nuls) {
    return QString::fromUtf8(utf8) + QString(nuls, QChar(u'\0'));
}

QDialog* newDialog(const char* objectName, int widthTwips, int heightTwips) {
    auto* d = new QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                       Qt::WindowCloseButtonHint);
    d->setObjectName(QString::fromLatin1(objectName));
    QFont font = d->font();
    font.setPixelSize(kFontPixels);
    d->setFont(font);
    d->setFixedSize(twips::size(widthTwips, heightTwips));
    d->setModal(false);
    return d;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, const QRect& rect) {
    auto* b = place(new QPushButton(QString::fromUtf8(caption), parent), name, rect);
    b->setAutoDefault(false);
    return b;
}

void bringForward(QDialog* dialog) {
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void discard(QDialog* dialog) {
    QObject::disconnect(dialog, &QDialog::finished, nullptr, nullptr);
    if (dialog->isVisible()) {
        dialog->hide();
    }
    dialog->deleteLater();
}

}  // namespace forms
