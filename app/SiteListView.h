#pragma once

#include <QObject>
#include <QTimer>

#include <memory>

class QTableView;

namespace vantrel {

class MainWindowForm;
class SiteEditor;
class SiteListModel;
class SiteMonitor;

// The list of sites as the window shows it: the model over the engine's
// rows, the row the user marked, sorting by a column without losing the
// selection, and column widths that follow the texts.
class SiteListView : public QObject {
    Q_OBJECT
public:
    SiteListView(SiteMonitor& engine, SiteEditor& editor);
    ~SiteListView() override;

    SiteListModel& model() { return *model_; }
    // The list control, once the form made it over the model.
    void attach(MainWindowForm& form);
    void detach();

    // The list's selection mark: the row the user most recently selected, or -1.
    int markedRow() const;
    // When the boxes hold a row, that row becomes the marked one, so Update
    // never writes one site's data into another site's row.
    void markShownRow();
    void sortByColumn(int column);
    // Sizes the columns once the commands in hand are done: a load that asks
    // after every row sizes them once. A pass, which asks after every site,
    // has them sized at most every kPassResize and once after its last row.
    void autoSizeColumnsSoon();
    void autoSizeColumns();

private:
    SiteMonitor& engine_;
    SiteEditor& editor_;
    std::unique_ptr<SiteListModel> model_;
    MainWindowForm* form_ = nullptr;
    static constexpr int kPassResize = 100; // ms
    QTimer autoSize_;
};

} // namespace vantrel
