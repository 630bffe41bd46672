#pragma once

#include "ui/WindowSystem.h"
#include "ui/WindowVisibility.h"

#include <QObject>

class QWidget;

namespace vantrel {

// WindowVisibility for a top-level widget: carries out its steps with Qt and
// tells it what the window system reports (state changes, exposure).
class WidgetWindow : public QObject, public WindowSystem {
    Q_OBJECT
public:
    explicit WidgetWindow(QWidget& widget);

    WindowVisibility& visibility() { return visibility_; }

    bool trayAvailable() const override;
    bool isMinimized() const override;
    void showNormal() override;
    void showMinimized() override;
    void hideUnminimized() override;
    void later(void (*step)(void*), void* context) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& widget_;
    WindowVisibility visibility_{*this};
    bool watchingHandle_ = false;
};

} // namespace vantrel
