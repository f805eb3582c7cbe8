// Entry of Setup, the installer launcher: the application, its one window, the message loop.
// Setup ends with code 0 however the run went.

#include "common/Fontsubst.h"
#include "common/Kapp.h"
#include "setup/Dlgstaup.h"

#include <QString>

int main(int argc, char** argv)
{
    KApplication app(argc, argv, QStringLiteral("Setup"));
    try {
        InstallFontSubstitutes();
        TFormStartup form;
        form.show();
        app.exec();
    } catch (...) {
        KApplication::ShowCurrentException();
    }
    return 0;
}
