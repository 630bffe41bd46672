#include "ui/ImportPreviewDlg.h"

#include "cli/FolderEditor.h"
#include "model/Clock.h"
#include "model/DateText.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteMonitor.h"
#include "ui/QtText.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <filesystem>

namespace vantrel {

namespace {

QString kindText(ImportPlan::Kind kind) {
    switch (kind) {
    case ImportPlan::Kind::New:
        return QStringLiteral("New");
    case ImportPlan::Kind::Present:
        return QStringLiteral("Already present");
    case ImportPlan::Kind::Invalid:
        break;
    }
    return QStringLiteral("Invalid");
}

} // namespace

ImportPreviewDlg::ImportPreviewDlg(const SiteList& list, const QString& path, const std::string& today,
                                   QWidget* parent)
    : QDialog(parent), list_(list), today_(today) {
    setWindowTitle(QString::fromLatin1(kCaption));
    QFile in(path);
    if (in.open(QIODevice::ReadOnly))
        file_ = ImportReader::read(in.readAll().toStdString());
    else
        file_.error = "cannot be read";

    auto* layout = new QVBoxLayout(this);
    auto* fileLine = new QLabel(QStringLiteral("File: ") + QFileInfo(path).fileName());
    fileLine->setAccessibleName(fileLine->text());
    layout->addWidget(fileLine);

    auto* folderRow = new QHBoxLayout;
    auto* folderLabel = new QLabel(QStringLiteral("&Folder:"));
    folder_ = new QComboBox;
    folder_->setAccessibleName(QStringLiteral("Folder:"));
    folderLabel->setBuddy(folder_);
    folder_->addItem(QStringLiteral("All folders"), QString());
    for (const std::string& f : file_.folders)
        folder_->addItem(QtText::toQt(f), QtText::toQt(f));
    folderRow->addWidget(folderLabel);
    folderRow->addWidget(folder_, 1);
    layout->addLayout(folderRow);
    const bool bookmarks = file_.ok && file_.format == ImportReader::Format::Bookmarks;
    folderLabel->setVisible(bookmarks);
    folder_->setVisible(bookmarks);

    rows_ = new QTreeWidget;
    rows_->setAccessibleName(QStringLiteral("Sites in the file"));
    rows_->setRootIsDecorated(false);
    rows_->setHeaderLabels({QStringLiteral("Result"), QStringLiteral("Line"), QStringLiteral("Title"),
                            QStringLiteral("URL"), QStringLiteral("Reason")});
    rows_->setUniformRowHeights(true);
    layout->addWidget(rows_, 1);

    summary_ = new QLabel;
    summary_->setWordWrap(true);
    layout->addWidget(summary_);

    auto* buttons = new QDialogButtonBox;
    import_ = buttons->addButton(QStringLiteral("&Import"), QDialogButtonBox::AcceptRole);
    import_->setAccessibleName(QStringLiteral("Import"));
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setAccessibleName(cancel->text().remove(QLatin1Char('&')));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(folder_, &QComboBox::currentIndexChanged, this, &ImportPreviewDlg::replan);
    resize(760, 420);
    replan();
}

QString ImportPreviewDlg::summaryText() const {
    return summary_->text();
}

void ImportPreviewDlg::replan() {
    rows_->clear();
    if (!file_.ok) {
        plan_ = ImportPlan();
        summary_->setText(
            file_.errorLine > 0
                ? QStringLiteral("Nothing can be imported: line %1: %2.")
                      .arg(file_.errorLine)
                      .arg(QtText::toQt(file_.error))
                : QStringLiteral("Nothing can be imported: the file %1.").arg(QtText::toQt(file_.error)));
        import_->setEnabled(false);
        return;
    }
    plan_ = ImportPlan::make(file_, list_, folder_->currentData().toString().toStdString(),
                             FolderEditor::kDefaultAction, today_);
    QList<QTreeWidgetItem*> items;
    for (const ImportPlan::Item& item : plan_.items()) {
        auto* row = new QTreeWidgetItem({kindText(item.kind), QString::number(item.row.line),
                                         QtText::toQt(item.row.site.title), QtText::toQt(item.row.site.url),
                                         QtText::toQt(item.reason)});
        if (item.kind == ImportPlan::Kind::Invalid)
            row->setForeground(0, QColor(0xb0, 0x20, 0x20));
        items << row;
    }
    rows_->addTopLevelItems(items);
    for (int c = 0; c < rows_->columnCount(); ++c)
        rows_->resizeColumnToContents(c);
    const int fresh = plan_.count(ImportPlan::Kind::New);
    summary_->setText(QStringLiteral("%1: %2 new, %3 already present, %4 invalid.")
                          .arg(QString::fromLatin1(ImportReader::formatName(file_.format)))
                          .arg(fresh)
                          .arg(plan_.count(ImportPlan::Kind::Present))
                          .arg(plan_.count(ImportPlan::Kind::Invalid)));
    import_->setEnabled(fresh > 0);
}

void ImportPreviewDlg::importInto(SiteMonitor& engine, MonitorView& view, const Clock& clock,
                                  QWidget* parent) {
    if (engine.passRunning()) {
        view.messageBox("A check pass is running. Please import when it has ended.", kCaption);
        return;
    }
    // As for the other file dialogs: the current directory, where the data
    // files are opened by their bare names, stays where it is, and Qt's
    // dialog keeps no settings file in the home folder.
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    QFileDialog chooser(parent, QString::fromLatin1(kCaption));
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setNameFilter(QStringLiteral("Site lists (*.json *.csv *.txt *.html *.htm);;All Files (*)"));
    const QString path = chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty()
                             ? QFileInfo(chooser.selectedFiles().constFirst()).absoluteFilePath()
                             : QString();
    if (!ec)
        std::filesystem::current_path(cwd, ec);
    if (path.isEmpty())
        return;
    ImportPreviewDlg dialog(engine.sites(), path, DateText::date(clock.now()), parent);
    if (dialog.exec() != QDialog::Accepted || engine.passRunning())
        return;
    engine.importSites(dialog.plan().newSites());
}

} // namespace vantrel
