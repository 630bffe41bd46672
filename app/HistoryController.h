#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QSplitter;
class QWidget;

namespace vantrel {

class Clock;
class HistoryPanel;
class MonitorView;
class SiteMonitor;
class SqliteCheckHistory;

// The check history of the window: opens the history file when the
// settings keep one and hands it to the engine, keeps the history panel on
// the marked site (once the rows settle after a change), and writes File >
// Export History.
class HistoryController : public QObject {
    Q_OBJECT
public:
    HistoryController(SiteMonitor& engine, Clock& clock, MonitorView& window, HistoryPanel& panel,
                      QWidget* dialogParent);
    ~HistoryController() override;

    // Opens the history when the settings keep one; the panel shows only then.
    void open(bool unattended);
    // The panel follows the marked row now, or once changes settled.
    void refresh();
    void refreshSoon() { settle_.start(); }
    // Puts the line between the list and the panel where the user last
    // left it, or else where the list is `listHeight` high; follows the
    // user's moves of it from then on.
    void placePane(QSplitter& split, int listHeight);
    // The history file opened, or none.
    SqliteCheckHistory* history() const { return history_.get(); }
    // Whether the user moved the line, so the settings are to be saved.
    bool paneMoved() const { return paneMoved_; }
    // Writes the marked site's checks, or every site's, to a CSV file the
    // user chooses.
    void exportHistory(bool allSites);

    // Where the export writes: the full path, or empty when the user
    // cancelled. By default a file dialog.
    std::function<QString()> chooseExportFile;
    QString chooseExportFileWithDialog();

private:
    SiteMonitor& engine_;
    Clock& clock_;
    MonitorView& window_;
    HistoryPanel& panel_;
    QWidget* dialogParent_;
    QTimer settle_;
    bool paneMoved_ = false;
    std::unique_ptr<SqliteCheckHistory> history_;
};

} // namespace vantrel
