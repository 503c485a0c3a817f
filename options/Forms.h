#pragma once
// What the program's two dialogs share: captions stored with trailing NULs, the modeless dialog
// window with the dialogs' face, controls placed in twips, and the window's going away.

#include <QRect>
#include <QString>

class QDialog;
class QPushButton;
class QWidget;

namespace forms {

// The text followed by `nuls` NULs, as the program stores some captions and values.
QString withNuls(const char* utf8, int nuls);

// A modeless dialog with a fixed client area given in twips.
QDialog* newDialog(const char* objectName, int widthTwips, int heightTwips);

// Names a control and puts it at `rect` (logical pixels) in its parent.
template <typename W>
W* place(W* widget, const char* name, const QRect& rect) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(rect);
    return widget;
}

// A push button that Enter elsewhere in the dialog does not press.
QPushButton* button(QWidget* parent, const char* name, const char* caption, const QRect& rect);

// Shows the dialog, or brings it forward when it is shown.
void bringForward(QDialog* dialog);

// Hides the dialog and deletes it once control returns to the event loop, without running the
// handlers of its finished() signal again.
void discard(QDialog* dialog);

}  // namespace forms
