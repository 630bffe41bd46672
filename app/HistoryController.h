#pragma once

#include "history/HistoryPanelData.h"

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
class HistoryReader;
class MonitorView;
class SiteMonitor;
class SqliteCheckHistory;

// The check history of the window: opens the history file when the
// settings keep one and hands it to the engine, keeps the history panel on
// the marked site (once the rows settle after a change), and writes File >
// Export History. The panel's data is read by a HistoryReader on a thread
// of its own and comes back by a queued signal; only the newest request's
// answer is shown, so the window never waits for the history's writer.
class HistoryController : public QObject {
    Q_OBJECT
public:
    HistoryController(SiteMonitor& engine, MonitorView& window, HistoryPanel& panel, QWidget* dialogParent);
    ~HistoryController() override;

    // Opens the history when the settings keep one; the panel shows only then.
    void open(bool unattended);
    // The panel follows the marked row now, or once changes settled. With a
    // row marked the panel changes when the answer comes.
    void refresh();
    void refreshSoon() { settle_.start(); }
    // Puts the line between the list and the panel where the user last
    // left it, or else where the list is `listHeight` high; follows the
    // user's moves of it from then on.
    void placePane(QSplitter& split, int listHeight);
    // Whether the user moved the line, so the settings are to be saved.
    bool paneMoved() const { return paneMoved_; }
    // Writes the marked site's checks, or every site's, to a CSV file the
    // user chooses, on the reader's thread; exported() tells how it went.
    void exportHistory(bool allSites);

    // Where the export writes: the full path, or empty when the user
    // cancelled. By default a file dialog.
    std::function<QString()> chooseExportFile;
    QString chooseExportFileWithDialog();

signals:
    // From the reader's thread: the data of request `number`.
    void answered(qint64 number, vantrel::HistoryPanelData data);
    // From the reader's thread: whether the export's file was written.
    void exported(bool written);

private:
    void showAnswer(qint64 number, const HistoryPanelData& data);
    void showExported(bool written);

    SiteMonitor& engine_;
    MonitorView& window_;
    HistoryPanel& panel_;
    QWidget* dialogParent_;
    QTimer settle_;
    bool paneMoved_ = false;
    // Shared with the reader's thread, which may outlive this object for a
    // moment when a query is slow to stop.
    std::shared_ptr<SqliteCheckHistory> history_;
    std::unique_ptr<HistoryReader> reader_;
    qint64 awaited_ = 0; // the request whose answer the panel is to show; 0: none
};

} // namespace vantrel
