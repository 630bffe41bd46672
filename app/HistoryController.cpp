#include "app/HistoryController.h"

#include "history/HistoryReader.h"
#include "history/SqliteCheckHistory.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteMonitor.h"
#include "ui/FileDialogGuard.h"
#include "ui/HistoryPanel.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSplitter>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>

namespace vantrel {

HistoryController::HistoryController(SiteMonitor& engine, MonitorView& window, HistoryPanel& panel,
                                     QWidget* dialogParent)
    : engine_(engine), window_(window), panel_(panel), dialogParent_(dialogParent) {
    // Checks change rows one by one: the panel follows once they settle.
    settle_.setSingleShot(true);
    settle_.setInterval(300);
    connect(&settle_, &QTimer::timeout, this, &HistoryController::refresh);
    connect(&panel_, &HistoryPanel::rangeChanged, this, &HistoryController::refresh);
    // Answers cross from the reader's thread to this one.
    qRegisterMetaType<HistoryPanelData>();
    connect(this, &HistoryController::answered, this, &HistoryController::showAnswer, Qt::QueuedConnection);
    connect(this, &HistoryController::exported, this, &HistoryController::showExported, Qt::QueuedConnection);
    chooseExportFile = [this] { return chooseExportFileWithDialog(); };
}

HistoryController::~HistoryController() {
    // The reader stops (or is left to end alone) before what it answers to
    // goes, and the engine lets go of the history before it is closed.
    reader_.reset();
    engine_.setHistory(nullptr);
}

void HistoryController::open(bool unattended) {
    const ExtraSettings& x = engine_.extraSettings();
    panel_.setVisible(x.history);
    if (!x.history)
        return;
    // Beside the data files, in the current directory.
    history_ = std::make_shared<SqliteCheckHistory>(SqliteCheckHistory::kFileName, x.historyDays,
                                                    static_cast<long long>(x.historyMaxMb) << 20,
                                                    engine_.clock(), x.historyKeepDays);
    engine_.setHistory(history_.get());
    // The same file, by its full path, as the reader's thread opens it later.
    const QString path = QDir::current().absoluteFilePath(QString::fromLatin1(SqliteCheckHistory::kFileName));
    reader_ = std::make_unique<HistoryReader>(
        QFile::encodeName(path).toStdString(), history_,
        [this](long long number, HistoryPanelData data) { emit answered(number, std::move(data)); });
    if (!history_->available() && unattended) {
        std::fprintf(stderr, "History unavailable: %s\n", history_->problem().c_str());
        std::fflush(stderr);
    }
    refresh();
}

void HistoryController::placePane(QSplitter& split, int listHeight) {
    if (panel_.isHidden())
        return;
    const int total = split.height() - split.handleWidth();
    const int stored = engine_.extraSettings().historyPane;
    const int pane = stored >= 0 ? std::min(stored, total) : std::max(0, total - listHeight);
    split.setSizes({total - pane, pane});
    connect(&split, &QSplitter::splitterMoved, this, [this, &split] {
        engine_.extraSettings().historyPane = split.sizes().value(1);
        paneMoved_ = true;
    });
}

void HistoryController::refresh() {
    settle_.stop();
    if (!history_ || panel_.isHidden())
        return;
    const int row = window_.markedRow();
    const std::time_t now = engine_.clock().now();
    if (row < 0) {
        // Nothing to read: the panel says what to do (or that the history
        // is unavailable) at once, and an answer still on its way is dropped.
        awaited_ = 0;
        panel_.showData(HistoryPanelData::read(*history_, panel_.request({}, {}, now)));
        return;
    }
    const SiteEntry& e = engine_.sites().row(row);
    awaited_ = reader_->ask(panel_.request(e.url, e.title, now));
}

void HistoryController::showAnswer(qint64 number, const HistoryPanelData& data) {
    // An answer a newer request overtook is of no use.
    if (number != awaited_ || panel_.isHidden())
        return;
    panel_.showData(data);
}

void HistoryController::exportHistory(bool allSites) {
    if (!history_ || !history_->available()) {
        window_.messageBox(HistoryPanel::kUnavailableText, "Export History");
        return;
    }
    std::string url, title;
    if (!allSites) {
        const int row = window_.markedRow();
        if (row < 0) {
            window_.messageBox("Please click the site to export in the list first.", "Export History");
            return;
        }
        url = engine_.sites().row(row).url;
        title = engine_.sites().row(row).title;
    }
    const QString path =
        FileDialogGuard::keepingFolder([this] { return chooseExportFile ? chooseExportFile() : QString(); });
    if (path.isEmpty())
        return;
    // Read and written on the reader's thread; a failure is told when it comes.
    reader_->exportCsv(url, title, QFile::encodeName(path).toStdString(),
                       [this](bool written) { emit exported(written); });
}

void HistoryController::showExported(bool written) {
    if (!written)
        window_.messageBox("Could not write the history file.", "Export History");
}

QString HistoryController::chooseExportFileWithDialog() {
    FileDialogGuard::keepSettingsAway();
    QFileDialog dialog(dialogParent_, QStringLiteral("Export History"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("CSV Files (*.csv);;All Files (*)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    // In the user's documents folder, not the hidden folder the data files live in.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    dialog.setDirectory(QFileInfo(documents).isDir() ? documents : QDir::homePath());
    dialog.selectFile(QStringLiteral("vantrel-history.csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
}

} // namespace vantrel
