#include "widgets/XmlPreferencesWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

#include "foundation/Preferences.h"

XmlPreferencesWindow::XmlPreferencesWindow(QWidget* parent, Preferences* store)
    : QWidget(parent, Qt::Window), preferencesStore(store), contentArea(new QWidget(this)),
      closeButton(new QPushButton(QStringLiteral("Close"), this)) {
    connect(closeButton, &QPushButton::released, this, &XmlPreferencesWindow::closeButtonPressed);
    closeButton->adjustSize();
}

XmlPreferencesWindow::~XmlPreferencesWindow() = default;

void XmlPreferencesWindow::addChoiceRow(const GrowString& key, const GrowArray<GrowString>& choices,
                                        const GrowString& title) {
    GrowString text(title.isEmpty() ? key : title);
    text.append(":");
    QLabel* label = new QLabel(QString::fromUtf8(text.c_str()), contentArea);
    label->adjustSize();
    QComboBox* combo = new QComboBox(contentArea);
    for (const GrowString& choice : choices) combo->addItem(QString::fromUtf8(choice.c_str()));
    connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &XmlPreferencesWindow::choiceValueChanged);
    combo->adjustSize();
    rowCombos.append(combo);
    rowLabels.append(label);
    rowOffsets.append(-5);
    rowKeys.append(key);
    const int32_t stored = preferencesStore ? preferencesStore->getInt(key, 0) : 0;
    if (stored >= 0 && stored < combo->count()) {
        // Connected first: a stored index other than 0 is written back at once.
        combo->setCurrentIndex(stored);
    } else if (preferencesStore) {
        // An index naming no choice would leave the list empty while the
        // readers act on the number: show and store the first choice.
        combo->setCurrentIndex(0);
        preferencesStore->setValue(key, GrowString("0"), GrowString("int"), true);
    }
    label->show();
    combo->show();
    layoutRows();
}

void XmlPreferencesWindow::choiceValueChanged(int newIndex) {
    if (!preferencesStore || newIndex < 0) return;
    for (int32_t i = 0; i < rowCombos.count; ++i) {
        if (rowCombos[i] != sender()) continue;
        GrowString text;
        text.appendInt(newIndex);
        preferencesStore->setValue(rowKeys[i], text, GrowString("int"), true);
    }
}

void XmlPreferencesWindow::closeButtonPressed() { hide(); }

void XmlPreferencesWindow::layoutRows() {
    contentArea->setGeometry(0, 0, width(), height());
    int y = firstRowY;
    for (int32_t i = 0; i < rowLabels.count; ++i) {
        QLabel* label = rowLabels[i];
        QComboBox* combo = rowCombos[i];
        label->move(labelColumnWidth - label->width(), y);
        combo->move(labelColumnWidth + columnGap, y + rowOffsets[i]);
        y += rowSpacing + std::max(label->height(), combo->height());
    }
    closeButton->move(width() - buttonMargin - closeButton->width(), height() - buttonMargin - closeButton->height());
    closeButton->raise();
}

void XmlPreferencesWindow::resizeEvent(QResizeEvent*) { layoutRows(); }
