#pragma once

#include <QString>

#include <memory>

class QAbstractItemModel;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QTableView;
class QWidget;

namespace vantrel {

class EntryBoxes;
class HistoryPanel;
class SiteListModel;

// The controls of the main window, made and placed as a form: the entry
// boxes, the list of sites, the buttons and counters, the footer and the
// history panel. It holds no behaviour of its own beyond where each control
// sits for a window size and which tool tips it carries; the window wires
// the controls to what they do.
class MainWindowForm {
public:
    // The height the history panel takes below the list when the window has room.
    static constexpr int kHistoryPanelHeight = 200;

    // Makes the controls on `client` in tab order, the list showing `model`.
    MainWindowForm(QWidget* client, SiteListModel* model);
    ~MainWindowForm();

    // Places the controls for a client area of cx x cy pixels.
    void layout(int cx, int cy);
    void enableToolTips(bool on);
    // Every column as wide as the wider of its widest cell and its header.
    void sizeColumns(SiteListModel& model);
    // The height of the list that shows `rows` rows below its header.
    int listHeightFor(int rows) const;
    // The last mail or channel failure in its line over the footer; empty:
    // the footer again.
    void showFailure(const QString& failure);

    QWidget* client;
    QLineEdit* siteName;
    QLineEdit* url;
    QLineEdit* testString;
    QComboBox* action;
    QLineEdit* errorUrl;
    QLineEdit* createDate;
    QLineEdit* entryStatus;
    QLineEdit* checkDate;
    QLabel* checkDateLabel;
    QPushButton* advanced;
    // The list above the history panel, the user moving the line between.
    QSplitter* split;
    QTableView* list;
    QPushButton* quit;
    QPushButton* monitor;
    QPushButton* add;
    QPushButton* update;
    QPushButton* remove;
    QPushButton* clear;
    QLabel* totalLabel;
    QLineEdit* total;
    QLabel* checksLabel;
    QLineEdit* checks;
    QLabel* statusLabel;
    QLineEdit* status;
    QPushButton* preferences;
    QLabel* footer;
    QLabel* failureLine;
    HistoryPanel* historyPanel;
    // The entry boxes bound to a site entry.
    std::unique_ptr<EntryBoxes> entryBoxes;

private:
    void makeEntryBoxes();
    void makeList(SiteListModel* model);
    void makeRightColumn();
};

} // namespace vantrel
