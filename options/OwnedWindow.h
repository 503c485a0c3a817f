#pragma once
// A dialog's window as the object that stands for the dialog owns it: created on first use,
// gone when it is closed in any way, created afresh in its design state on the next use. The
// owner and its state outlive every window.
//
// Window is the record of the window's controls; its member `dialog` is the window itself.

#include "Forms.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <utility>

template <typename Window>
class OwnedWindow {
public:
    // create builds the window in its design state; prepare, when given, runs on each new
    // window once it is in place, as a load event does.
    explicit OwnedWindow(std::function<std::unique_ptr<Window>()> create,
                         std::function<void()> prepare = {})
        : create_(std::move(create)), prepare_(std::move(prepare)) {}
    ~OwnedWindow() {
        if (window_) {
            delete window_->dialog;
        }
    }
    OwnedWindow(const OwnedWindow&) = delete;
    OwnedWindow& operator=(const OwnedWindow&) = delete;

    // The window, created when it is not loaded.
    Window& get() {
        if (!window_) {
            window_ = create_();
            // Every way of closing the window (a button, Escape, the title bar) ends here.
            QDialog* d = window_->dialog;
            QObject::connect(d, &QDialog::finished, d, [this] { unload(); });
            if (prepare_) {
                prepare_();
            }
        }
        return *window_;
    }

    // The window, or nullptr while it is not loaded. Never creates it.
    Window* loaded() const { return window_.get(); }
    QDialog* loadedDialog() const { return window_ ? window_->dialog : nullptr; }

    // The window goes; its owner stays.
    void unload() {
        if (!window_) {
            return;
        }
        QDialog* d = window_->dialog;
        window_.reset();
        forms::discard(d);
    }

private:
    std::function<std::unique_ptr<Window>()> create_;
    std::function<void()> prepare_;
    std::unique_ptr<Window> window_;
};
