#pragma once
// The desktop services the window uses: opening an address with the
// desktop's URL handler, and revealing a file in the file browser. The file
// is revealed through the freedesktop FileManager1 ShowItems call over
// D-Bus, the path passed as data in the call; when no file manager answers,
// its folder is opened instead. No shell and no script are involved.
//
// Tests replace the URL handler so that no browser or file manager starts.

#include <QString>
#include <QUrl>

#include <functional>

// Opens the address with the installed handler (or the test's).
bool openDesktopUrl(const QUrl& url);
// Replaces the URL handler; an empty function restores the desktop's.
void setDesktopUrlHandler(std::function<bool(const QUrl&)> handler);
// Asks the file manager to show the file selected; falls back to opening
// the file's folder (QUrl::fromLocalFile, so "#", "?" and "%" stay part of
// the name). Returns whether either way was taken.
bool revealFileInBrowser(const QString& path);
// Whether the file manager is asked over D-Bus (tests switch it off).
void setFileManagerCallsEnabled(bool enabled);
// The program's README: the copy installed beside the program, else the
// one of the source tree it was built from.
QUrl readmeUrl();
