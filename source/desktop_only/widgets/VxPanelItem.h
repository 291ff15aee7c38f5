#pragma once
// VxPanelItem: the base of the tool panel's rows (section headers, command
// buttons, tile list buttons). Each row knows its height and reports the
// pointer entering it.

#include <QWidget>

class VxPanelItem : public QWidget {
    Q_OBJECT
public:
    enum ItemKind { kHeaderItem, kBigButtonItem, kListButtonItem };

    explicit VxPanelItem(QWidget* parent);
    ~VxPanelItem() override;

    virtual ItemKind itemKind() const = 0;
    // Height of the row in the panel, in pixels.
    virtual int itemHeight() const = 0;

signals:
    void panelItemEntered(VxPanelItem* item);

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool hovered = false;
};
