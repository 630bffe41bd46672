#pragma once

#include "model/WindowPlacement.h"

#include <QObject>

#include <optional>
#include <string>

class QWidget;

namespace vantrel {

// The main window's place and size across runs. At the start the stored
// placement is put back (its size always, its position only where the user
// can reach it on one of the screens); while the window is on screen, in its
// normal state, every move and resize is followed, so that the end, even one
// from the tray while the window is hidden, finds where the user left it.
class WindowGeometry : public QObject {
    Q_OBJECT
public:
    explicit WindowGeometry(QWidget& window);

    // Puts the window where `stored` says; nothing for an empty or unusable text.
    void restore(const std::string& stored);
    // The placement to keep, when the window has been on screen and now
    // stands elsewhere than `stored`; nullopt otherwise.
    std::optional<std::string> changedFrom(const std::string& stored) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();

    QWidget& window_;
    bool watchingHandle_ = false;
    std::optional<WindowPlacement> last_; // the last placement seen on screen
};

} // namespace vantrel
