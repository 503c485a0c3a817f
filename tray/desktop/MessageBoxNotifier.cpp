#include "MessageBoxNotifier.h"

#include <QMessageBox>

namespace {

constexpr uint32_t MB_ICONMASK = 0xF0;
constexpr uint32_t MB_ICONQUESTION = 0x20;
constexpr uint32_t MB_ICONINFORMATION = 0x40;

QMessageBox::Icon iconFor(uint32_t style) {
    switch (style & MB_ICONMASK) {
        case MB_ICONSTOP:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONEXCLAMATION:
            return QMessageBox::Warning;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

void MessageBoxNotifier::MsgBox(const std::string& prompt, uint32_t style,
                                const std::string& title) {
    QMessageBox box(iconFor(style), QString::fromStdString(title), QString::fromStdString(prompt),
                    QMessageBox::Ok);
    box.exec();
}
