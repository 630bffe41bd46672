#include "app/MainMenu.h"

#include "app/SiteMonitorDlg.h"
#include "ui/ImportPreviewDlg.h"

#include <QApplication>
#include <QMenuBar>

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
    file->addAction(QStringLiteral("&Import Sites..."), &window,
                    [&window] { ImportPreviewDlg::importInto(window.engine(), &window); });
    file->addAction(QStringLiteral("&Quit"), &window, &CSiteMonitorDlg::OnFileQuit);
    QMenu* entry = menuBar->addMenu(QStringLiteral("&Entry"));
    entry->addAction(QStringLiteral("&Add"), &window, &CSiteMonitorDlg::OnAdd);
    entry->addAction(QStringLiteral("&Update"), &window, &CSiteMonitorDlg::OnUpdate);
    // The menu says "Delete" where the button says "Remove": the same command.
    entry->addAction(QStringLiteral("&Delete"), &window, &CSiteMonitorDlg::OnRemove);
    entry->addAction(QStringLiteral("&Clear"), &window, &CSiteMonitorDlg::OnClear);
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
