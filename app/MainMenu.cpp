#include "app/MainMenu.h"

#include "app/SiteMonitorDlg.h"
#include "ui/ImportPreviewDlg.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QMenuBar>
#include <QTableView>

#include <algorithm>
#include <vector>

namespace vantrel {

QMenuBar* MainMenu::create(CSiteMonitorDlg& window) {
    auto* menuBar = new QMenuBar(&window);
    menuBar->setFont(QApplication::font(menuBar)); // menus keep the desktop's font
    QMenu* file = menuBar->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Save"), &window, &CSiteMonitorDlg::OnFileSave);
    QMenu* exportMenu = file->addMenu(QStringLiteral("Export &History"));
    exportMenu->addAction(QStringLiteral("&Selected Site..."), &window,
                          [&window] { window.OnExportHistory(false); });
    exportMenu->addAction(QStringLiteral("&All Sites..."), &window,
                          [&window] { window.OnExportHistory(true); });
    file->addAction(QStringLiteral("&Import Sites..."), &window, [&window] {
        ImportPreviewDlg::importInto(window.engine(), window, window.clock(), &window);
    });
    file->addAction(QStringLiteral("&Quit"), &window, &CSiteMonitorDlg::OnFileQuit);
    QMenu* entry = menuBar->addMenu(QStringLiteral("&Entry"));
    entry->addAction(QStringLiteral("&Add"), &window, &CSiteMonitorDlg::OnAdd);
    entry->addAction(QStringLiteral("&Update"), &window, &CSiteMonitorDlg::OnUpdate);
    // The menu says "Delete" where the button says "Remove": the same command.
    entry->addAction(QStringLiteral("&Delete"), &window, &CSiteMonitorDlg::OnRemove);
    entry->addAction(QStringLiteral("&Clear"), &window, &CSiteMonitorDlg::OnClear);
    entry->addSeparator();
    // The chosen sites at once, outside the timer; queued during a pass.
    entry->addAction(QStringLiteral("Check &Now"), &window, [&window] {
        std::vector<int> rows;
        for (const QModelIndex& index : window.listView()->selectionModel()->selectedRows())
            rows.push_back(index.row());
        if (rows.empty() && window.markedRow() >= 0)
            rows.push_back(window.markedRow());
        std::sort(rows.begin(), rows.end());
        if (!rows.empty())
            window.engine().checkNow(rows);
    });
    QMenu* options = menuBar->addMenu(QStringLiteral("&Options"));
    options->addAction(QStringLiteral("&Preferences"), &window, &CSiteMonitorDlg::OnPreferences);
    options->addAction(QStringLiteral("&Clear All Entries"), &window, &CSiteMonitorDlg::OnClearAll);
    options->addAction(QStringLiteral("&Monitor"), &window, &CSiteMonitorDlg::ToggleMonitor);
    QMenu* help = menuBar->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&About"), &window, &CSiteMonitorDlg::OnAbout);
    help->addAction(QStringLiteral("&Manual"), &window, &CSiteMonitorDlg::OnManual);
    help->addAction(QStringLiteral("&Support"), &window, &CSiteMonitorDlg::OnSupport);
    help->addAction(QStringLiteral("More &Info"), &window, &CSiteMonitorDlg::OnMoreInfo);
    help->addAction(QStringLiteral("&Uninstall"), &window, &CSiteMonitorDlg::OnUninstall);
    return menuBar;
}

} // namespace vantrel
