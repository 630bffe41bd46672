// Shows the Advanced dialog of a sample site whose page is at the URL given
// as the first argument, so that it can be looked at and driven on a display.
#include "ui/SiteOptionsDlg.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    vantrel::SiteEntry site("Shop health", argc > 1 ? argv[1] : "http://127.0.0.1:1/health", "ok", "Email",
                            "", "01 Dec 2026", "", "OK");
    site.options.statusCodes = "200-299";
    site.options.match = "json";
    site.options.jsonPointer = "/status";
    site.options.slowMs = "2000";
    site.options.slowCount = "3";
    site.options.headers = {"X-Probe: vantrel", "Accept: application/json"};
    site.options.every = "5";
    vantrel::SiteOptionsDlg dlg(site, nullptr);
    dlg.show();
    return app.exec();
}
