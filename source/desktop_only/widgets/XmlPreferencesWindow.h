#pragma once
// XmlPreferencesWindow: a small top-level window of choice rows, each a
// label and a drop-down list bound to one integer preference; a choice is
// written to the preferences file at once. "Close" hides the window.

#include <QWidget>

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"

class Preferences;
class QComboBox;
class QLabel;
class QPushButton;

class XmlPreferencesWindow : public QWidget {
    Q_OBJECT
public:
    XmlPreferencesWindow(QWidget* parent, Preferences* store);
    ~XmlPreferencesWindow() override;

    Preferences* preferencesStore;
    QWidget* contentArea;
    QPushButton* closeButton;
    GrowArray<QComboBox*> rowCombos;
    GrowArray<QLabel*> rowLabels;
    GrowArray<int32_t> rowOffsets;
    GrowArray<GrowString> rowKeys;
    int32_t windowWidth = 500;
    int32_t windowHeight = 250;
    int32_t firstRowY = 50;
    int32_t columnGap = 10;
    int32_t rowSpacing = 5;
    int32_t buttonMargin = 12;
    int32_t labelColumnWidth = 200;

    // Adds a row for key: the title (the key when empty) with ":" and a
    // list of the choices showing the stored index (default 0). A stored
    // index that names no choice shows and stores 0.
    void addChoiceRow(const GrowString& key, const GrowArray<GrowString>& choices, const GrowString& title);
    // Places the rows and the Close button.
    void layoutRows();

public slots:
    void choiceValueChanged(int newIndex);
    void closeButtonPressed();

protected:
    void resizeEvent(QResizeEvent* event) override;
};
