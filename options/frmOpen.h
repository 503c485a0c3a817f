#pragma once
// The file chooser: picks one icon file or one wave file for the options dialog from three
// linked lists (drives, folders, one folder's files). One object lives for the whole run; its
// window is created when shown and prepared from the options dialog's Action each time.

#include "FileChooser.h"
#include "FolderLook.h"
#include "OwnedWindow.h"

#include <QString>

#include <functional>
#include <memory>

class DirListBox;
class DriveListBox;
class FileListBox;
class ProcessControl;
class frmOps;

class QDialog;
class QLabel;
class QPushButton;

class frmOpen : public FileChooser {
public:
    frmOpen(frmOps& ops, ProcessControl& process);
    ~frmOpen() override;
    frmOpen(const frmOpen&) = delete;
    frmOpen& operator=(const frmOpen&) = delete;

    // Creates and prepares the window, or only brings it forward when it is open.
    void showModeless() override;

    // Prepares the chooser: the program's folder, then the title and pattern for Action.
    void DoLoad();

    // The title as stored (with its trailing NULs); the window shows it up to the first NUL.
    QString Caption() const { return caption_; }

    // The controls. Touching one loads the window (hidden) when it is not loaded.
    QDialog* form();
    DriveListBox* Drive1();
    FileListBox* File1();
    DirListBox* Dir1();
    QPushButton* Command1();
    QPushButton* Command2();
    QLabel* lblStatus();  // says why a drive or folder could not be opened

    // How drives and folders are looked at before the lists move to them. Every look runs on a
    // thread of its own and may hang (a dead network mount); after timeoutMs the place counts as
    // not ready. The real look by default.
    void setLister(FolderLook::Lister lister, int timeoutMs);

    // The window, or nullptr while it is not loaded. Never creates it.
    QDialog* loadedForm() const;

    void Drive1_Change();
    void Dir1_Change();
    void Command1_Click();  // done
    void Command2_Click();  // cancel

private:
    struct Window;
    std::unique_ptr<Window> load();
    void setCaption(const QString& caption);
    void showUnreadable(const QString& folder, const QString& reason);
    void folderUnreadable(const QString& folder, const QString& reason);
    QString pickedPath();

    frmOps& ops_;
    ProcessControl& process_;
    QString caption_;
    FolderLook::Lister lister_;
    int timeoutMs_;
    QString pendingDrive_;  // the drive picked last, until the lists have moved to it
    OwnedWindow<Window> window_;
};
