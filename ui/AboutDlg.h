#pragma once

#include <QDialog>

namespace vantrel {

// The About box: the program's icon, name and version, and one line on what
// it is for. It only closes, on OK, Esc or its close box.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kVersionLine = "Vantrel Version " VANTREL_VERSION;
    static constexpr const char* kPurposeLine = "Website monitoring for your desktop";

    explicit CAboutDlg(QWidget* parent = nullptr);
};

} // namespace vantrel
