// MainWindow: the preferences window (how colour profiles are treated on
// loading and saving, each choice written to the preferences file at once)
// and the about dialog.

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

#include "desktop_only/app/MainWindowPrivate.h"
#include "desktop_only/widgets/XmlPreferencesWindow.h"
#include "foundation/Preferences.h"

const char* const kProgramName = "Pellucine";
const char* const kProgramVersion = "1.0";

void MainWindow::openPreferencesWindow() {
    // An earlier window is never reused: its choices are stored already.
    delete d->preferencesWindow;
    d->preferencesWindow = new XmlPreferencesWindow(this, &globalPreferences());
    d->preferencesWindow->setWindowTitle(QStringLiteral("Pellucine Preferences"));
    d->preferencesWindow->resize(500, 250);
    d->preferencesWindow->setFixedSize(500, 250);
    auto choices = [](const char* first, const char* second) {
        GrowArray<GrowString> list;
        list.append(GrowString(first));
        list.append(GrowString(second));
        return list;
    };
    d->preferencesWindow->addChoiceRow(GrowString("ColorProfileImport"),
                                       choices("Apply Embedded Profiles", "Ignore Embedded Profiles"),
                                       GrowString("Color Profiles - Load"));
    d->preferencesWindow->addChoiceRow(GrowString("ColorProfileExport"),
                                       choices("Embed Display Profile", "Don't Embed Profiles"),
                                       GrowString("Color Profiles - Save"));
    d->preferencesWindow->show();
    d->preferencesWindow->raise();
}

QDialog* MainWindow::makeAboutDialog() {
    QDialog* dialog = new QDialog(this);
    dialog->setStyleSheet(QString("QWidget {") + "color: #ffffff;" + "font: 11px 'Bitstream Vera Sans';" + "}" +
                          "QWidget[enabled=\"false\"] {" + "color: #777777;" + "}" + "QWidget:disabled {" +
                          "color: #777777;" + "}");
    dialog->setWindowTitle(QStringLiteral("About Pellucine"));
    QVBoxLayout* layout = new QVBoxLayout(dialog);
    QLabel* name = new QLabel(QString::fromLatin1(kProgramName), dialog);
    name->setObjectName(QStringLiteral("aboutName"));
    name->setStyleSheet(QStringLiteral("font-size: 18px;"));
    QLabel* version = new QLabel(QStringLiteral("Version ") + QString::fromLatin1(kProgramVersion), dialog);
    version->setObjectName(QStringLiteral("aboutVersion"));
    QLabel* notice = new QLabel(QStringLiteral("A photo editor built around chains of tiles.\n"
                                               "Your photos, looks and presets stay on this computer."),
                                dialog);
    QPushButton* ok = new QPushButton(QStringLiteral("OK"), dialog);
    connect(ok, &QPushButton::released, dialog, &QDialog::accept);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addWidget(notice);
    layout->addWidget(ok, 0, Qt::AlignRight);
    dialog->setModal(true);
    return dialog;
}

void MainWindow::showAboutDialog() {
    QDialog* dialog = makeAboutDialog();
    dialog->exec();
    delete dialog;
}
