#pragma once
// What the options dialog needs of the file chooser: its Browse buttons show it modeless (the
// chooser reads the dialog's Action itself).

class FileChooser {
public:
    virtual ~FileChooser() = default;
    // Creates the chooser's window and prepares it, or brings it forward when already open.
    virtual void showModeless() = 0;
};
