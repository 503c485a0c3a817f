#pragma once
// The options dialog: edits the step, the click sound and the custom tray icon, and applies
// them by saving them and starting the program afresh. One object lives for the whole run; its
// window comes and goes, and its public state survives the window.

#include "MainWindow.h"
#include "OptionsView.h"
#include "OwnedWindow.h"
#include "SettingsStore.h"

#include <QString>

#include <memory>

class FileChooser;
class Notifier;
class ProcessControl;

class QCheckBox;
class QDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class frmOps : public OptionsView {
public:
    // The two values of Action that tell the chooser which kind of file to pick. They carry
    // trailing NULs and are compared over their whole length.
    static QString IconAction();   // "图标" and two NULs
    static QString SoundAction();  // "声音" and three NULs

    // Cheap: the window is created on first use.
    frmOps(MainWindow& main, SettingsStore& settings, Notifier& notifier, ProcessControl& process);
    ~frmOps() override;
    frmOps(const frmOps&) = delete;
    frmOps& operator=(const frmOps&) = delete;

    // The chooser the Browse buttons show; none until one is set.
    void setChooser(FileChooser* chooser) { chooser_ = chooser; }

    QString Action;     // which kind of file the chooser picks
    QString IconName;   // icon file picked in the chooser, empty when none
    QString SoundName;  // sound file picked in the chooser, empty when none

    // OptionsView: the main window's left-button hold fills the dialog and shows it.
    void setStepText(const QString& text) override;
    void checkSound() override;
    void checkIcon() override;
    void showModeless() override;

    // The controls. Touching one creates the window (hidden, every control in its design state)
    // when it is not loaded.
    QDialog* form();
    QGroupBox* Frame1();
    QLabel* Label1();
    QLineEdit* Text1();
    QLabel* Label2();
    QGroupBox* Frame2();
    QCheckBox* Check2();
    QPushButton* Command1();
    QLabel* lblIcon();
    QCheckBox* Check1();
    QPushButton* Command2();
    QLabel* lblSound();
    QPushButton* Command5();
    QPushButton* Command4();
    QPushButton* Command3();

    // The window, or nullptr while it is not loaded. Never creates it.
    QDialog* loadedForm() const;

    // The chooser's Done: takes the picked file for the kind Action names, marks it as new and
    // makes Apply available. Returns false, changing nothing, when Action names neither kind.
    bool FilePicked(const QString& path);

    void Command1_Click();  // browse for an icon
    void Command2_Click();  // browse for a sound
    void Command3_Click();  // apply: save, restart
    void Command4_Click();  // cancel: the window goes
    void Command5_Click();  // end the program

private:
    struct Window;
    std::unique_ptr<Window> load();
    void enableApply();
    bool save(const SettingsStore::Values& values, QString* failure);
    void report(const QString& message);

    MainWindow& main_;
    SettingsStore& settings_;
    Notifier& notifier_;
    ProcessControl& process_;
    FileChooser* chooser_ = nullptr;
    OwnedWindow<Window> window_;
};
