#pragma once

#include "cli/ImportPlan.h"
#include "cli/ImportReader.h"

#include <QDialog>
#include <QString>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace vantrel {

class Clock;
class MonitorView;
class SiteList;
class SiteMonitor;

// File > Import Sites...: what an import of a file would do to the list,
// row by row (new, already present, invalid with the reason), before
// anything changes. Bookmarks can be narrowed to one folder. "Import" adds
// the new rows on top of the list, in the file's order; no existing row is
// changed or moved. A file that is none of the forms read is named with the
// line at fault, and nothing can be imported from it.
class ImportPreviewDlg : public QDialog {
    Q_OBJECT
public:
    // `list` is what the import is held against.
    ImportPreviewDlg(const SiteList& list, const QString& path, const std::string& today,
                     QWidget* parent = nullptr);

    // The whole command: choose a file, preview it, and on "Import" add the
    // new sites to the engine's rows and show them. Nothing happens while a
    // check pass runs, which works on the rows by their places.
    static void importInto(SiteMonitor& engine, MonitorView& view, const Clock& clock, QWidget* parent);

    const ImportPlan& plan() const { return plan_; }
    // For tests: the folder chooser, the row view, the summary line.
    QComboBox* folderBox() const { return folder_; }
    QTreeWidget* rowView() const { return rows_; }
    QString summaryText() const;

    static constexpr const char* kCaption = "Import Sites";

private:
    void replan();

    const SiteList& list_;
    std::string today_;
    ImportReader::Result file_;
    ImportPlan plan_;
    QComboBox* folder_;
    QTreeWidget* rows_;
    QLabel* summary_;
    QPushButton* import_;
};

} // namespace vantrel
