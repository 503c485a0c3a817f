#include "frmOpen.h"

#include "DirListBox.h"
#include "DriveListBox.h"
#include "FileListBox.h"
#include "Forms.h"
#include "JoinPath.h"
#include "NulText.h"
#include "ProcessControl.h"
#include "Twips.h"
#include "frmOps.h"

#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QPushButton>

namespace {

using forms::button;
using forms::place;
using forms::withNuls;

}  // namespace

struct frmOpen::Window {
    QDialog* dialog = nullptr;
    DriveListBox* Drive1 = nullptr;
    FileListBox* File1 = nullptr;
    DirListBox* Dir1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QLabel* lblStatus = nullptr;
};

namespace {

constexpr int kLookTimeoutMs = 3000;

}  // namespace

frmOpen::frmOpen(frmOps& ops, ProcessControl& process)
    : ops_(ops),
      process_(process),
      lister_(&FolderLook::list),
      timeoutMs_(kLookTimeoutMs),
      // Each new window starts titled "打开" and is then prepared, as its load runs DoLoad.
      window_([this] { return load(); },
              [this] {
                  setCaption(QString::fromUtf8("打开"));
                  DoLoad();
              }) {}

void frmOpen::setLister(FolderLook::Lister lister, int timeoutMs) {
    lister_ = std::move(lister);
    timeoutMs_ = timeoutMs;
    if (loadedForm() != nullptr)
        Dir1()->setLister(lister_, timeoutMs_);
}

frmOpen::~frmOpen() = default;

// Creates the window in its design state.
std::unique_ptr<frmOpen::Window> frmOpen::load() {
    auto w = std::make_unique<Window>();
    QDialog* d = forms::newDialog("frmOpen", 4680, 3285);
    w->dialog = d;

    w->Drive1 = place(new DriveListBox(d), "Drive1", twips::rect(120, 120, 2175, 315));
    w->File1 = place(new FileListBox(d), "File1", twips::rect(2400, 120, 2175, 2625));
    w->Dir1 = place(new DirListBox(d), "Dir1", twips::rect(120, 600, 2175, 2115));
    w->Command1 = button(d, "Command1", "完成", twips::rect(3360, 2880, 1215, 315));
    // Nothing to take until a file is selected.
    w->Command1->setEnabled(false);
    w->Command2 = button(d, "Command2", "取消", twips::rect(2040, 2880, 1215, 315));
    // Left of the buttons, under the folder list: why a drive or folder could not be opened.
    w->lblStatus = place(new QLabel(d), "lblStatus", twips::rect(120, 2760, 1860, 480));
    w->lblStatus->setWordWrap(true);
    w->lblStatus->setStyleSheet(QStringLiteral("color: #b00000;"));
    w->lblStatus->setVisible(false);

    QWidget::setTabOrder(w->Drive1, w->File1);
    QWidget::setTabOrder(w->File1, w->Dir1);
    QWidget::setTabOrder(w->Dir1, w->Command1);
    QWidget::setTabOrder(w->Command1, w->Command2);
    w->Drive1->setFocus();

    // The lists are filled by DoLoad, which every load runs.
    w->Dir1->setLister(lister_, timeoutMs_);

    QObject::connect(w->Drive1, &DriveListBox::Change, d, [this] { Drive1_Change(); });
    QObject::connect(w->Dir1, &DirListBox::Change, d, [this] { Dir1_Change(); });
    QObject::connect(
        w->Dir1, &DirListBox::Unreadable, d,
        [this](const QString& folder, const QString& reason) { folderUnreadable(folder, reason); });
    QObject::connect(w->File1, &QListWidget::itemSelectionChanged, d,
                     [this] { Command1()->setEnabled(!File1()->FileName().isEmpty()); });
    QObject::connect(w->Command1, &QPushButton::clicked, d, [this] { Command1_Click(); });
    QObject::connect(w->Command2, &QPushButton::clicked, d, [this] { Command2_Click(); });
    return w;
}

QDialog* frmOpen::form() {
    return window_.get().dialog;
}
DriveListBox* frmOpen::Drive1() {
    return window_.get().Drive1;
}
FileListBox* frmOpen::File1() {
    return window_.get().File1;
}
DirListBox* frmOpen::Dir1() {
    return window_.get().Dir1;
}
QPushButton* frmOpen::Command1() {
    return window_.get().Command1;
}
QPushButton* frmOpen::Command2() {
    return window_.get().Command2;
}
QLabel* frmOpen::lblStatus() {
    return window_.get().lblStatus;
}

void frmOpen::setCaption(const QString& caption) {
    caption_ = caption;
    form()->setWindowTitle(upToFirstNul(caption));
}

void frmOpen::showModeless() {
    forms::bringForward(form());
}

void frmOpen::DoLoad() {
    // The folder list's change brings the file list to the program's folder too.
    Dir1()->setPath(process_.applicationDirPath());
    // Two separate tests: an Action that is neither value leaves title and pattern alone.
    if (ops_.Action == frmOps::IconAction()) {
        setCaption(withNuls("载入图标 (*.ico)", 8));
        File1()->setPattern(QStringLiteral("*.ico"));
    }
    if (ops_.Action == frmOps::SoundAction()) {
        setCaption(withNuls("载入声音 (*.wav)", 8));
        File1()->setPattern(QStringLiteral("*.wav"));
    }
}

// The folder list looks at the drive on a thread of its own, so a mount that does not answer
// cannot freeze the window; the drive list goes back if the lists cannot move there.
void frmOpen::Drive1_Change() {
    pendingDrive_ = Drive1()->Drive();
    Dir1()->setPath(pendingDrive_);
}

// The lists stay on the last readable folder. A picked drive that cannot be opened makes the
// drive list go back to match them; a window whose lists show nothing yet (the program's folder
// cannot be read) falls back to the home folder, then the root.
void frmOpen::folderUnreadable(const QString& folder, const QString& reason) {
    showUnreadable(folder, reason);
    if (folder == pendingDrive_) {
        pendingDrive_.clear();
        Drive1()->revert();
    } else if (Dir1()->Path().isEmpty() && folder != QStringLiteral("/")) {
        const QString home = DirListBox::normalized(QDir::homePath());
        Dir1()->setPath(folder == home ? QStringLiteral("/") : home);
    }
}

void frmOpen::Dir1_Change() {
    pendingDrive_.clear();
    lblStatus()->setVisible(false);
    File1()->setPath(Dir1()->Path(), Dir1()->Files());
}

void frmOpen::showUnreadable(const QString& folder, const QString& reason) {
    QLabel* status = lblStatus();
    const QString full = QString::fromUtf8("无法打开 %1：%2").arg(folder, reason);
    status->setToolTip(full);
    status->setText(
        status->fontMetrics().elidedText(full, Qt::ElideMiddle, status->width() * 2 - 8));
    status->setVisible(true);
}

// The selected file's full path: the folder, one "/", the name (at the root "/name").
QString frmOpen::pickedPath() {
    const QString folder = File1()->Path();
    const QString name = File1()->FileName();
    return joinPath(folder, name);
}

// Done: the options dialog takes the pick for the kind of file it asked for; an Action that
// names neither kind keeps the chooser open.
void frmOpen::Command1_Click() {
    if (!window_.loaded() || File1()->FileName().isEmpty()) {
        return;  // the folder alone is not a pick
    }
    if (ops_.FilePicked(pickedPath())) {
        window_.unload();
    }
}

void frmOpen::Command2_Click() {
    window_.unload();
}

QDialog* frmOpen::loadedForm() const {
    return window_.loadedDialog();
}
